#include "picturesignature.h"

#include <QImageReader>
#include <QPainter>

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
