#include "clitestsupport.h"

#include "catalogue/catalogue.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

class AddCommand : public ::testing::Test
{
protected:
    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    QString catalogue() const { return path(QStringLiteral("c.sbx")); }
    void mkdir(const QString &relative) { ASSERT_TRUE(QDir(m_dir.path()).mkpath(relative)); }

    QTemporaryDir m_dir;
};

// A folder is searched as the window's folder add does: .jpg/.jpeg in any case, names
// ignoring letter case, a folder's files before its sub-folders, hidden entries and links
// to folders skipped; other files are left out.
TEST_F(AddCommand, ScansFoldersAsTheWindowDoes)
{
    mkdir(QStringLiteral("root/0first/deeper"));
    mkdir(QStringLiteral("root/Sub"));
    mkdir(QStringLiteral("root/sub"));
    mkdir(QStringLiteral("root/.cache"));
    for (const char *name : {"root/b.jpg", "root/a.JPG", "root/C.jpeg", "root/d.Jpeg", "root/0first/x.jpg",
                             "root/0first/deeper/w.jpg", "root/Sub/y.jpg", "root/sub/z.jpg", "root/.hidden.jpg",
                             "root/.cache/t.jpg"})
        writePicture(path(QLatin1String(name)), Qt::red);
    for (const char *name : {"root/e.png", "root/f.jpe", "root/g.jfif", "root/jpg"})
        writePicture(path(QLatin1String(name)), Qt::green);
    ASSERT_TRUE(QFile::link(path(QStringLiteral("root/sub")), path(QStringLiteral("root/linked"))));

    const CliRun run = runCli({QStringLiteral("add"), catalogue(), path(QStringLiteral("root"))});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    QStringList expected;
    for (const char *name : {"root/a.JPG", "root/b.jpg", "root/C.jpeg", "root/d.Jpeg", "root/0first/x.jpg",
                             "root/0first/deeper/w.jpg", "root/Sub/y.jpg", "root/sub/z.jpg"})
        expected << path(QLatin1String(name));
    EXPECT_EQ(listedPaths(catalogue()), expected);
    EXPECT_EQ(run.err.toStdString(), "8 added, 0 already listed, 0 could not be read as pictures; 8 in the catalogue\n");
}

// A JPEG whose path is not UTF-8 is named on its own line, bytes as \xNN, and counted as not added.
TEST_F(AddCommand, NamesThatAreNotUtf8AreReportedAndCounted)
{
    mkdir(QStringLiteral("pics"));
    const QStringList pictures = writePictures(path(QStringLiteral("pics")), 1);
    const QByteArray folder = QFile::encodeName(path(QStringLiteral("pics")));
    const QByteArray names[] = {"caf\xE9.jpg", "\x8E\xCA\x90^.JPG", "\xFF.txt"};
    for (const QByteArray &name : names)
        ASSERT_EQ(::link(QFile::encodeName(pictures[0]).constData(), (folder + '/' + name).constData()), 0);
    // The temporary folder cannot remove names Qt cannot spell.
    const auto unlinkNames = qScopeGuard([&] {
        for (const QByteArray &name : names)
            ::unlink((folder + '/' + name).constData());
    });
    const CliRun run = runCli({QStringLiteral("add"), catalogue(), path(QStringLiteral("pics"))});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err.toStdString(),
              QStringLiteral("lumo-cli: %1/caf\\xE9.jpg: file name is not UTF-8\n"
                             "lumo-cli: %1/\\x8E\u0290^.JPG: file name is not UTF-8\n"
                             "1 added, 0 already listed, 0 could not be read as pictures, 2 with file names that are "
                             "not UTF-8; 1 in the catalogue\n")
                  .arg(path(QStringLiteral("pics")))
                  .toStdString());
    EXPECT_EQ(listedPaths(catalogue()), pictures);
}

// A file named on the command line is offered to the store whatever its extension.
TEST_F(AddCommand, NamedFilesIgnoreTheExtension)
{
    writePicture(path(QStringLiteral("picture.png")), Qt::blue);
    writePicture(path(QStringLiteral("noextension")), Qt::yellow);
    const CliRun run = runCli({QStringLiteral("add"), catalogue(), path(QStringLiteral("picture.png")),
                               path(QStringLiteral("noextension"))});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(listedPaths(catalogue()),
              (QStringList{path(QStringLiteral("picture.png")), path(QStringLiteral("noextension"))}));
}

// Paths already in the catalogue, or named twice, are counted as already listed and not added again.
TEST_F(AddCommand, SkipsPathsAlreadyListed)
{
    mkdir(QStringLiteral("pics"));
    const QStringList pictures = writePictures(path(QStringLiteral("pics")), 3);
    CliRun run = runCli({QStringLiteral("add"), catalogue(), pictures[1], pictures[1]});
    EXPECT_EQ(run.err.toStdString(), "1 added, 1 already listed, 0 could not be read as pictures; 1 in the catalogue\n");

    run = runCli({QStringLiteral("add"), catalogue(), path(QStringLiteral("pics"))});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err.toStdString(), "2 added, 1 already listed, 0 could not be read as pictures; 3 in the catalogue\n");
    EXPECT_EQ(listedPaths(catalogue()), (QStringList{pictures[1], pictures[0], pictures[2]}));
}

// A file that is not a picture is reported on its own line and counted; the others are added.
TEST_F(AddCommand, ReportsUnreadablePicturesAndGoesOn)
{
    mkdir(QStringLiteral("pics"));
    const QStringList pictures = writePictures(path(QStringLiteral("pics")), 2);
    writeText(path(QStringLiteral("pics/broken.jpg")), "not a picture");
    const CliRun run = runCli({QStringLiteral("add"), catalogue(), path(QStringLiteral("pics"))});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err.toStdString(),
              QStringLiteral("lumo-cli: %1: cannot read picture\n"
                             "2 added, 0 already listed, 1 could not be read as pictures; 2 in the catalogue\n")
                  .arg(path(QStringLiteral("pics/broken.jpg")))
                  .toStdString());
    EXPECT_EQ(listedPaths(catalogue()), pictures);
}

// One thread and four threads write byte-for-byte the same catalogue.
TEST_F(AddCommand, ThreadCountDoesNotChangeTheCatalogue)
{
    mkdir(QStringLiteral("pics/more"));
    writePictures(path(QStringLiteral("pics")), 24);
    writePictures(path(QStringLiteral("pics/more")), 9);
    writeText(path(QStringLiteral("pics/broken.jpg")), "not a picture");
    const QString one = path(QStringLiteral("one.sbx"));
    const QString four = path(QStringLiteral("four.sbx"));
    EXPECT_EQ(runCli({QStringLiteral("add"), QStringLiteral("-j"), QStringLiteral("1"), one,
                      path(QStringLiteral("pics"))}).status, 0);
    EXPECT_EQ(runCli({QStringLiteral("add"), QStringLiteral("-j"), QStringLiteral("4"), four,
                      path(QStringLiteral("pics"))}).status, 0);
    const QByteArray bytes = readBytes(one);
    EXPECT_GT(bytes.size(), 33 * 384);
    EXPECT_EQ(bytes, readBytes(four));
}

// A missing path stops the add before anything is written; the catalogue keeps its bytes.
TEST_F(AddCommand, MissingPathLeavesTheCatalogueAsItWas)
{
    mkdir(QStringLiteral("pics"));
    const QStringList pictures = writePictures(path(QStringLiteral("pics")), 2);
    ASSERT_EQ(runCli({QStringLiteral("add"), catalogue(), pictures[0]}).status, 0);
    const QByteArray before = readBytes(catalogue());

    const QString missing = path(QStringLiteral("nowhere"));
    const CliRun run = runCli({QStringLiteral("add"), catalogue(), pictures[1], missing});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.toStdString(), QStringLiteral("lumo-cli: %1: no such file\n").arg(missing).toStdString());
    EXPECT_EQ(readBytes(catalogue()), before);
}

// A damaged catalogue is refused and left untouched rather than overwritten.
TEST_F(AddCommand, RefusesADamagedCatalogue)
{
    writePictures(path(QStringLiteral(".")), 1);
    writeText(catalogue(), QByteArray("\x05\x00", 2) + QByteArray(300, 'x'));
    const QByteArray before = readBytes(catalogue());
    const CliRun run = runCli({QStringLiteral("add"), catalogue(), path(QStringLiteral("pic_00.jpg"))});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.toStdString(), QStringLiteral("lumo-cli: %1: not a catalogue file\n").arg(catalogue()).toStdString());
    EXPECT_EQ(readBytes(catalogue()), before);
}

// At 32,767 entries the add stops with a message; the pictures added before are saved.
TEST_F(AddCommand, StopsWhenTheCatalogueIsFull)
{
    SignatureTable table;
    for (int i = 0; i < SignatureTable::MaxEntries - 1; ++i)
        table.append(QStringLiteral("/old/%1.jpg").arg(i), greySignature());
    ASSERT_FALSE(saveCatalogue(catalogue(), table).failed());
    mkdir(QStringLiteral("pics"));
    const QStringList pictures = writePictures(path(QStringLiteral("pics")), 3);

    const CliRun run = runCli({QStringLiteral("add"), catalogue(), path(QStringLiteral("pics"))});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.endsWith(QStringLiteral("lumo-cli: %1: catalogue is full (32767 entries); 2 pictures not added\n")
                                     .arg(catalogue())))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("1 added, 0 already listed, 0 could not be read as pictures; 32767 in the catalogue")));
    const QStringList listed = listedPaths(catalogue());
    ASSERT_EQ(listed.size(), SignatureTable::MaxEntries);
    EXPECT_EQ(listed.last(), pictures[0]);
}

} // namespace
