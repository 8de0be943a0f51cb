#include "heiffiles.h"
#include "search/keeprules.h"
#include "pictures/pictureformats.h"
#include "pictures/picturesignature.h"

#include <pixcore.h>

#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

namespace {

struct ExtensionCase {
    const char *name;
    bool jpegOnly; // taken with the setting off
    bool all;      // taken with it on
};

class PictureExtension : public ::testing::TestWithParam<ExtensionCase> {};

// The folder and drop test: JPEG alone with the setting off; the other formats too with it on, any letter case.
TEST_P(PictureExtension, TakesTheFormatsOfTheSetting)
{
    const ExtensionCase &c = GetParam();
    EXPECT_EQ(hasPictureExtension(QLatin1String(c.name), PictureFormats::Jpeg), c.jpegOnly) << c.name;
    EXPECT_EQ(hasPictureExtension(QLatin1String(c.name), PictureFormats::All), c.all) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Names, PictureExtension,
                         ::testing::Values(ExtensionCase{"photo.JPG", true, true}, ExtensionCase{"x.Jpeg", true, true},
                                           ExtensionCase{"IMG_0001.HEIC", false, true},
                                           ExtensionCase{"a.heif", false, true}, ExtensionCase{"b.Avif", false, true},
                                           ExtensionCase{"shot.png", false, true}, ExtensionCase{"web.WEBP", false, true},
                                           ExtensionCase{"scan.tif", false, true}, ExtensionCase{"scan.TIFF", false, true},
                                           ExtensionCase{"DSC_0001.NEF", false, true}, ExtensionCase{"IMG_1.cr3", false, true},
                                           ExtensionCase{"a.Dng", false, true}, ExtensionCase{"b.rw2", false, true},
                                           ExtensionCase{"c.raw", false, false}, ExtensionCase{"nef", false, false},
                                           ExtensionCase{"x.jpe", false, false}, ExtensionCase{"anim.gif", false, false},
                                           ExtensionCase{"heic", false, false}, ExtensionCase{"a.heic.txt", false, false}));

struct DecodersCase {
    const char *row;
    PictureFormats formats;
    QList<QByteArray> qtFormats;
    bool hevc;
    bool av1;
    const char *message;
};

class UnreadableFormats : public ::testing::TestWithParam<DecodersCase> {};

// A format the add takes but cannot decode is named in one message; none with the setting off or all decoders there.
TEST_P(UnreadableFormats, NamesEachMissingDecoderOnce)
{
    const DecodersCase &c = GetParam();
    PictureDecoders decoders{c.qtFormats, c.hevc, c.av1};
    EXPECT_EQ(unreadableFormatsMessage(unreadableFormats(c.formats, decoders)), QString::fromUtf8(c.message)) << c.row;
}

const QList<QByteArray> AllQt{"jpeg", "png", "webp", "tiff"};

INSTANTIATE_TEST_SUITE_P(
    Decoders, UnreadableFormats,
    ::testing::Values(DecodersCase{"everything", PictureFormats::All, AllQt, true, true, ""},
                      DecodersCase{"setting off", PictureFormats::Jpeg, {"jpeg"}, false, false, ""},
                      DecodersCase{"no WebP", PictureFormats::All, {"jpeg", "png", "tiff"}, true, true, "WebP を読み込めません"},
                      DecodersCase{"no libheif decoders", PictureFormats::All, AllQt, false, false, "HEIC, AVIF を読み込めません"},
                      DecodersCase{"no plug-ins", PictureFormats::All, {"jpeg", "png"}, true, false, "AVIF, WebP, TIFF を読み込めません"}));

// Four coloured quarters and a bar: every turn and mirror gives another signature.
QImage upright()
{
    QImage image(160, 96, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(0, 0, 80, 48, QColor(220, 40, 40));
    p.fillRect(80, 0, 80, 48, QColor(40, 200, 60));
    p.fillRect(0, 48, 80, 48, QColor(30, 60, 210));
    p.fillRect(80, 48, 80, 48, QColor(240, 220, 50));
    p.fillRect(10, 10, 30, 76, QColor(250, 250, 250));
    return image;
}

struct FormatCase {
    const char *row;
    const char *suffix;
    int orientation;   // 1 to 8, for HEIC and AVIF
    int thumbnailSide; // 0: no thumbnail in the file
};

class FormatSignature : public ::testing::TestWithParam<FormatCase> {};

// A picture in any format, upright after its own turn, has the signature of the same picture as JPEG within rounding and is its look-alike at level 5.
TEST_P(FormatSignature, MatchesTheSamePictureAsJpeg)
{
    const FormatCase &c = GetParam();
    QTemporaryDir dir;
    const QImage picture = upright();
    const QString jpeg = dir.filePath(QStringLiteral("copy.jpg"));
    ASSERT_TRUE(picture.save(jpeg, "JPEG", 95));
    const QString path = dir.filePath(QStringLiteral("original.") + QLatin1String(c.suffix));
    const QByteArray suffix(c.suffix);
    if (suffix == "heic" || suffix == "avif") {
        const QString failure = writeHeif(path, picture, suffix == "heic" ? heif_compression_HEVC : heif_compression_AV1,
                                          c.orientation, c.thumbnailSide);
        if (!failure.isEmpty())
            GTEST_SKIP() << c.row << ": " << failure.toStdString();
    } else {
        QImageWriter writer(path);
        writer.setQuality(100); // lossless WebP: the test is of the reading, not of the codec
        ASSERT_TRUE(writer.write(picture)) << c.row << ": " << writer.errorString().toStdString();
    }
    const auto fromJpeg = computePictureSignature(jpeg);
    const auto fromOther = computePictureSignature(path);
    ASSERT_TRUE(fromJpeg && fromOther) << c.row;
    int largest = 0;
    for (size_t i = 0; i < fromJpeg->cells.size(); ++i)
        largest = std::max(largest, std::abs(fromJpeg->cells[i] - fromOther->cells[i]));
    EXPECT_LE(largest, 8) << c.row;
    EXPECT_LE(pixcore::checkValue(fromJpeg->cells.data(), fromOther->cells.data()), 5) << c.row;
    // The keep rules read the upright size from the header.
    EXPECT_EQ(readPictureFacts(path).pixels, 160 * 96) << c.row;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FormatSignature,
    ::testing::Values(FormatCase{"PNG", "png", 1, 0}, FormatCase{"WebP", "webp", 1, 0}, FormatCase{"TIFF", "tiff", 1, 0},
                      FormatCase{"HEIC upright", "heic", 1, 0}, FormatCase{"HEIC mirrored", "heic", 2, 0},
                      FormatCase{"HEIC turned 180", "heic", 3, 0}, FormatCase{"HEIC turned 90", "heic", 6, 0},
                      FormatCase{"HEIC turned 270", "heic", 8, 0}, FormatCase{"HEIC transposed", "heic", 5, 0},
                      FormatCase{"HEIC turned 90 with its thumbnail", "heic", 6, 96},
                      FormatCase{"AVIF upright", "avif", 1, 0}, FormatCase{"AVIF turned 90", "avif", 6, 0}),
    [](const ::testing::TestParamInfo<FormatCase> &info) {
        std::string name = info.param.row;
        std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
        return name;
    });

// A picture large enough to be shrunk from its planes: soft gradients under hard-edged
// patches, some of them of saturated colours (where averaging before the conversion and
// clipping after it differ most), and fine stripes that average out.
QImage largePicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb(255 * x / width, 255 * y / height, (x / 3 + y / 5) % 2 ? 200 : 40);
    }
    QPainter p(&image);
    p.fillRect(width / 10, height / 8, width / 4, height / 3, QColor(255, 0, 0));
    p.fillRect(width / 2, height / 6, width / 5, height / 4, QColor(0, 0, 255));
    p.fillRect(width / 3, height / 2, width / 3, height / 3, QColor(0, 255, 40));
    p.fillRect(width * 3 / 4, height * 2 / 3, width / 6, height / 5, QColor(255, 255, 255));
    p.fillRect(width / 12, height * 3 / 4, width / 6, height / 6, QColor(0, 0, 0));
    return image;
}

struct ShrunkCase {
    const char *row;
    heif_compression_format format;
    int width;
    int height;
    int orientation;
};

class ShrunkHeif : public ::testing::TestWithParam<ShrunkCase> {};

// A HEIC or AVIF without a thumbnail is shrunk for its signature from its decoded planes; the
// signature is that of the whole RGB decode shrunk as before, within 3 a cell.
TEST_P(ShrunkHeif, ReadsAsTheWholeDecode)
{
    const ShrunkCase &c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("picture.heic"));
    const QString failure = writeHeif(path, largePicture(c.width, c.height), c.format, c.orientation);
    if (!failure.isEmpty())
        GTEST_SKIP() << c.row << ": " << failure.toStdString();
    QImageReader whole(path);
    const QImage decoded = whole.read();
    ASSERT_FALSE(decoded.isNull()) << c.row;
    const Signature before = signatureOfSurface(
        decoded.scaled(64, 64, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_RGB32));
    const auto now = computePictureSignature(path);
    ASSERT_TRUE(now) << c.row;
    int largest = 0;
    for (size_t i = 0; i < before.size(); ++i)
        largest = std::max(largest, std::abs(before[i] - now->cells[i]));
    EXPECT_LE(largest, 3) << c.row;
}

INSTANTIATE_TEST_SUITE_P(
    Planes, ShrunkHeif,
    ::testing::Values(ShrunkCase{"HEIC", heif_compression_HEVC, 1024, 768, 1},
                      ShrunkCase{"HEIC of odd sides", heif_compression_HEVC, 1001, 777, 1},
                      ShrunkCase{"HEIC tall", heif_compression_HEVC, 480, 1200, 1},
                      ShrunkCase{"HEIC turned 90", heif_compression_HEVC, 1024, 768, 6},
                      ShrunkCase{"HEIC mirrored", heif_compression_HEVC, 1001, 777, 2},
                      ShrunkCase{"AVIF", heif_compression_AV1, 1024, 768, 1},
                      ShrunkCase{"AVIF turned 270", heif_compression_AV1, 1001, 777, 8}),
    [](const ::testing::TestParamInfo<ShrunkCase> &info) {
        std::string name = info.param.row;
        std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
        return name;
    });

} // namespace
