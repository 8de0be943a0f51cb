#pragma once
// The signature of a picture file: decoded at reduced size where the format allows,
// stretched to 64 x 64 by area averaging (aspect ratio ignored), then the kernel's grid.
// Re-entrant: safe to call from worker threads.

#include "sigboxcore_export.h"
#include "entries/signaturetable.h"

#include <QImage>
#include <QString>

class QIODevice;

#include <optional>

struct PictureSignature {
    Signature cells{};
    QImage face; // the 64 x 64 stretched picture the signature was taken from
};

SIGBOXCORE_EXPORT std::optional<PictureSignature> computePictureSignature(const QString &path);
// The same from the bytes of a picture in any device (the format is told by the content).
SIGBOXCORE_EXPORT std::optional<PictureSignature> computePictureSignature(QIODevice &picture);
// The 64 x 64 stretched picture alone; a null image when the file cannot be decoded.
SIGBOXCORE_EXPORT QImage loadStretchedPicture(const QString &path);
SIGBOXCORE_EXPORT QImage loadStretchedPicture(QIODevice &picture);
SIGBOXCORE_EXPORT Signature signatureOfSurface(const QImage &stretched);
