// The viewer's JPEG check and repair on arbitrary bytes, each time on a copy in a
// temporary folder: the file stays as it was or grows by exactly 0xFF 0xD9, and only
// when it starts like a JPEG, does not end in 0xFF 0xD9 and its marker walk runs out.
// A complete picture with any bytes after it is never touched.

#include "jpegcheck.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

const QByteArray StartMarker("\xFF\xD8", 2);
const QByteArray EndMarker("\xFF\xD9", 2);

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "JPEG check: %s\n", what);
        std::abort();
    }
}

QTemporaryDir *folder()
{
    static QTemporaryDir dir;
    require(dir.isValid(), "no temporary folder");
    return &dir;
}

// A small complete picture as the JPEG writer makes it: rings, so its scan data is varied.
QByteArray completeJpeg()
{
    QImage image(32, 24, QImage::Format_RGB32);
    image.fill(Qt::darkBlue);
    QPainter painter(&image);
    for (int r = 2; r < 16; r += 3) {
        painter.setPen(QColor::fromHsv(r * 20, 255, 255));
        painter.drawEllipse(QPoint(16, 12), r, r);
    }
    painter.end();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "jpeg").write(image);
    return buffer.data();
}

// Writes bytes to the copy, checks it, and returns what the copy holds afterwards.
QByteArray checkCopy(const QByteArray &bytes, bool &shown)
{
    const QString path = folder()->filePath(QStringLiteral("copy.jpg"));
    // A new file each time: rewriting a truncated one makes the file system flush it.
    QFile::remove(path);
    QFile file(path);
    require(file.open(QIODevice::WriteOnly | QIODevice::NewOnly) && file.write(bytes) == bytes.size(),
            "cannot write the copy");
    file.close();
    shown = CheckJpegFile(path);
    require(file.open(QIODevice::ReadOnly), "cannot read the copy back");
    return file.readAll();
}

JpegEnding walk(const QByteArray &bytes)
{
    QByteArray data = bytes;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(2);
    return walkJpegMarkers(buffer);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    folder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    bool shown = false;
    const QByteArray after = checkCopy(bytes, shown);

    const bool startsLikeJpeg = bytes.startsWith(StartMarker);
    require(shown == startsLikeJpeg, "shown is not the start-marker test");
    require(after == bytes || after == bytes + EndMarker, "the file changed other than by the end marker");
    const bool cutOff = startsLikeJpeg && !bytes.endsWith(EndMarker) && walk(bytes) == JpegEnding::CutOff;
    require((after != bytes) == cutOff,
            cutOff ? "a cut-off file was not repaired" : "a file that has its end per the walk was touched");

    // Whatever follows a complete picture (a video, a second picture, padding) is no cut.
    static const QByteArray complete = completeJpeg();
    const QByteArray followed = complete + bytes;
    require(checkCopy(followed, shown) == followed && shown, "a complete picture with data after it was touched");
    return 0;
}
