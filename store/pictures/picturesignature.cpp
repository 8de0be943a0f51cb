#include "pictures/picturesignature.h"

#include "pictures/jpeg/jpegdecoder.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int Side = 64;
// The face a picture is drawn on; transparent parts of a picture show it.
const QRgb Background = qRgb(224, 224, 224);

QImage readStretched(QImageReader &reader)
{
    reader.setAutoTransform(false);
    // The JPEG reader decodes at the largest 1/8 step that stays at least 64 pixels on
    // both sides, and its high-quality path then shrinks with Qt's smooth scaler, which
    // averages areas; other formats are decoded whole and shrunk the same way.
    reader.setQuality(100);
    reader.setScaledSize(QSize(Side, Side));
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (image.size() != QSize(Side, Side))
        image = image.scaled(Side, Side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (image.hasAlphaChannel()) {
        QImage face(Side, Side, QImage::Format_RGB32);
        face.fill(Background);
        QPainter painter(&face);
        painter.drawImage(0, 0, image);
        return face;
    }
    return image.convertToFormat(QImage::Format_RGB32);
}

// A colour JPEG decoded as Qt's reader decodes it for readStretched (the same library, the
// same 1/8 step, the same integer DCT and upsampling, then the same smooth shrink), but
// straight from memory into 32-bit pixels: this spares the reader's 4 KiB reads, its copy
// of the EXIF and comment markers and its pass from 24-bit pixels. Null when the picture is
// not a colour JPEG that decodes, for readStretched to handle exactly as before.
QImage decodeJpeg(const QByteArray &data)
{
    JpegDecoder jpeg(data);
    // Grey and CMYK pictures come out of Qt's reader in other formats: they go there.
    if (!jpeg.readHeader() || jpeg.output() != JpegDecoder::Output::Rgb || jpeg.components() != 3
        || jpeg.width() == 0 || jpeg.height() == 0)
        return {};
    const double f = std::min(double(jpeg.width()) / Side, double(jpeg.height()) / Side);
    JpegDecoder::Scaling scaling;
    scaling.eighths = std::clamp(int(std::ceil(8 / f)), 1, 8);
    const QImage image = jpeg.decode(scaling);
    if (image.isNull())
        return {};
    return image.size() == QSize(Side, Side) ? image
                                             : image.scaled(Side, Side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

std::optional<PictureSignature> signatureOfFace(QImage face)
{
    if (face.isNull())
        return std::nullopt;
    PictureSignature result;
    result.cells = signatureOfSurface(face);
    result.face = std::move(face);
    return result;
}

} // namespace

QImage loadStretchedPicture(const QString &path)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        QImage face = decodeJpeg(file.readAll());
        if (!face.isNull())
            return face;
    }
    // Other formats are told by the name as well as by the content, as the reader does.
    QImageReader reader(path);
    return readStretched(reader);
}

QImage loadStretchedPicture(QIODevice &picture)
{
    QImageReader reader(&picture);
    return readStretched(reader);
}

Signature signatureOfSurface(const QImage &stretched)
{
    const QImage rgb = stretched.format() == QImage::Format_RGB32
        ? stretched
        : stretched.convertToFormat(QImage::Format_RGB32);
    PixcoreSurface surface{reinterpret_cast<const uint32_t *>(rgb.constBits()), rgb.width(), rgb.height(),
                           static_cast<int32_t>(rgb.bytesPerLine() / 4)};
    Signature cells{};
    pixcore::averageGrid(surface, cells.data());
    return cells;
}

std::optional<PictureSignature> computePictureSignature(const QString &path)
{
    return signatureOfFace(loadStretchedPicture(path));
}

std::optional<PictureSignature> computePictureSignature(QIODevice &picture)
{
    return signatureOfFace(loadStretchedPicture(picture));
}
