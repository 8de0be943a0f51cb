#pragma once
// Which picture files an add takes, and whether this computer can read them.
//
// JPEG always: .jpg and .jpeg. With the AllFormats setting (lumo-cli add --all-formats) also
// .heic .heif .avif (libheif, heifimage.h), .png (Qt), .webp and .tif .tiff (Qt's
// image-format plug-ins) and camera RAW, .arw .cr2 .cr3 .dng .nef .nrw .orf .pef .raf .rw2
// .srw (LibRaw, rawimage.h), each in any letter case. The folder add, the drop and lumo-cli's
// folder search use this one rule; a file named on its own is offered whatever its name.
// A format whose decoder is missing is told once at the start of an add, never skipped
// silently: its files are then counted among the pictures that could not be read.

#include "sigboxcore_export.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

enum class PictureFormats {
    Jpeg, // the JPEG files alone
    All,  // JPEG and the formats of phones, screenshots, the web and scanners
};

SIGBOXCORE_EXPORT bool hasPictureExtension(const QString &name, PictureFormats formats);

// A camera RAW file by its name, whatever the setting. Most RAWs begin as any TIFF does, so
// a reader that would tell the format by the content alone must be told this one.
SIGBOXCORE_EXPORT bool hasRawExtension(const QString &name);

// The add-files dialog's filter: the JPEG entry, and with All a second entry for every
// picture the add takes.
SIGBOXCORE_EXPORT QString pictureFileFilter(PictureFormats formats);

// What can decode here: Qt's image formats and libheif's decoders.
struct SIGBOXCORE_EXPORT PictureDecoders {
    QList<QByteArray> qtFormats;
    bool hevc = false; // HEIC
    bool av1 = false;  // AVIF
    static PictureDecoders installed();
};

// The formats that `formats` takes but that cannot be decoded: "HEIC", "AVIF", "PNG",
// "WebP", "TIFF", in that order ("RAW" is always read).
SIGBOXCORE_EXPORT QStringList unreadableFormats(PictureFormats formats,
                                                const PictureDecoders &decoders = PictureDecoders::installed());
// The one message about them, "WebP を読み込めません" or "HEIC, AVIF を読み込めません";
// empty when every format can be read.
SIGBOXCORE_EXPORT QString unreadableFormatsMessage(const QStringList &formats);
