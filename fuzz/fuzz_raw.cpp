// Camera RAW files from arbitrary bytes through our reader (LibRaw's opening, its preview
// unpacking and, where no preview fits, its half-size development), whole and at the size
// of a signature: never a crash, never a hang, and a picture read at a scaled size has
// exactly that size. The limits are set before anything is decoded: Qt's allocation limit
// low, so that a header asking for a huge sensor is refused rather than developed.

#include "pictures/rawimage.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QVariant>

#include <cstdio>
#include <cstdlib>

namespace {

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "raw reader: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QImageReader::setAllocationLimit(16);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QSize scaled : {QSize(64, 64), QSize()}) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        RawImageHandler handler;
        handler.setDevice(&buffer);
        handler.setFormat("dng");
        if (!handler.canRead())
            return 0;
        const QSize header = handler.option(QImageIOHandler::Size).toSize();
        require(header.isValid() && !header.isEmpty(), "a RAW was opened but gave no size");
        if (scaled.isValid())
            handler.setOption(QImageIOHandler::ScaledSize, scaled);
        QImage image;
        if (!handler.read(&image))
            continue;
        require(!image.isNull(), "read succeeded with no picture");
        if (scaled.isValid())
            require(image.size() == scaled, "the picture is not of the size asked for");
    }
    return 0;
}
