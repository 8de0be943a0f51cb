// The settings dialog's reading of a box on arbitrary text: it gives exactly the non-zero
// number the text starts with when that fits the range, and nothing otherwise.

#include "leadingnumber.h"

#include <QRegularExpression>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "leading number: %s\n", what);
        std::abort();
    }
}

// Checks one reading against the text, taken apart by a pattern rather than by a loop.
void check(const QString &text, qint32 min, qint32 max)
{
    const std::optional<qint32> value = readLeadingNumber(text, min, max);
    // Blanks, one sign, leading zeros, then the digits that make the number.
    static const QRegularExpression start(QStringLiteral("^[ \t]*([+-]?)0*([0-9]*)"));
    const QRegularExpressionMatch parts = start.match(text);
    const bool negative = parts.captured(1) == u"-";
    const QString digits = parts.captured(2);

    // Eleven digits or more lie outside every 32-bit range.
    bool fits = !digits.isEmpty() && digits.size() <= 10;
    if (fits) {
        const qint64 number = (negative ? -1 : 1) * digits.toLongLong();
        fits = number >= min && number <= max;
    }
    require(value.has_value() == fits, fits ? "a fitting number was refused" : "a number was taken that is 0 or does not fit");
    if (value) {
        require(*value != 0 && *value >= min && *value <= max, "a value outside the range");
        require((*value < 0) == negative, "the sign was lost");
        require(QString::number(qAbs(qint64(*value))) == digits, "the value is not the text's number");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    // The dialog's own ranges: the column count and the two sizes.
    check(text, std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max());
    check(text, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
    // Any range at all, taken from the first eight bytes.
    if (size >= 8) {
        qint32 bounds[2];
        std::memcpy(bounds, data, sizeof bounds);
        check(text, qMin(bounds[0], bounds[1]), qMax(bounds[0], bounds[1]));
    }
    return 0;
}
