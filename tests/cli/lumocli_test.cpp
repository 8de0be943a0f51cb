#include "clitestsupport.h"

#include "catalogue/catalogue.h"
#include <catalogueio.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The built program runs without any display: it adds, lists and groups pictures, and its
// stdout holds only the results (no progress when output is redirected).
TEST(LumoCliProgram, RunsHeadless)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("pics")));
    const QStringList pictures = writePictures(dir.filePath(QStringLiteral("pics")), 3);
    QFile::copy(pictures[0], dir.filePath(QStringLiteral("pics/pic_03.jpg")));
    const QString catalogue = dir.filePath(QStringLiteral("c.sbx"));

    CliRun run = runCliProcess({QStringLiteral("add"), catalogue, dir.filePath(QStringLiteral("pics"))});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(run.err.toStdString(), "4 added, 0 already listed, 0 could not be read as pictures; 4 in the catalogue\n");

    run = runCliProcess({QStringLiteral("similar"), catalogue});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.toStdString(),
              (dir.filePath(QStringLiteral("pics/pic_03.jpg")) + QLatin1Char('\n') + pictures[0] + QLatin1Char('\n'))
                  .toStdString());
    EXPECT_TRUE(run.err.isEmpty());

    run = runCliProcess({QStringLiteral("--version")});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.startsWith(QStringLiteral("lumo-cli ")));
}

// A relative path gets the working folder in front and is stored clean, still naming the
// file the system opens: through the link, deep/lnk/../b.jpg is the b.jpg beside deep, not
// deep/b.jpg; a doubled separator is the same path, listed once.
TEST(LumoCliProgram, StoresRelativePathsAsTheSystemOpensThem)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("deep")));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("real")));
    writePicture(dir.filePath(QStringLiteral("b.jpg")), Qt::red);
    writePicture(dir.filePath(QStringLiteral("deep/b.jpg")), Qt::blue);
    ASSERT_TRUE(QFile::link(QStringLiteral("../real"), dir.filePath(QStringLiteral("deep/lnk"))));
    CliRun run = runCliProcess({QStringLiteral("add"), QStringLiteral("c.sbx"), QStringLiteral("deep/lnk/../b.jpg"),
                                QStringLiteral("deep//b.jpg"), QStringLiteral("deep/b.jpg")},
                               dir.path());
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    run = runCliProcess({QStringLiteral("list"), QStringLiteral("c.sbx")}, dir.path());
    EXPECT_EQ(run.out, QStringLiteral("0\t%1/b.jpg\n1\t%1/deep/b.jpg\n").arg(QFileInfo(dir.path()).canonicalFilePath()));
    SignatureTable table;
    ASSERT_FALSE(loadCatalogue(dir.filePath(QStringLiteral("c.sbx")), table).damaged());
    EXPECT_EQ(table.cells(0), signatureOfFile(dir.filePath(QStringLiteral("b.jpg"))));
    EXPECT_EQ(table.cells(1), signatureOfFile(dir.filePath(QStringLiteral("deep/b.jpg"))));
}

// Qt's own notes about broken pictures stay off stderr: each failure is one line naming its file.
TEST(LumoCliProgram, OnlyItsOwnLinesOnStderr)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("pics")));
    const QStringList pictures = writePictures(dir.filePath(QStringLiteral("pics")), 1);
    const QByteArray whole = readBytes(pictures[0]);
    writeText(dir.filePath(QStringLiteral("pics/cut.jpg")), whole.left(whole.size() / 2));
    writeText(dir.filePath(QStringLiteral("pics/broken.jpg")), QByteArray("\xff\xd8\xff\xe0", 4) + QByteArray(200, 'x'));
    const CliRun run = runCliProcess({QStringLiteral("add"), QStringLiteral("-j"), QStringLiteral("3"),
                                      dir.filePath(QStringLiteral("c.sbx")), dir.filePath(QStringLiteral("pics"))});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err.toStdString(),
              QStringLiteral("lumo-cli: %1/broken.jpg: cannot read picture\n"
                             "lumo-cli: %1/cut.jpg: cannot read picture\n"
                             "1 added, 0 already listed, 2 could not be read as pictures; 1 in the catalogue\n")
                  .arg(dir.filePath(QStringLiteral("pics")))
                  .toStdString());
}

// The process's exit status tells a usage error (2) from a failure (1).
TEST(LumoCliProgram, ExitStatusSeparatesUsageFromFailure)
{
    QTemporaryDir dir;
    writeText(dir.filePath(QStringLiteral("bad.sbx")), "xyz");
    EXPECT_EQ(runCliProcess({QStringLiteral("similar"), QStringLiteral("--level"), QStringLiteral("99"),
                             dir.filePath(QStringLiteral("bad.sbx"))}).status, 2);
    const CliRun run = runCliProcess({QStringLiteral("similar"), dir.filePath(QStringLiteral("bad.sbx"))});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.toStdString(),
              "lumo-cli: " + dir.filePath(QStringLiteral("bad.sbx")).toStdString() + ": not a catalogue file\n");
}

} // namespace
