// HEIC, HEIF and AVIF files from arbitrary bytes through our reader, whole and at the size
// of a signature: never a crash, never a hang, and a picture read at a scaled size has
// exactly that size.

#include "pictures/heifimage.h"

#include <QBuffer>
#include <QImage>
#include <QVariant>

#include <cstdio>
#include <cstdlib>

namespace {

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "heif reader: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QSize scaled : {QSize(), QSize(64, 64)}) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        HeifImageHandler handler;
        handler.setDevice(&buffer);
        if (!handler.canRead())
            return 0;
        const QSize header = handler.option(QImageIOHandler::Size).toSize();
        if (scaled.isValid())
            handler.setOption(QImageIOHandler::ScaledSize, scaled);
        QImage image;
        if (!handler.read(&image))
            continue;
        require(!image.isNull(), "read succeeded with no picture");
        require(header.isValid(), "a picture was read but its header gave no size");
        if (scaled.isValid())
            require(image.size() == scaled, "the picture is not of the size asked for");
    }
    return 0;
}
