#include "files/folderscan.h"
#include "files/regularfile.h"
#include "pictures/picturefacts.h"
#include "pictures/pictureformats.h"
#include "pictures/picturesignature.h"
#include "pictures/uprightpicture.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray smallJpeg()
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return buffer.data();
}

struct ReaderCase {
    const char *name;
    // The file under a picture's name; its path, or empty when it cannot be made here.
    std::function<QString(const QString &dir)> plant;
    bool picture; // every reader takes it
};

void PrintTo(const ReaderCase &row, std::ostream *out) { *out << row.name; }

std::vector<ReaderCase> readerCases()
{
    return {
        {"a real picture",
         [](const QString &dir) {
             const QString path = dir + QStringLiteral("/a.jpg");
             QFile file(path);
             return file.open(QIODevice::WriteOnly) && file.write(smallJpeg()) > 0 ? path : QString();
         },
         true},
        {"a 3 GB sparse file with a real JPEG head",
         [](const QString &dir) {
             const QString path = dir + QStringLiteral("/huge.jpg");
             QFile file(path);
             if (!file.open(QIODevice::WriteOnly) || file.write(smallJpeg()) <= 0)
                 return QString();
             file.close();
             return ::truncate(QFile::encodeName(path).constData(), qint64(3) << 30) == 0 ? path : QString();
         },
         false},
        {"a FIFO", [](const QString &dir) {
             const QString path = dir + QStringLiteral("/fifo.jpg");
             return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0 ? path : QString();
         },
         false},
        {"a device that never ends", [](const QString &) { return QStringLiteral("/dev/zero"); }, false},
        {"a folder", [](const QString &dir) {
             const QString path = dir + QStringLiteral("/folder.jpg");
             return ::mkdir(QFile::encodeName(path).constData(), 0700) == 0 ? path : QString();
         },
         false},
    };
}

// Runs a reader with a bound: one that waits for ever (a FIFO's open) fails the run at once.
template <typename Result>
Result bounded(const std::function<Result()> &read)
{
    auto future = std::async(std::launch::async, read);
    if (future.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "a reader is still waiting after 20 s";
        std::_Exit(1);
    }
    return future.get();
}

using PictureReaders = testing::TestWithParam<ReaderCase>;

// Every reader opens only a regular file of bounded size: a huge sparse file, a FIFO, a
// device or a folder under a picture's name is no picture, told at once without reading it.
TEST_P(PictureReaders, TakeOnlyBoundedRegularFiles)
{
    const ReaderCase &row = GetParam();
    QTemporaryDir dir;
    const QString path = row.plant(dir.path());
    if (path.isEmpty())
        GTEST_SKIP() << "this machine cannot make it";
    EXPECT_EQ(isPictureFile(path), row.picture);
    EXPECT_EQ(bounded<bool>([&] { return computePictureSignature(path).has_value(); }), row.picture);
    EXPECT_EQ(bounded<bool>([&] { return !loadStretchedPicture(path).isNull(); }), row.picture);
    EXPECT_EQ(bounded<bool>([&] { return readPictureFacts(path).readable; }), row.picture);
    EXPECT_EQ(bounded<bool>([&] {
                  return !decodeUprightPicture(path, [](QSize) { return 1.0; }, {}).image.isNull();
              }),
              row.picture);
}

INSTANTIATE_TEST_SUITE_P(Hostile, PictureReaders, testing::ValuesIn(readerCases()),
                         [](const testing::TestParamInfo<ReaderCase> &info) {
                             std::string name;
                             for (const char *c = info.param.name; *c; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name;
                         });

} // namespace

namespace {

struct QualityCase {
    int quality; // as the picture was saved
};

using QualityEstimate = testing::TestWithParam<QualityCase>;

// The quality a picture was saved with is read back from its tables, also where the
// coarsest steps stop at the largest a baseline table holds (255).
TEST_P(QualityEstimate, ReadsTheSavedQuality)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("q.jpg"));
    QImage image(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            image.setPixel(x, y, qRgb(x * 4, y * 4, (x ^ y) * 4));
    ASSERT_TRUE(image.save(path, "JPEG", GetParam().quality));
    EXPECT_EQ(readPictureFacts(path).quality, GetParam().quality);
}

INSTANTIATE_TEST_SUITE_P(Saved, QualityEstimate,
                         testing::Values(QualityCase{3}, QualityCase{10}, QualityCase{20}, QualityCase{50},
                                         QualityCase{90}),
                         [](const testing::TestParamInfo<QualityCase> &info) {
                             return "q" + std::to_string(info.param.quality);
                         });

struct ExtensionCase {
    const char *name;
    bool jpeg;    // JPEG by its name
    bool picture; // a picture of any format an add takes, by its name
};

using PictureNames = testing::TestWithParam<ExtensionCase>;

// A name's extension is what follows its last dot, whatever dots come before.
TEST_P(PictureNames, TellTheFormatByTheLastDot)
{
    const ExtensionCase &row = GetParam();
    EXPECT_EQ(hasJpegExtension(QString::fromUtf8(row.name)), row.jpeg);
    EXPECT_EQ(hasPictureExtension(QString::fromUtf8(row.name), PictureFormats::All), row.picture);
}

INSTANTIATE_TEST_SUITE_P(Names, PictureNames,
                         testing::Values(ExtensionCase{"holiday.2024.png", false, true},
                                         ExtensionCase{"holiday.2024.JPG", true, true},
                                         ExtensionCase{"holiday.png.2024", false, false},
                                         ExtensionCase{"holiday.jpg.txt", false, false},
                                         ExtensionCase{"/photos.2024/holiday", false, false},
                                         ExtensionCase{"a.b.c.heic", false, true}),
                         [](const testing::TestParamInfo<ExtensionCase> &info) {
                             std::string name;
                             for (const char *c = info.param.name; *c; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name;
                         });

} // namespace
