#include "pictures/uprightpicture.h"

#include "files/regularfile.h"
#include "pictures/jpeg/jpegdecoder.h"
#include "pictures/pictureformats.h"

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

// The largest scale (at most 1) at which a picture of `size` decodes to 32-bit pixels within
// Qt's allocation limit. The limit is the process's and stays as it is: a
// picture beyond it is read smaller, never refused for its size alone.
double limitScale(QSize size)
{
    const qint64 limit = qint64(QImageReader::allocationLimit()) * 1024 * 1024;
    const double bytes = double(size.width()) * size.height() * 4;
    if (limit <= 0 || bytes <= 0)
        return 1.0;
    // A little under: the rounding of the scaled sides must not carry it over.
    return std::min(1.0, 0.99 * std::sqrt(double(limit) / bytes));
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
    const double most = limitScale(stored);
    const double scale = std::clamp(std::min(scaleFor(picture.size), most), 1e-6, 1.0);
    int eighths = std::clamp(int(std::ceil(8 * scale - 1e-9)), 1, 8);
    // The 1/8 step above the scale must fit the limit too; below it the picture is not shrunk.
    while (eighths > 1 && eighths / 8.0 > most)
        --eighths;
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
    QFile file;
    if (!openPictureFile(file, path))
        return picture;
    QByteArray data = file.readAll();
    if (decodeJpeg(data, scaleFor, coarse, picture))
        return picture;
    data.clear();

    QImageReader reader(path);
    // Told by the content, but a RAW by its name: its content looks like any TIFF.
    reader.setDecideFormatFromContent(!hasRawExtension(path));
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (stored.isEmpty())
        return picture;
    // The reader scales the picture as stored and turns it after.
    const bool quarter = reader.transformation() & QImageIOHandler::TransformationRotate90;
    picture.size = quarter ? stored.transposed() : stored;
    const double scale = std::min({1.0, scaleFor(picture.size), limitScale(stored)});
    if (scale < 1)
        reader.setScaledSize(scaledSize(stored, scale));
    picture.image = reader.read();
    if (!picture.image.isNull())
        picture.scale = double(picture.image.width()) / picture.size.width();
    return picture;
}
