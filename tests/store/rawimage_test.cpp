#include "dngwriter.h"
#include "heiffiles.h"
#include "pictures/picturesignature.h"
#include "pictures/uprightpicture.h"
#include "search/keeprules.h"
#include "storetestutil.h"

#include <pixcore.h>

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

namespace {

// A landscape picture, 3:2 as most sensors are, soft as a photo is (a preview is the
// picture resampled, which moves hard edges between cells), and with no turn or mirror of
// the same look: a diagonal gradient, a soft blue patch low on the right, a bright one high
// on the left.
QImage upright()
{
    QImage image(384, 256, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient gradient(0, 0, 384, 256);
    gradient.setColorAt(0, QColor(200, 70, 50));
    gradient.setColorAt(1, QColor(60, 170, 90));
    p.fillRect(image.rect(), gradient);
    p.setPen(Qt::NoPen);
    QRadialGradient blue(QPointF(280, 180), 110);
    blue.setColorAt(0, QColor(40, 70, 210));
    blue.setColorAt(1, QColor(40, 70, 210, 0));
    p.setBrush(blue);
    p.drawEllipse(QPointF(280, 180), 110, 110);
    QRadialGradient bright(QPointF(90, 70), 70);
    bright.setColorAt(0, QColor(250, 240, 200));
    bright.setColorAt(1, QColor(250, 240, 200, 0));
    p.setBrush(bright);
    p.drawEllipse(QPointF(90, 70), 70, 70);
    return image;
}

int checkValue(const Signature &a, const Signature &b) { return pixcore::checkValue(a.data(), b.data()); }

int largestCellDifference(const Signature &a, const Signature &b)
{
    int largest = 0;
    for (size_t i = 0; i < a.size(); ++i)
        largest = std::max(largest, std::abs(a[i] - b[i]));
    return largest;
}

std::string rowName(const char *row)
{
    std::string name = row;
    std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

enum class Preview { Full, Small, SmallRgb, None };

struct RawCase {
    const char *row;
    DngSensor sensor;
    int orientation; // EXIF numbering
    Preview preview;
};

class RawSignature : public ::testing::TestWithParam<RawCase> {};

// A RAW and the JPEG the camera wrote beside it (the same pixels as stored, the turn
// recorded) are look-alikes at level 5, from the preview or from the sensor data; shown, the
// RAW is upright and as large as the preview or the developed picture.
TEST_P(RawSignature, MatchesTheCamerasJpeg)
{
    const RawCase &c = GetParam();
    QTemporaryDir dir;
    const QImage picture = upright();
    const QImage stored = storedFor(picture, c.orientation);
    const QString jpeg = dir.filePath(QStringLiteral("IMG_0001.JPG"));
    ASSERT_TRUE(stored.save(jpeg, "JPEG", 95));
    QImage preview;
    if (c.preview == Preview::Full)
        preview = stored;
    else if (c.preview != Preview::None)
        preview = stored.scaled(stored.size() / 4, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QString raw = dir.filePath(QStringLiteral("IMG_0001.DNG"));
    ASSERT_TRUE(writeDng(raw, stored, c.sensor, c.orientation, preview,
                         c.preview == Preview::SmallRgb ? DngPreview::Rgb : DngPreview::Jpeg));

    const auto fromJpeg = computePictureSignature(jpeg);
    const auto fromRaw = computePictureSignature(raw);
    ASSERT_TRUE(fromJpeg && fromRaw) << c.row;
    EXPECT_LE(checkValue(fromJpeg->cells, fromRaw->cells), 5) << c.row;
    EXPECT_LE(largestCellDifference(fromJpeg->cells, fromRaw->cells), 12) << c.row;

    // The reader's size is the sensor's, as stored; its turn brings it upright.
    QImageReader reader(raw);
    EXPECT_EQ(reader.size(), stored.size()) << c.row;
    reader.setAutoTransform(true);
    const QImage shown = reader.read();
    // Developed, a mosaic comes out at half size, three channels at their own.
    const QSize developed = c.sensor == DngSensor::Cfa ? stored.size() / 2 : stored.size();
    const QSize expected = c.preview == Preview::Full ? stored.size() : developed;
    EXPECT_EQ(shown.size(), c.orientation >= 5 ? expected.transposed() : expected) << c.row;

    // The compare pane's decode: upright, at the scale asked for.
    const UprightPicture pane = decodeUprightPicture(raw, [](QSize) { return 0.5; });
    ASSERT_FALSE(pane.image.isNull()) << c.row;
    EXPECT_EQ(pane.size, picture.size()) << c.row;
    EXPECT_LE(checkValue(signatureOfSurface(pane.image.scaled(64, 64, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)),
                         signatureOfSurface(picture.scaled(64, 64, Qt::IgnoreAspectRatio, Qt::SmoothTransformation))),
              5)
        << c.row;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RawSignature,
    ::testing::Values(RawCase{"CFA upright, full preview", DngSensor::Cfa, 1, Preview::Full},
                      RawCase{"CFA upright, small preview", DngSensor::Cfa, 1, Preview::Small},
                      RawCase{"CFA upright, no preview", DngSensor::Cfa, 1, Preview::None},
                      RawCase{"CFA turned 90, full preview", DngSensor::Cfa, 6, Preview::Full},
                      RawCase{"CFA turned 90, small preview", DngSensor::Cfa, 6, Preview::Small},
                      RawCase{"CFA turned 90, no preview", DngSensor::Cfa, 6, Preview::None},
                      RawCase{"CFA turned 270, no preview", DngSensor::Cfa, 8, Preview::None},
                      RawCase{"CFA turned 180, small preview", DngSensor::Cfa, 3, Preview::Small},
                      RawCase{"CFA upright, small RGB preview", DngSensor::Cfa, 1, Preview::SmallRgb},
                      RawCase{"LinearRaw upright, full preview", DngSensor::LinearRaw, 1, Preview::Full},
                      RawCase{"LinearRaw upright, small preview", DngSensor::LinearRaw, 1, Preview::Small},
                      RawCase{"LinearRaw upright, no preview", DngSensor::LinearRaw, 1, Preview::None},
                      RawCase{"LinearRaw turned 270, small preview", DngSensor::LinearRaw, 8, Preview::Small},
                      RawCase{"LinearRaw turned 90, no preview", DngSensor::LinearRaw, 6, Preview::None}),
    [](const ::testing::TestParamInfo<RawCase> &info) { return rowName(info.param.row); });

struct GuardCase {
    const char *row;
    QImage (*preview)(const QImage &stored);
};

class PreviewGuard : public ::testing::TestWithParam<GuardCase> {};

// A preview that does not show the whole sensor picture as it is stored is passed over:
// the signature comes from the sensor data and still matches the camera's JPEG.
TEST_P(PreviewGuard, PassesOverAPreviewOfAnotherShape)
{
    const GuardCase &c = GetParam();
    QTemporaryDir dir;
    const QImage stored = upright();
    const QString jpeg = dir.filePath(QStringLiteral("a.jpg"));
    ASSERT_TRUE(stored.save(jpeg, "JPEG", 95));
    const QString raw = dir.filePath(QStringLiteral("a.nef"));
    ASSERT_TRUE(writeDng(raw, stored, DngSensor::Cfa, 1, c.preview(stored)));
    const auto fromJpeg = computePictureSignature(jpeg);
    const auto fromRaw = computePictureSignature(raw);
    ASSERT_TRUE(fromJpeg && fromRaw) << c.row;
    EXPECT_LE(checkValue(fromJpeg->cells, fromRaw->cells), 5) << c.row;
}

INSTANTIATE_TEST_SUITE_P(
    Previews, PreviewGuard,
    ::testing::Values(GuardCase{"letter-boxed into 4:3",
                                [](const QImage &stored) {
                                    QImage boxed(384, 288, QImage::Format_RGB32);
                                    boxed.fill(Qt::black);
                                    QPainter(&boxed).drawImage(0, 16, stored);
                                    return boxed;
                                }},
                      GuardCase{"cropped to 4:3",
                                [](const QImage &stored) { return stored.copy(0, 0, 340, 256); }},
                      GuardCase{"turned a quarter",
                                [](const QImage &stored) { return stored.transformed(QTransform().rotate(90)); }},
                      GuardCase{"smaller than 64 pixels",
                                [](const QImage &stored) {
                                    QImage grey(48, 32, QImage::Format_RGB32);
                                    grey.fill(Qt::gray);
                                    return grey;
                                }}),
    [](const ::testing::TestParamInfo<GuardCase> &info) { return rowName(info.param.row); });

class FittingPreview : public ::testing::TestWithParam<Preview> {};

// A preview that fits is what the signature is taken from: over sensor data that is flat
// grey, the signature is still the picture's.
TEST_P(FittingPreview, IsTheSignaturesSource)
{
    QTemporaryDir dir;
    const QImage picture = upright();
    QImage grey(picture.size(), QImage::Format_RGB32);
    grey.fill(Qt::gray);
    const QImage preview = GetParam() == Preview::Full
        ? picture
        : picture.scaled(96, 64, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QString jpeg = dir.filePath(QStringLiteral("a.jpg"));
    ASSERT_TRUE(picture.save(jpeg, "JPEG", 95));
    const QString raw = dir.filePath(QStringLiteral("a.dng"));
    ASSERT_TRUE(writeDng(raw, grey, DngSensor::Cfa, 1, preview));
    const auto fromJpeg = computePictureSignature(jpeg);
    const auto fromRaw = computePictureSignature(raw);
    ASSERT_TRUE(fromJpeg && fromRaw);
    EXPECT_LE(checkValue(fromJpeg->cells, fromRaw->cells), 5);
}

INSTANTIATE_TEST_SUITE_P(Previews, FittingPreview, ::testing::Values(Preview::Full, Preview::Small));

struct DamagedCase {
    const char *row;
    QByteArray (*bytes)();
};

class DamagedRaw : public ::testing::TestWithParam<DamagedCase> {};

// A damaged RAW gives no signature and no picture, and nothing crashes.
TEST_P(DamagedRaw, GivesNoPicture)
{
    const DamagedCase &c = GetParam();
    QTemporaryDir dir;
    const QString raw = dir.filePath(QStringLiteral("broken.cr2"));
    ASSERT_TRUE(writeFile(raw, c.bytes()));
    EXPECT_FALSE(computePictureSignature(raw)) << c.row;
    EXPECT_TRUE(decodeUprightPicture(raw, [](QSize) { return 1.0; }).image.isNull()) << c.row;
}

QByteArray wholeDng() { return makeDng(upright(), DngSensor::Cfa, 1); }

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedRaw,
    ::testing::Values(DamagedCase{"empty", [] { return QByteArray(); }},
                      DamagedCase{"no RAW at all", [] { return QByteArray(4096, 'x'); }},
                      DamagedCase{"cut off in the header", [] { return wholeDng().left(120); }},
                      DamagedCase{"cut off before the sensor data", [] {
                                      const QByteArray whole = wholeDng();
                                      return whole.left(whole.size() - 384 * 256 * 2 + 16);
                                  }},
                      // LibRaw reads a pattern of 36 colours as a 6 x 6 mosaic's, from past
                      // the end of the file, and crashes later on what it read.
                      DamagedCase{"a colour pattern past the end of the file", [] {
                                      QByteArray bytes = wholeDng();
                                      const qsizetype at = bytes.indexOf(QByteArray("\x8e\x82\x01\x00\x04\x00\x00\x00", 8));
                                      if (at >= 0)
                                          bytes[at + 4] = 36;
                                      return at >= 0 ? bytes : QByteArray();
                                  }},
                      DamagedCase{"a sensor of 0 x 0", [] {
                                      QByteArray bytes = makeDng(QImage(2, 2, QImage::Format_RGB32), DngSensor::Cfa, 1);
                                      // ImageWidth and ImageLength are the second and third entries.
                                      for (int at : {8 + 2 + 12 + 8, 8 + 2 + 24 + 8})
                                          bytes[at] = 0;
                                      return bytes;
                                  }}),
    [](const ::testing::TestParamInfo<DamagedCase> &info) { return rowName(info.param.row); });

// A RAW's facts are the sensor's: its pixels, upright as the camera was held, no JPEG
// quality, and it is known as a RAW.
TEST(RawFacts, AreTheSensors)
{
    QTemporaryDir dir;
    const QString raw = dir.filePath(QStringLiteral("DSC_0001.NEF"));
    ASSERT_TRUE(writeDng(raw, storedFor(upright(), 6), DngSensor::Cfa, 6, storedFor(upright(), 6)));
    const PictureFacts facts = readPictureFacts(raw);
    EXPECT_TRUE(facts.readable);
    EXPECT_TRUE(facts.raw);
    EXPECT_EQ(facts.quality, 0);
    EXPECT_EQ(QSize(facts.width, facts.height), upright().size());
    EXPECT_FALSE(readPictureFacts(dir.filePath(QStringLiteral("missing.nef"))).raw);
}

struct BestCase {
    const char *row;
    bool rawFirst;
    int jpegDivisor; // the JPEG's sides: the sensor's divided by this
};

class BestKeepsRaw : public ::testing::TestWithParam<BestCase> {};

// "best" keeps the RAW over the JPEGs made from it, at the same pixels though the JPEG has a
// quality and the larger file, and over a smaller export, wherever it stands in the group.
TEST_P(BestKeepsRaw, OverTheJpegsMadeFromIt)
{
    const BestCase &c = GetParam();
    QTemporaryDir dir;
    const QImage picture = upright();
    const QString raw = dir.filePath(QStringLiteral("IMG_0001.CR2"));
    ASSERT_TRUE(writeDng(raw, picture, DngSensor::Cfa, 1));
    const QString jpeg = dir.filePath(QStringLiteral("IMG_0001.JPG"));
    ASSERT_TRUE(picture.scaled(picture.size() / c.jpegDivisor).save(jpeg, "JPEG", 98));
    QFile padded(jpeg);
    ASSERT_TRUE(padded.open(QIODevice::Append));
    padded.write(QByteArray(int(QFileInfo(raw).size()), '\0')); // the larger file
    padded.close();
    const QStringList group = c.rawFirst ? QStringList{raw, jpeg} : QStringList{jpeg, raw};
    std::vector<PictureFacts> facts;
    for (const QString &path : group)
        facts.push_back(readPictureFacts(path));
    const KeepPlan plan = planGroup(group, facts, {KeepRule::Best}, ProtectedFolders());
    ASSERT_GE(plan.keep, 0) << c.row;
    EXPECT_EQ(group.at(plan.keep), raw) << c.row;
}

INSTANTIATE_TEST_SUITE_P(Groups, BestKeepsRaw,
                         ::testing::Values(BestCase{"the camera's JPEG, RAW first", true, 1},
                                           BestCase{"the camera's JPEG, RAW last", false, 1},
                                           BestCase{"an export at half size", false, 2}),
                         [](const ::testing::TestParamInfo<BestCase> &info) { return rowName(info.param.row); });

} // namespace
