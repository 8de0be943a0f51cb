// The reader of the not-alike decisions on arbitrary bytes: it never crashes, refuses
// leaving nothing behind, and whatever it read is written back and read again unchanged.

#include "search/notalike.h"

#include <QBuffer>

#include <cstdio>
#include <cstdlib>

namespace {

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "not-alike reader: %s\n", what);
        std::abort();
    }
}

bool read(const QByteArray &bytes, std::vector<NotAlikePair> &pairs)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readNotAlike(buffer, pairs);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    std::vector<NotAlikePair> pairs;
    if (!read(bytes, pairs)) {
        require(pairs.empty(), "a refused file left pairs behind");
        return 0;
    }
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    require(writeNotAlike(out, pairs), "what was read cannot be written");
    std::vector<NotAlikePair> again;
    require(read(out.data(), again), "a written file does not read back");
    require(again == pairs, "the pairs changed on the way back");
    return 0;
}
