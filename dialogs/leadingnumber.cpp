#include "leadingnumber.h"

std::optional<qint32> readLeadingNumber(QStringView text, qint32 min, qint32 max)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    // 64-bit, so the magnitude can pass the widest limit by one digit before it is refused.
    const qint64 limit = qMax<qint64>(max, -qint64(min));
    qint64 magnitude = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        magnitude = magnitude * 10 + (text[i].unicode() - u'0');
        if (magnitude > limit)
            return std::nullopt;
    }
    const qint64 value = negative ? -magnitude : magnitude;
    if (value == 0 || value < min || value > max)
        return std::nullopt;
    return qint32(value);
}
