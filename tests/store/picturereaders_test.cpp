#include "files/regularfile.h"
#include "pictures/picturefacts.h"
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
