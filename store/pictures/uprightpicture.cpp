#include "pictures/uprightpicture.h"

#include "pictures/jpeg/jpegdecoder.h"

#include <QBuffer>
#include <QFile>
#include <QImageIOHandler>
#include <QImageReader>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace {

QSize scaledSize(QSize size, double scale)
{
    return QSize(std::max(1, qRound(size.width() * scale)), std::max(1, qRound(size.height() * scale)));
}

// As Qt's readers turn a picture for its orientation: mirrored first, then a quarter turn.
QImage turned(const QImage &image, QImageIOHandler::Transformations how)
{
    if (how == QImageIOHandler::TransformationNone)
        return image;
    QImage result = image.mirrored(how & QImageIOHandler::TransformationMirror,
                                   how & QImageIOHandler::TransformationFlip);
    if (how & QImageIOHandler::TransformationRotate90)
        result = result.transformed(QTransform().rotate(90));
    return result;
}

// The JPEG path; false when the file is not a JPEG libjpeg turns into RGB, for Qt's readers.
bool decodeJpeg(QByteArray &data, const std::function<double(QSize)> &scaleFor,
                const std::function<bool(UprightPicture)> &coarse, UprightPicture &picture)
{
    if (!JpegDecoder::startsLikeJpeg(data))
        return false;
    QImageIOHandler::Transformations how;
    {
        QBuffer buffer(&data);
        buffer.open(QIODevice::ReadOnly);
        how = QImageReader(&buffer, "jpeg").transformation();
    }
    JpegDecoder jpeg(data);
    // CMYK and the like go to Qt's reader, which converts them.
    if (!jpeg.readHeader() || jpeg.output() == JpegDecoder::Output::Other || jpeg.width() == 0 || jpeg.height() == 0)
        return false;
    const QSize stored(jpeg.width(), jpeg.height());
    picture.size = how & QImageIOHandler::TransformationRotate90 ? stored.transposed() : stored;
    const double scale = std::clamp(scaleFor(picture.size), 1e-6, 1.0);
    const int eighths = std::clamp(int(std::ceil(8 * scale - 1e-9)), 1, 8);
    const QSize wanted = scaledSize(stored, scale);
    // Shrunk to the wanted size as Qt's reader does, and turned.
    const auto finish = [wanted, how, &picture](const QImage &image) {
        UprightPicture result;
        result.size = picture.size;
        result.image = turned(image.width() > wanted.width() || image.height() > wanted.height()
                                  ? image.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                  : image,
                              how);
        result.scale = double(result.image.width()) / result.size.width();
        return result;
    };
    JpegDecoder::Scaling scaling;
    scaling.eighths = eighths;
    scaling.readerLimits = true;
    scaling.dcOnlyAtEighth = true; // at 1/8 the DC scans are all; their picture is exact unsmoothed
    if (coarse)
        // A copy: the decode goes on in the image's memory.
        scaling.coarse = [&coarse, &finish](const QImage &image) { return coarse(finish(image.copy())); };
    const QImage image = jpeg.decode(scaling);
    // Damaged: Qt's reader would not do better.
    if (!image.isNull())
        picture = finish(image);
    return true;
}

} // namespace

UprightPicture decodeUprightPicture(const QString &path, const std::function<double(QSize)> &scaleFor,
                                    const std::function<bool(UprightPicture)> &coarse)
{
    UprightPicture picture;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return picture;
    QByteArray data = file.readAll();
    if (decodeJpeg(data, scaleFor, coarse, picture))
        return picture;
    data.clear();

    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (stored.isEmpty())
        return picture;
    // The reader scales the picture as stored and turns it after.
    const bool quarter = reader.transformation() & QImageIOHandler::TransformationRotate90;
    picture.size = quarter ? stored.transposed() : stored;
    const double scale = std::min(1.0, scaleFor(picture.size));
    if (scale < 1)
        reader.setScaledSize(scaledSize(stored, scale));
    picture.image = reader.read();
    if (!picture.image.isNull())
        picture.scale = double(picture.image.width()) / picture.size.width();
    return picture;
}
