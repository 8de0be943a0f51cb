#include "jpegcheck.h"
#include "testjpeg.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QByteArray EndMarker("\xFF\xD9", 2);

class JpegCheck : public testing::TestWithParam<bool>
{
protected:
    // Writes bytes to a file, checks it and returns what the file holds afterwards.
    QByteArray checked(const QByteArray &bytes, bool &shown)
    {
        const QString path = m_dir.filePath(QStringLiteral("p.jpg"));
        // A new file each time: rewriting a truncated one makes the file system flush it.
        QFile::remove(path);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::NewOnly) && file.write(bytes) == bytes.size());
        file.close();
        shown = CheckJpegFile(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_P(JpegCheck, APictureCutAnywhereGetsExactlyTheEndMarker)
{
    // Cut at any byte after its start marker, a picture is shown and grows by 0xFF 0xD9, once.
    const QByteArray whole = testJpeg({24, 16}, 1, GetParam());
    for (qsizetype length = 2; length < whole.size(); ++length) {
        const QByteArray cut = whole.left(length);
        bool shown = false;
        ASSERT_EQ(checked(cut, shown), cut + EndMarker) << "cut after " << length << " of " << whole.size() << " bytes";
        EXPECT_TRUE(shown);
        ASSERT_EQ(checked(cut + EndMarker, shown), cut + EndMarker) << "mended twice";
    }
}

TEST_P(JpegCheck, AWholePictureIsNeverTouchedWhateverFollowsIt)
{
    // A complete picture followed by nothing, zeros, a video, a cut picture or stray markers stays byte for byte.
    const QByteArray whole = testJpeg({24, 16}, 1, GetParam());
    const QByteArray trailers[] = {
        QByteArray(), QByteArray(100, '\0'), QByteArray("\0\0\0\x18" "ftypmp42", 12), whole.left(whole.size() / 2),
        QByteArray("\xFF\xD8\xFF", 3), QByteArray("\xFF\xC0\xFF\xFF", 4),
    };
    for (const QByteArray &trailer : trailers) {
        bool shown = false;
        EXPECT_EQ(checked(whole + trailer, shown), whole + trailer) << trailer.toHex().toStdString();
        EXPECT_TRUE(shown);
    }
}

INSTANTIATE_TEST_SUITE_P(Encodings, JpegCheck, testing::Bool(),
                         [](const testing::TestParamInfo<bool> &info) { return info.param ? "progressive" : "baseline"; });
