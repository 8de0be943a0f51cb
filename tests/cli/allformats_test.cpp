#include "clitestsupport.h"
#include "heiffiles.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// A picture file of the format its suffix names; false when this computer cannot write one.
bool writeFormat(const QString &path, const QString &suffix)
{
    QImage image(160, 96, QImage::Format_RGB32);
    image.fill(QColor(200, 90, 30));
    if (suffix == QLatin1String("heic") || suffix == QLatin1String("avif"))
        return writeHeif(path, image, suffix == QLatin1String("heic") ? heif_compression_HEVC : heif_compression_AV1)
            .isEmpty();
    return image.save(path, suffix.toLatin1().constData());
}

struct FolderCase {
    const char *row;
    bool allFormats;
    QStringList added; // file names, in the folder's order
};

class AllFormatsFolder : public ::testing::TestWithParam<FolderCase> {};

// A folder gives its JPEG files alone, and with --all-formats its HEIC, PNG, WebP and TIFF files too, never a BMP.
TEST_P(AllFormatsFolder, TakesTheFormatsOfTheOption)
{
    const FolderCase &c = GetParam();
    QTemporaryDir dir;
    for (const char *name : {"a.jpg", "b.HEIC", "c.png", "d.webp", "e.tif", "f.bmp"}) {
        const QString file = QLatin1String(name);
        ASSERT_TRUE(writeFormat(dir.filePath(file), file.section(QLatin1Char('.'), 1).toLower())) << name;
    }
    QStringList arguments{QStringLiteral("add"), dir.filePath(QStringLiteral("c.sbx")), dir.path()};
    if (c.allFormats)
        arguments.insert(1, QStringLiteral("--all-formats"));
    const CliRun run = runCli(arguments);
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    QStringList expected;
    for (const QString &name : c.added)
        expected << dir.filePath(name);
    EXPECT_EQ(listedPaths(dir.filePath(QStringLiteral("c.sbx"))), expected) << c.row;
}

INSTANTIATE_TEST_SUITE_P(Option, AllFormatsFolder,
                         ::testing::Values(FolderCase{"off", false, {"a.jpg"}},
                                           FolderCase{"on", true, {"a.jpg", "b.HEIC", "c.png", "d.webp", "e.tif"}}));

class DamagedFormat : public ::testing::TestWithParam<const char *> {};

// A cut-off file of each format is named and counted among the pictures that could not be read; the JPEG beside it is added.
TEST_P(DamagedFormat, IsCountedAsNotAdded)
{
    const QString suffix = QLatin1String(GetParam());
    QTemporaryDir dir;
    writePicture(dir.filePath(QStringLiteral("good.jpg")), Qt::blue);
    const QString damaged = dir.filePath(QStringLiteral("cut.") + suffix);
    QByteArray bytes;
    const bool written = writeFormat(damaged, suffix);
    ASSERT_TRUE(written || suffix == QLatin1String("avif")) << GetParam();
    if (written) {
        QFile whole(damaged);
        ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
        bytes = whole.readAll().left(whole.size() / 2);
    } else {
        // What a download cut short after its first box leaves (AVIF: no encoder here).
        bytes = QByteArray::fromHex("0000001c667479706176696600000000617669666d6966316d696166");
    }
    QFile file(damaged);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
    file.close();
    const CliRun run = runCli({QStringLiteral("add"), QStringLiteral("--all-formats"),
                               dir.filePath(QStringLiteral("c.sbx")), dir.path()});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(damaged + QStringLiteral(": cannot read picture"))) << run.err.toStdString();
    EXPECT_TRUE(run.err.endsWith(QStringLiteral("1 added, 0 already listed, 1 could not be read as pictures; 1 in the catalogue\n")))
        << run.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Formats, DamagedFormat, ::testing::Values("heic", "avif", "png", "webp", "tiff"));

} // namespace
