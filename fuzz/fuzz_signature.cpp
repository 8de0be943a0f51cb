// The signature of a picture from arbitrary bytes, decoded from memory the way a file is:
// never a crash, and a decoded picture gives a 64 x 64 face and colour averages in 0..255.

#include "pictures/picturesignature.h"

#include <QBuffer>
#include <QImageReader>

#include <cstdio>
#include <cstdlib>

namespace {

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "picture signature: %s\n", what);
        std::abort();
    }
}

// Qt's decoders carry no coverage counters of their own: telling the fuzzer which decoder
// took the bytes, and how it ended, keeps inputs of every format apart instead of folding
// them into one.
void markDecoder(const QByteArray &bytes, bool decoded)
{
    QByteArray copy = bytes;
    QBuffer probe(&copy);
    probe.open(QIODevice::ReadOnly);
    const QByteArray format = QImageReader::imageFormat(&probe);
    static volatile int seen = 0;
    if (format == "jpeg")
        seen = seen + (decoded ? 1 : 2);
    else if (format == "png")
        seen = seen + (decoded ? 3 : 4);
    else if (format == "gif")
        seen = seen + (decoded ? 5 : 6);
    else if (format == "bmp")
        seen = seen + (decoded ? 7 : 8);
    else if (format == "ico" || format == "cur")
        seen = seen + (decoded ? 9 : 10);
    else if (format == "svg" || format == "svgz")
        seen = seen + (decoded ? 11 : 12);
    else if (format == "pbm" || format == "pgm" || format == "ppm")
        seen = seen + (decoded ? 13 : 14);
    else if (format == "xbm" || format == "xpm")
        seen = seen + (decoded ? 15 : 16);
    else if (!format.isEmpty())
        seen = seen + (decoded ? 17 : 18);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Qt's complaints about broken input are expected by the thousand (libpng's own
    // messages go straight to the error output and stay in the run's log).
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const std::optional<PictureSignature> signature = computePictureSignature(buffer);
    markDecoder(bytes, signature.has_value());
    if (!signature)
        return 0;
    require(signature->face.size() == QSize(64, 64), "the face is not 64 x 64");
    for (int16_t value : signature->cells)
        require(value >= 0 && value <= 255, "a colour average outside 0..255");
    require(signatureOfSurface(signature->face) == signature->cells, "the face gives another signature");
    return 0;
}
