// Camera RAW files from arbitrary bytes through our reader, whole and at the size of a
// signature: never a crash or a hang of the program that reads, and a picture read at a
// scaled size has exactly that size. LibRaw runs in the reader's helper process (its
// opening, its preview unpacking and, where no preview fits, its half-size development): a
// file that crashes LibRaw there is a file that cannot be read, not a finding. The limits
// are set before anything is decoded: Qt's allocation limit low, so that a header asking
// for a huge sensor is refused rather than developed.

#include "pictures/pictureformats.h"

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
    // The reader is the plug-in sigboxcore registers, reached as every reader reaches it.
    require(hasRawExtension(QStringLiteral("x.dng")), "the RAW reader is not there");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QSize scaled : {QSize(64, 64), QSize()}) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "dng");
        reader.setAutoDetectImageFormat(false); // ours alone, not another reader's guess
        reader.setAutoTransform(true);
        if (!reader.canRead())
            return 0;
        const QSize header = reader.size();
        require(header.isValid() && !header.isEmpty(), "a RAW was opened but gave no size");
        if (scaled.isValid())
            reader.setScaledSize(scaled);
        const QImage image = reader.read();
        if (image.isNull())
            continue;
        if (scaled.isValid()) {
            const bool quarter = reader.transformation() & QImageIOHandler::TransformationRotate90;
            require(image.size() == (quarter ? scaled.transposed() : scaled), "the picture is not of the size asked for");
        }
    }
    return 0;
}
