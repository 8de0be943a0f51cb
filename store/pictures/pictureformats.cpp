#include "pictures/pictureformats.h"

#include "files/folderscan.h"
#include "pictures/heifimage.h"
#include "pictures/rawimage.h"

#include <QCoreApplication>
#include <QImageReader>
#include <QtPlugin>

#include <array>

#include <libheif/heif.h>

// HEIC, HEIF and AVIF, and camera RAW: linked in, registered whenever this library is loaded.
Q_IMPORT_PLUGIN(HeifImagePlugin)
Q_IMPORT_PLUGIN(RawImagePlugin)

namespace {

struct OtherFormat {
    const char *name;       // as the user knows it
    const char *qtFormat;   // what Qt's reader must know, or null for libheif's and LibRaw's
    std::array<const char *, RawExtensions.size()> extensions;
};

// The order of the settings dialog's caption.
constexpr std::array<OtherFormat, 6> OtherFormats{{
    {"HEIC", nullptr, {"heic", "heif"}},
    {"AVIF", nullptr, {"avif"}},
    {"PNG", "png", {"png"}},
    {"WebP", "webp", {"webp"}},
    {"TIFF", "tiff", {"tif", "tiff"}},
    // LibRaw is linked in, so always readable.
    {"RAW", nullptr, RawExtensions},
}};

} // namespace

bool hasPictureExtension(const QString &name, PictureFormats formats)
{
    if (hasJpegExtension(name))
        return true;
    if (formats != PictureFormats::All)
        return false;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    const QStringView extension = QStringView(name).mid(dot + 1);
    for (const OtherFormat &format : OtherFormats) {
        for (const char *known : format.extensions) {
            if (known && extension.compare(QLatin1String(known), Qt::CaseInsensitive) == 0)
                return true;
        }
    }
    return false;
}

bool hasRawExtension(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 && isRawFormat(QStringView(name).mid(dot + 1).toLatin1());
}

QString pictureFileFilter(PictureFormats formats)
{
    const QString jpeg = QStringLiteral("*.jpeg *.jpg|*.jpeg;*.jpg");
    if (formats != PictureFormats::All)
        return jpeg;
    // Every picture the add takes, JPEG included, so that one selection can mix them.
    QStringList patterns{QStringLiteral("*.jpeg"), QStringLiteral("*.jpg")};
    for (const OtherFormat &format : OtherFormats) {
        for (const char *known : format.extensions) {
            if (known)
                patterns << QStringLiteral("*.") + QLatin1String(known);
        }
    }
    return jpeg + QLatin1Char('|') + patterns.join(QLatin1Char(' ')) + QLatin1Char('|') + patterns.join(QLatin1Char(';'));
}

PictureDecoders PictureDecoders::installed()
{
    PictureDecoders decoders;
    decoders.qtFormats = QImageReader::supportedImageFormats();
    initHeifLibrary(); // the decoders are known once the library has loaded them
    decoders.hevc = heif_have_decoder_for_format(heif_compression_HEVC);
    decoders.av1 = heif_have_decoder_for_format(heif_compression_AV1);
    return decoders;
}

QStringList unreadableFormats(PictureFormats formats, const PictureDecoders &decoders)
{
    QStringList missing;
    if (formats != PictureFormats::All)
        return missing; // JPEG is Qt's own
    for (const OtherFormat &format : OtherFormats) {
        const QLatin1String name(format.name);
        const bool readable = format.qtFormat ? decoders.qtFormats.contains(QByteArray(format.qtFormat))
            : name == QLatin1String("HEIC")       ? decoders.hevc
            : name == QLatin1String("AVIF")       ? decoders.av1
                                                  : true;
        if (!readable)
            missing << name;
    }
    return missing;
}

QString unreadableFormatsMessage(const QStringList &formats)
{
    if (formats.isEmpty())
        return {};
    // Translated where the application installs a translator (the window); lumo-cli has none.
    return QCoreApplication::translate("PictureFormats", "%1 を読み込めません").arg(formats.join(QStringLiteral(", ")));
}
