// similar --of and --like: the look-alikes of chosen pictures, in and outside the catalogues.
#include "clitestsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString lines(const QStringList &paths)
{
    return paths.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

// p0 grey, p1 3 from it, p2 40 from it, p3 grey, p4 far from all.
QString writeChosenCatalogue(const QTemporaryDir &dir)
{
    const QString catalogue = dir.filePath(QStringLiteral("c.sbx"));
    writeTestCatalogue(catalogue, {greySignature(), checkValueAgainstGrey(3), checkValueAgainstGrey(40),
                                   greySignature(), whitePatch(0, 11)});
    return catalogue;
}

} // namespace

TEST(SimilarOf, ChosenBasesFindEarlierEntriesToo)
{
    // --of makes only the named pictures bases, in catalogue order, over every entry; a base
    // in an earlier base's group is none; a folder names the pictures under it.
    QTemporaryDir dir;
    const QString catalogue = writeChosenCatalogue(dir);
    const QString of = QStringLiteral("--of");
    EXPECT_EQ(runCli({QStringLiteral("similar"), QStringLiteral("--level"), QStringLiteral("5"), of, pictureName(3),
                      catalogue})
                  .out,
              lines({pictureName(0), pictureName(1), pictureName(3)}));
    EXPECT_EQ(runCli({QStringLiteral("similar"), QStringLiteral("--level"), QStringLiteral("50"), of, pictureName(3), of,
                      pictureName(1), catalogue})
                  .out,
              lines({pictureName(0), pictureName(2), pictureName(3), pictureName(1)}));
    EXPECT_EQ(runCli({QStringLiteral("similar"), QStringLiteral("--level"), QStringLiteral("5"), of,
                      QStringLiteral("/pictures"), catalogue})
                  .out,
              runCli({QStringLiteral("similar"), QStringLiteral("--level"), QStringLiteral("5"), catalogue}).out);
    EXPECT_EQ(runCli({QStringLiteral("similar"), QStringLiteral("--json"), QStringLiteral("--level"), QStringLiteral("5"),
                      of, pictureName(1), catalogue})
                  .out,
              QStringLiteral("[{\"base\": \"%1\", \"members\": [\"%2\", \"%3\"]}]\n")
                  .arg(pictureName(1), pictureName(0), pictureName(3)));
}

TEST(SimilarOf, BadChoicesAreRefused)
{
    // A path naming no picture fails with one line; --of and --like together are a usage error.
    QTemporaryDir dir;
    const QString catalogue = writeChosenCatalogue(dir);
    const CliRun none = runCli({QStringLiteral("similar"), QStringLiteral("--of"), QStringLiteral("/elsewhere"), catalogue});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, QString());
    EXPECT_EQ(none.err, QStringLiteral("lumo-cli: similar: --of '/elsewhere' names no picture of the catalogues\n"));
    EXPECT_EQ(runCli({QStringLiteral("similar"), QStringLiteral("--of"), pictureName(0), QStringLiteral("--like"),
                      dir.filePath(QStringLiteral("x.jpg")), catalogue})
                  .status,
              2);
}

TEST(SimilarLike, PicturesOutsideFindTheirCopiesWithoutBeingAdded)
{
    // --like compares pictures not in the catalogue with its entries: each is its group's base,
    // the catalogue stays as it was, and an unreadable picture fails with one line.
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("in")));
    const QStringList pictures = writePictures(dir.filePath(QStringLiteral("in")), 4);
    const QString catalogue = dir.filePath(QStringLiteral("c.sbx"));
    ASSERT_EQ(runCli({QStringLiteral("add"), catalogue, dir.filePath(QStringLiteral("in"))}).status, 0);
    const QString copy = dir.filePath(QStringLiteral("copy.jpg"));
    ASSERT_TRUE(QFile::copy(pictures[2], copy));
    const QString other = dir.filePath(QStringLiteral("other.jpg"));
    writePicture(other, Qt::white, Qt::black);
    const CliRun run = runCli({QStringLiteral("similar"), QStringLiteral("--like"), other, QStringLiteral("--like"), copy,
                               QStringLiteral("--json"), catalogue});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, QStringLiteral("[{\"base\": \"%1\", \"members\": [\"%2\"]}]\n").arg(copy, pictures[2]));
    EXPECT_EQ(listedPaths(catalogue), pictures);
    const CliRun bad = runCli({QStringLiteral("similar"), QStringLiteral("--like"), dir.filePath(QStringLiteral("none.jpg")),
                               catalogue});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err,
              QStringLiteral("lumo-cli: similar: cannot read the picture '%1'\n").arg(dir.filePath(QStringLiteral("none.jpg"))));
}
