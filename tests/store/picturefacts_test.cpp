#include "jpegwriter.h"
#include "search/keeprules.h"
#include "pictures/picturefacts.h"
#include "pictures/primaryquality.h"
#include "pictures/factsstore.h"
#include "storetestutil.h"

#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace {

// A photo-like picture: many soft and sharp shapes in many colours, the same every time.
QImage scene()
{
    QImage image(320, 240, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QRandomGenerator random(24);
    for (int i = 0; i < 400; ++i) {
        painter.setPen(QColor::fromRgb(random.bounded(256), random.bounded(256), random.bounded(256)));
        painter.setBrush(QColor::fromRgb(random.bounded(256), random.bounded(256), random.bounded(256)));
        painter.drawEllipse(random.bounded(320), random.bounded(240), random.bounded(4, 40), random.bounded(4, 40));
    }
    return image;
}

QImage blurred(const QImage &image)
{
    QImage out = image;
    for (int y = 1; y < image.height() - 1; ++y) {
        for (int x = 1; x < image.width() - 1; ++x) {
            int r = 0, g = 0, b = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const QRgb p = image.pixel(x + dx, y + dy);
                    r += qRed(p), g += qGreen(p), b += qBlue(p);
                }
            }
            out.setPixel(x, y, qRgb(r / 9, g / 9, b / 9));
        }
    }
    return out;
}

// Every channel an eighth brighter and lifted a little, as a tone edit does.
QImage brightened(const QImage &image)
{
    QImage out = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            line[x] = qRgb(std::min(255, qRed(line[x]) * 9 / 8 + 6), std::min(255, qGreen(line[x]) * 9 / 8 + 6),
                           std::min(255, qBlue(line[x]) * 9 / 8 + 6));
    }
    return out;
}

// The EXIF block of a picture stored turned: orientation 6 (shown turned a quarter clockwise),
// a camera model and a date taken.
QByteArray exifSegment()
{
    QByteArray tiff;
    QDataStream out(&tiff, QIODevice::WriteOnly); // big-endian, as "MM" says
    out << quint16(0x4D4D) << quint16(42) << quint32(8);
    out << quint16(3);                                         // IFD0 at 8: three entries
    out << quint16(0x0110) << quint16(2) << quint32(4) << quint32(0x4C554D00); // model "LUM"
    out << quint16(0x0112) << quint16(3) << quint32(1) << quint16(6) << quint16(0);
    out << quint16(0x8769) << quint16(4) << quint32(1) << quint32(50); // EXIF IFD at 50
    out << quint32(0);
    out << quint16(1) << quint16(0x9003) << quint16(2) << quint32(20) << quint32(68) << quint32(0);
    tiff.append("2021:06:30 17:45:12", 20);
    return QByteArray("\xFF\xE1", 2) + QByteArray(1, char((tiff.size() + 8) >> 8))
        + QByteArray(1, char((tiff.size() + 8) & 0xFF)) + QByteArray("Exif\0\0", 6) + tiff;
}

bool save(const QImage &image, const QString &path, int quality, bool turnedWithExif = false)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    const QImage stored = turnedWithExif ? image.transformed(QTransform().rotate(-90)) : image;
    if (!buffer.open(QIODevice::WriteOnly) || !stored.save(&buffer, "JPEG", quality))
        return false;
    if (turnedWithExif)
        jpeg.insert(2, exifSegment());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(jpeg) == jpeg.size();
}

// A kind of copy of the scene and how it is saved.
enum class Copy {
    Original, Smaller, Q40, Upscaled, Blurred95, Grey, Cropped97, Turned, Q90, CroppedSharp, Smeared, Soft, SoftBlurred95,
    Q70, BrightenedFromQ70
};

bool make(Copy copy, const QString &path)
{
    const QImage image = scene();
    const QImage half = image.scaled(160, 120, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    switch (copy) {
    case Copy::Original: return save(image, path, 85);
    case Copy::Smaller: return save(half, path, 95);
    case Copy::Q40: return save(image, path, 40);
    case Copy::Upscaled: return save(half.scaled(320, 240, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), path, 95);
    case Copy::Blurred95: return save(blurred(image), path, 95);
    case Copy::Grey: return save(image.convertToFormat(QImage::Format_Grayscale8), path, 95);
    case Copy::Cropped97: return save(image.copy(1, 0, 319, 240), path, 97);
    case Copy::Turned: return save(image, path, 85, true);
    case Copy::Q90: return save(image, path, 90);
    case Copy::CroppedSharp: return save(image.copy(1, 0, 319, 240), path, 85);
    case Copy::Smeared: return save(blurred(blurred(blurred(image))), path, 95);
    case Copy::Soft: return save(blurred(image), path, 75);
    case Copy::SoftBlurred95: return save(blurred(blurred(blurred(image))), path, 95);
    case Copy::Q70: return save(image, path, 70);
    case Copy::BrightenedFromQ70: {
        // Edited from the q70 file, so the tone change meets the same blocking.
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        return buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "JPEG", 70)
            && save(brightened(QImage::fromData(jpeg, "JPEG")), path, 95);
    }
    }
    return false;
}

struct BestCase {
    const char *name;
    std::vector<Copy> group; // catalogue order; file i is named p<i>.jpg
    std::vector<KeepRule> rules;
    int keep;
};

void PrintTo(const BestCase &c, std::ostream *os) { *os << c.name; }

class BestRule : public ::testing::TestWithParam<BestCase>
{
};

// best keeps the picture that holds the most (more pixels beyond a column's crop, colour,
// detail, then exact pixels and quality) however the copies weigh, and its ties go to the
// rules after it.
TEST_P(BestRule, KeepsTheOriginal)
{
    const BestCase &c = GetParam();
    QTemporaryDir temp;
    QStringList pictures;
    std::vector<PictureFacts> facts;
    for (size_t i = 0; i < c.group.size(); ++i) {
        pictures << temp.filePath(QStringLiteral("p%1.jpg").arg(i));
        ASSERT_TRUE(make(c.group[i], pictures.last()));
        // The earlier entries are the newer files; most copies are the larger ones.
        QFile file(pictures.last());
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.setFileTime(QDateTime::fromSecsSinceEpoch(1700000000 - 60 * int(i)), QFileDevice::FileModificationTime);
        facts.push_back(readPictureFacts(pictures.last()));
    }
    EXPECT_EQ(planGroup(pictures, facts, c.rules, ProtectedFolders()).keep, c.keep);
}

using C = Copy;
using R = KeepRule;

INSTANTIATE_TEST_SUITE_P(
    Groups, BestRule,
    ::testing::Values(BestCase{"Smaller", {C::Smaller, C::Original}, {R::Best}, 1},
                      BestCase{"Recompressed", {C::Q40, C::Original}, {R::Best}, 1},
                      BestCase{"Upscaled", {C::Upscaled, C::Original}, {R::Best}, 1},
                      BestCase{"Blurred", {C::Blurred95, C::Original}, {R::Best}, 1},
                      BestCase{"SoftOriginalBlurred", {C::SoftBlurred95, C::Soft}, {R::Best}, 1},
                      BestCase{"Grey", {C::Grey, C::Original}, {R::Best}, 1},
                      BestCase{"CroppedByOneColumn", {C::Cropped97, C::Original}, {R::Best}, 1},
                      BestCase{"TurnedByExif", {C::Blurred95, C::Turned}, {R::Best}, 1},
                      BestCase{"EveryCopy",
                               {C::Upscaled, C::Grey, C::Original, C::Q40, C::Blurred95, C::Cropped97, C::Smaller},
                               {R::Best}, 2},
                      // The ties inside best: detail within 17 % is level, then quality; a sharp
                      // copy cropped by a column beats a smeared whole one.
                      BestCase{"HigherQualityAtTheSameDetail", {C::Original, C::Q90}, {R::Best}, 1},
                      BestCase{"SharpCropOverSmearedWhole", {C::Smeared, C::CroppedSharp}, {R::Best}, 1},
                      // A tone change adds strong fine coefficients (here 19 %): not more
                      // content, so the older file wins.
                      BestCase{"BrightenedCopyNewer", {C::BrightenedFromQ70, C::Q70}, {R::Best}, 1},
                      BestCase{"LevelCopiesGoToTheNextRule", {C::Original, C::Original}, {R::Best, R::Oldest}, 1},
                      BestCase{"BestAfterAnotherRule", {C::Cropped97, C::Original}, {R::Base, R::Best}, 0}),
    [](const ::testing::TestParamInfo<BestCase> &info) { return std::string(info.param.name); });

struct FactsCase {
    const char *name;
    Copy copy;
    int width, height, quality;
    bool grey;
    const char *taken; // "" none
};

void PrintTo(const FactsCase &c, std::ostream *os) { *os << c.name; }

class Facts : public ::testing::TestWithParam<FactsCase>
{
};

// The facts of a file: its size as shown (after the EXIF orientation), the quality it was
// saved at, grey or colour, and the EXIF date taken.
TEST_P(Facts, ReadFromTheFile)
{
    const FactsCase &c = GetParam();
    QTemporaryDir temp;
    const QString path = temp.filePath(QStringLiteral("p.jpg"));
    ASSERT_TRUE(make(c.copy, path));
    for (const PictureFacts &facts : {readPictureFacts(path), readPictureHeaderFacts(path)}) {
        EXPECT_EQ(facts.width, c.width);
        EXPECT_EQ(facts.height, c.height);
        EXPECT_EQ(facts.quality, c.quality);
        EXPECT_EQ(facts.taken.toString(Qt::ISODate).toStdString(), c.taken);
    }
    EXPECT_EQ(readPictureFacts(path).grey, c.grey);
}

INSTANTIATE_TEST_SUITE_P(Files, Facts,
                         ::testing::Values(FactsCase{"Original", C::Original, 320, 240, 85, false, ""},
                                           FactsCase{"Q40", C::Q40, 320, 240, 40, false, ""},
                                           FactsCase{"Smaller", C::Smaller, 160, 120, 95, false, ""},
                                           FactsCase{"Grey", C::Grey, 320, 240, 95, true, ""},
                                           FactsCase{"TurnedByExif", C::Turned, 320, 240, 85, false,
                                                     "2021-06-30T17:45:12"}),
                         [](const ::testing::TestParamInfo<FactsCase> &info) { return std::string(info.param.name); });

} // namespace

namespace {

enum class Damage { None, Truncated, ByteChanged, RestartRenumbered };

void damage(QByteArray &jpeg, Damage damage)
{
    const qsizetype data = jpeg.indexOf("\xFF\xDA") + 2;
    const qsizetype middle = data + (jpeg.size() - data) / 2;
    switch (damage) {
    case Damage::None: break;
    case Damage::Truncated: jpeg.truncate(middle); break;
    case Damage::ByteChanged: jpeg[middle] = char(uchar(jpeg[middle]) == 0x3C ? 0x3D : 0x3C); break;
    case Damage::RestartRenumbered: jpeg[jpeg.indexOf("\xFF\xD1", data) + 1] = char(0xD5); break;
    }
}

struct ScanCase {
    const char *name;
    int width, height;
    JpegEncoding encoding;
    Damage damage;
};

void PrintTo(const ScanCase &c, std::ostream *os) { *os << c.name; }

class LibraryFacts : public ::testing::TestWithParam<ScanCase>
{
};

// Every layout encoders write is measured through the library, and what the facts cache
// stores of it gives the same detail at its own steps and at coarser ones.
TEST_P(LibraryFacts, EveryLayoutIsMeasured)
{
    const ScanCase &c = GetParam();
    QByteArray jpeg = encodeJpeg(scene().scaled(c.width, c.height), c.encoding);
    damage(jpeg, c.damage);
    QTemporaryDir temp;
    const QString path = temp.filePath(QStringLiteral("p.jpg"));
    ASSERT_TRUE(writeFile(path, jpeg));

    const PictureFacts facts = readPictureFacts(path);
    if (c.damage == Damage::None) {
        ASSERT_TRUE(facts.counts);
        EXPECT_GT(facts.detail, 0.0);
    }
    PictureFacts stored;
    ASSERT_TRUE(decodeFacts(encodeFacts(facts), stored));
    EXPECT_EQ(stored.detail, facts.detail);
    EXPECT_EQ(stored.grey, facts.grey);
    EXPECT_EQ(stored.quality, facts.quality);
    ASSERT_EQ(bool(stored.counts), bool(facts.counts));
    if (facts.counts) {
        for (const int quality : DetailQualities) {
            for (const DetailFrequencies frequencies : {DetailFrequencies::All, DetailFrequencies::Fine})
                EXPECT_EQ(detailAtSteps(stored, {quality}, frequencies), detailAtSteps(facts, {quality}, frequencies))
                    << quality;
        }
    }
}

using D = Damage;
INSTANTIATE_TEST_SUITE_P(
    Files, LibraryFacts,
    ::testing::Values(ScanCase{"Halved", 320, 240, {}, D::None},
                      ScanCase{"HalvedAcrossOddSize", 317, 233, {JCS_YCbCr, 2, 1}, D::None},
                      ScanCase{"HalvedDown", 320, 240, {JCS_YCbCr, 1, 2}, D::None},
                      ScanCase{"QuarteredAcross", 301, 240, {JCS_YCbCr, 4, 1}, D::None},
                      ScanCase{"FullChromaNarrow", 13, 240, {JCS_YCbCr, 1, 1}, D::None},
                      ScanCase{"Grey", 319, 97, {JCS_GRAYSCALE}, D::None},
                      ScanCase{"Cmyk", 320, 240, {JCS_CMYK, 1, 1}, D::None},
                      ScanCase{"Quality100Optimized", 320, 240, {JCS_YCbCr, 2, 2, 100, 0, true}, D::None},
                      ScanCase{"Quality20", 320, 240, {JCS_YCbCr, 2, 2, 20}, D::None},
                      ScanCase{"RestartEachMcuPadded", 305, 199, {JCS_YCbCr, 2, 2, 85, 1}, D::None},
                      ScanCase{"RestartEvery7Grey", 320, 240, {JCS_GRAYSCALE, 1, 1, 90, 7}, D::None},
                      ScanCase{"Progressive", 320, 240, {JCS_YCbCr, 2, 2, 85, 0, false, true}, D::None},
                      ScanCase{"Arithmetic", 320, 240, {JCS_YCbCr, 2, 2, 85, 0, false, false, true}, D::None},
                      ScanCase{"Truncated", 320, 240, {}, D::Truncated},
                      ScanCase{"RestartRenumbered", 320, 240, {JCS_YCbCr, 2, 2, 85, 4}, D::RestartRenumbered},
                      ScanCase{"ByteChanged", 320, 240, {}, D::ByteChanged},
                      ScanCase{"ByteChangedWithRestarts", 320, 240, {JCS_YCbCr, 2, 2, 85, 2}, D::ByteChanged}),
    [](const ::testing::TestParamInfo<ScanCase> &info) { return std::string(info.param.name); });

} // namespace

namespace {

// How a picture came to be: saved at `first`, decoded, changed, saved at `second` (0: once only).
enum class Edit { None, Mirrored, Turned, Halved, Brightened };

struct PrimaryCase {
    const char *name;
    int first;
    Edit edit;
    int second;
    int expected; // the primary quality within 5; 0 none; -1 none or within 5 of `first`
};

void PrintTo(const PrimaryCase &c, std::ostream *os) { *os << c.name; }

class PrimaryQuality : public ::testing::TestWithParam<PrimaryCase>
{
};

QImage edited(const QImage &image, Edit edit)
{
    switch (edit) {
    case Edit::None: return image;
    case Edit::Mirrored: return image.mirrored(true, false);
    case Edit::Turned: return image.transformed(QTransform().rotate(90));
    case Edit::Halved: return image.scaled(image.size() / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    case Edit::Brightened: return brightened(image);
    }
    return image;
}

// A picture saved again at a finer setting shows the quality it was first saved at, mirrored
// or turned too; one saved once, scaled or with its tones changed shows none.
TEST_P(PrimaryQuality, ShowsTheEarlierCompression)
{
    const PrimaryCase &c = GetParam();
    QTemporaryDir temp;
    const QString path = temp.filePath(QStringLiteral("p.jpg"));
    const QImage photo = scene().scaled(640, 480, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    ASSERT_TRUE(save(photo, path, c.first));
    if (c.second > 0) {
        const QImage decoded(path);
        ASSERT_FALSE(decoded.isNull());
        ASSERT_TRUE(save(edited(decoded, c.edit), path, c.second));
    }
    const PictureFacts facts = readPictureFacts(path);
    EXPECT_EQ(facts.quality, c.second > 0 ? c.second : c.first);
    if (c.expected == 0) {
        EXPECT_EQ(facts.primaryQuality, 0);
    } else if (c.expected < 0) {
        if (facts.primaryQuality != 0)
            EXPECT_NEAR(facts.primaryQuality, c.first, 5);
    } else {
        EXPECT_NEAR(facts.primaryQuality, c.expected, 5);
        EXPECT_LT(facts.primaryQuality, facts.quality);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, PrimaryQuality,
    ::testing::Values(PrimaryCase{"Q75ThenQ98", 75, Edit::None, 98, 75}, PrimaryCase{"Q75ThenQ95", 75, Edit::None, 95, 75},
                      PrimaryCase{"Q88ThenQ98", 88, Edit::None, 98, 88}, PrimaryCase{"Q85ThenQ95", 85, Edit::None, 95, 85},
                      PrimaryCase{"Q60ThenQ90", 60, Edit::None, 90, 60}, PrimaryCase{"Q40ThenQ85", 40, Edit::None, 85, 40},
                      PrimaryCase{"Q10ThenQ95", 10, Edit::None, 95, -1},
                      PrimaryCase{"MirroredQ75ThenQ95", 75, Edit::Mirrored, 95, 75},
                      PrimaryCase{"TurnedQ80ThenQ95", 80, Edit::Turned, 95, 80},
                      PrimaryCase{"OnceQ75", 75, Edit::None, 0, 0}, PrimaryCase{"OnceQ95", 95, Edit::None, 0, 0},
                      PrimaryCase{"OnceQ100", 100, Edit::None, 0, 0}, PrimaryCase{"OnceQ10", 10, Edit::None, 0, 0},
                      PrimaryCase{"CoarserSecond", 90, Edit::None, 60, 0},
                      PrimaryCase{"HalvedExport", 75, Edit::Halved, 85, 0}),
    [](const ::testing::TestParamInfo<PrimaryCase> &info) { return std::string(info.param.name); });

} // namespace

namespace {

// One file of a group: how it came from the original, where it lies and its file time.
struct Member {
    const char *path;
    int quality;          // 0: a byte-identical copy of the original
    Edit edit;            // applied to the decoded original before saving again
    qint64 secondsLater;  // file time after the original's
};

struct OriginalCase {
    const char *name;
    int originalQuality;
    std::vector<Member> group; // catalogue order; the original is the member named "写真/p.jpg"
    int resavedAt = 0;         // the original itself was saved once more, at this quality
};

void PrintTo(const OriginalCase &c, std::ostream *os) { *os << c.name; }

class BestKeepsTheOriginal : public ::testing::TestWithParam<OriginalCase>
{
};

// Copies that are not worse by their settings (re-saved finer, copied with or without their
// times, edited and re-saved finer) lose to their original; a heavy re-compression loses
// whatever its time.
TEST_P(BestKeepsTheOriginal, OverItsCopies)
{
    const OriginalCase &c = GetParam();
    QTemporaryDir temp;
    const QDir dir(temp.path());
    ASSERT_TRUE(dir.mkpath(QStringLiteral("写真")) && dir.mkpath(QStringLiteral("写真 - コピー")));
    const QString original = dir.filePath(QStringLiteral("写真/p.jpg"));
    ASSERT_TRUE(save(scene().scaled(640, 480, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), original,
                     c.originalQuality));
    if (c.resavedAt > 0)
        ASSERT_TRUE(save(QImage(original), original, c.resavedAt));
    const QImage decoded(original);
    constexpr qint64 Taken = 1600000000;
    QStringList pictures;
    std::vector<PictureFacts> facts;
    int expected = -1;
    for (const Member &member : c.group) {
        const QString path = dir.filePath(QString::fromUtf8(member.path));
        if (path == original)
            expected = int(pictures.size());
        else if (member.quality == 0)
            ASSERT_TRUE(QFile::copy(original, path));
        else
            ASSERT_TRUE(save(edited(decoded, member.edit), path, member.quality));
        pictures << path;
    }
    for (qsizetype i = 0; i < pictures.size(); ++i) {
        QFile file(pictures[i]);
        ASSERT_TRUE(file.open(QIODevice::Append));
        ASSERT_TRUE(file.setFileTime(QDateTime::fromSecsSinceEpoch(Taken + c.group[size_t(i)].secondsLater),
                                     QFileDevice::FileModificationTime));
    }
    for (const QString &path : pictures)
        facts.push_back(readPictureFacts(path));
    ASSERT_GE(expected, 0);
    EXPECT_EQ(planGroup(pictures, facts, {KeepRule::Best}, ProtectedFolders()).keep, expected);
}

constexpr const char *Original = "写真/p.jpg";
INSTANTIATE_TEST_SUITE_P(
    Groups, BestKeepsTheOriginal,
    ::testing::Values(
        OriginalCase{"ResavedAtQ98WithItsTime", 75, {{"写真/p_98.jpg", 98, Edit::None, 0}, {Original, 75, Edit::None, 0}}},
        OriginalCase{"ResavedAtQ95WithItsTime", 85, {{"写真/p_95.jpg", 95, Edit::None, 0}, {Original, 85, Edit::None, 0}}},
        OriginalCase{"IdenticalCopyNewer", 90, {{"写真 - コピー/p.jpg", 0, Edit::None, 600}, {Original, 90, Edit::None, 0}}},
        OriginalCase{"IdenticalCopyWithItsTime", 90,
                     {{"写真 - コピー/p.jpg", 0, Edit::None, 0}, {Original, 90, Edit::None, 0}}},
        OriginalCase{"MirroredAtQ95", 80, {{"写真/p_mirror.jpg", 95, Edit::Mirrored, 60}, {Original, 80, Edit::None, 0}}},
        OriginalCase{"TurnedAtQ95", 80, {{"写真/p_turn.jpg", 95, Edit::Turned, 60}, {Original, 80, Edit::None, 0}}},
        OriginalCase{"BrightenedAtQ95", 92, {{"写真/p_bright.jpg", 95, Edit::Brightened, 60}, {Original, 92, Edit::None, 0}}},
        OriginalCase{"EveryKindAtOnce", 75,
                     {{"写真 - コピー/p.jpg", 0, Edit::None, 900},
                      {"写真/p_98.jpg", 98, Edit::None, 0},
                      {"写真/p_mirror.jpg", 95, Edit::Mirrored, 60},
                      {Original, 75, Edit::None, 0}}},
        // The original shows its own earlier compression; the copy's tone change hides it.
        OriginalCase{"ResavedOriginalOverBrightenedCopy", 80,
                     {{"写真/p_bright.jpg", 95, Edit::Brightened, 60}, {Original, 0, Edit::None, 0}}, 100},
        OriginalCase{"HeavyRecompressionOlder", 90, {{"写真/p_40.jpg", 40, Edit::None, -600}, {Original, 90, Edit::None, 0}}}),
    [](const ::testing::TestParamInfo<OriginalCase> &info) { return std::string(info.param.name); });

} // namespace

struct StepCase {
    const char *name;
    int first;  // 0: quantised once, at `second`
    int second;
    double spread; // mean size of the coefficient before any quantisation
    int values;
    int expected;
};

void PrintTo(const StepCase &c, std::ostream *os) { *os << c.name; }

class PrimaryStep : public ::testing::TestWithParam<StepCase>
{
};

// One frequency's histogram of sizes: a Laplacian quantised at the first step, then at the
// second; the first step is told back, and a histogram quantised once tells none.
TEST_P(PrimaryStep, FromOneFrequency)
{
    const StepCase &c = GetParam();
    std::array<quint32, PrimaryHistograms::Values> histogram{};
    for (int i = 0; i < c.values; ++i) {
        const double size = -c.spread * std::log(1 - (i + 0.5) / c.values);
        const double once = c.first > 0 ? std::round(size / c.first) * c.first : size;
        const int value = int(std::lround(once / c.second));
        ++histogram[size_t(std::min(value, PrimaryHistograms::Values - 1))];
    }
    EXPECT_EQ(estimatePrimaryStep(histogram, c.second), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Histograms, PrimaryStep,
    ::testing::Values(StepCase{"Step12Then5", 12, 5, 40, 20000, 12}, StepCase{"Step7Then3", 7, 3, 30, 20000, 7},
                      StepCase{"Step20Then6", 20, 6, 60, 20000, 20}, StepCase{"Step9Then2", 9, 2, 25, 20000, 9},
                      StepCase{"Step5Then1", 5, 1, 20, 20000, 5}, StepCase{"Step31Then4", 31, 4, 90, 20000, 31},
                      StepCase{"Step12Then1", 12, 1, 40, 20000, 12}, StepCase{"Step16Then1", 16, 1, 50, 20000, 16},
                      StepCase{"Step24Then5", 24, 5, 70, 20000, 24}, StepCase{"Step30Then4", 30, 4, 80, 20000, 30},
                      StepCase{"OnceAt4", 0, 4, 40, 20000, 0}, StepCase{"OnceAt1", 0, 1, 20, 20000, 0},
                      StepCase{"TooFewValues", 12, 5, 40, 150, 0}),
    [](const ::testing::TestParamInfo<StepCase> &info) { return std::string(info.param.name); });
