// lumo-cli where a user could lose data: catalogues that cannot be written, damaged and
// mislabelled pictures, awkward file names, and the catalogue's size limit.

#include "clitestsupport.h"
#include "faults.h"

#include "catalogue/catalogue.h"
#include <catalogueio.h>

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include <unistd.h>

namespace {

// lumo-cli run as the unprivileged user: its own process, which gives up root's rights
// before it starts. (Forking this test, whose thread pools are running, could deadlock.)
CliRun runCliUnprivileged(const QStringList &arguments)
{
    return runCliProcess(arguments, QString(), [] {
        if (::geteuid() == 0 && !faults::dropToUnprivilegedUser())
            ::_exit(98);
    });
}

struct WriteFailure {
    const char *name;
    const char *command;
    bool diskFull; // else: the catalogue's folder may not be written
    const char *reason;
};

std::ostream &operator<<(std::ostream &os, const WriteFailure &c) { return os << c.name; }

class CatalogueNotWritten : public ::testing::TestWithParam<WriteFailure>
{
};

// A catalogue that cannot be written (a full disk, a folder the user may not write) fails
// the command with exit status 1 and one line naming it; the old file keeps its bytes and
// no temporary file is left beside it.
TEST_P(CatalogueNotWritten, ExitsOneAndKeepsTheOldFile)
{
    const WriteFailure &c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("pics")));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("cat")));
    const QStringList pictures = writePictures(dir.filePath(QStringLiteral("pics")), 3);
    const QString catalogue = dir.filePath(QStringLiteral("cat/c.sbx"));
    ASSERT_EQ(runCli({QStringLiteral("add"), catalogue, pictures[0], pictures[1]}).status, 0);
    ASSERT_TRUE(QFile::remove(pictures[1])); // for optimize to drop
    const QByteArray before = readBytes(catalogue);
    const QStringList arguments = QLatin1String(c.command) == QLatin1String("add")
        ? QStringList{QStringLiteral("add"), catalogue, pictures[2]}
        : QStringList{QStringLiteral("optimize"), catalogue};

    CliRun run;
    if (c.diskFull) {
        run = runCliProcess(arguments, QString(), [] { faults::FileSizeLimit::applyInChild(0); });
    } else {
        // Everybody may read the pictures and the catalogue; nobody but root may write its folder.
        ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                          | QFile::ReadOther | QFile::ExeOther));
        ASSERT_TRUE(QFile::setPermissions(dir.filePath(QStringLiteral("cat")),
                                          QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
        run = runCliUnprivileged(arguments);
        QFile::setPermissions(dir.filePath(QStringLiteral("cat")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, QStringLiteral("lumo-cli: %1: %2\n").arg(catalogue, QLatin1String(c.reason)));
    EXPECT_EQ(readBytes(catalogue), before);
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("cat"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("c.sbx")});
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CatalogueNotWritten,
    ::testing::Values(WriteFailure{"addDiskFull", "add", true, "cannot write catalogue"},
                      WriteFailure{"optimizeDiskFull", "optimize", true, "cannot write catalogue"},
                      WriteFailure{"addFolderNotWritable", "add", false, "permission denied"},
                      WriteFailure{"optimizeFolderNotWritable", "optimize", false, "permission denied"}),
    [](const ::testing::TestParamInfo<WriteFailure> &info) { return std::string(info.param.name); });

// The bytes of the JPEG cut half way through its (last) scan.
QByteArray cutInScan(const QByteArray &jpeg)
{
    const qsizetype scan = jpeg.lastIndexOf(QByteArray("\xFF\xDA", 2));
    return jpeg.left((scan + jpeg.size()) / 2);
}

struct DamagedPicture {
    const char *name;
    QByteArray (*content)(const QByteArray &jpeg); // made from a whole JPEG
    bool catalogued;
};

std::ostream &operator<<(std::ostream &os, const DamagedPicture &c) { return os << c.name; }

class DamagedPictureAdded : public ::testing::TestWithParam<DamagedPicture>
{
};

// A damaged or mislabelled picture, named or found in a folder, is catalogued exactly when
// it decodes (a JPEG cut in its scan decodes, its missing part grey; a PNG under a .jpg
// name decodes as the PNG it is); otherwise it is reported on one line and the add goes on.
TEST_P(DamagedPictureAdded, CataloguedWhenItDecodes)
{
    const DamagedPicture &c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("pics")));
    const QStringList good = writePictures(dir.filePath(QStringLiteral("pics")), 2);
    const QString damaged = dir.filePath(QStringLiteral("pics/pic_00_damaged.jpg"));
    writeText(damaged, c.content(readBytes(good[0])));
    const QString unreadable = QStringLiteral("lumo-cli: %1: cannot read picture\n").arg(damaged);
    const QString summary = QStringLiteral("%1 added, 0 already listed, %2 could not be read as pictures; %1 in the catalogue\n");

    for (const bool named : {false, true}) {
        const QString catalogue = dir.filePath(named ? QStringLiteral("named.sbx") : QStringLiteral("folder.sbx"));
        const CliRun run = named ? runCli({QStringLiteral("add"), catalogue, good[0], damaged, good[1]})
                                 : runCli({QStringLiteral("add"), catalogue, dir.filePath(QStringLiteral("pics"))});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, (c.catalogued ? QString() : unreadable) + summary.arg(c.catalogued ? 3 : 2).arg(c.catalogued ? 0 : 1));
        const QStringList listed = c.catalogued ? QStringList{good[0], damaged, good[1]} : QStringList{good[0], good[1]};
        EXPECT_EQ(listedPaths(catalogue), listed);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DamagedPictureAdded,
    ::testing::Values(DamagedPicture{"empty", [](const QByteArray &) { return QByteArray(); }, false},
                      DamagedPicture{"cutInTheScan", cutInScan, true},
                      DamagedPicture{"cutInTheHeaders", [](const QByteArray &jpeg) { return jpeg.left(100); }, false},
                      DamagedPicture{"text", [](const QByteArray &) { return QByteArray("not a picture\n"); }, false},
                      DamagedPicture{"png", [](const QByteArray &jpeg) {
                          QByteArray png;
                          QBuffer buffer(&png);
                          buffer.open(QIODevice::WriteOnly);
                          QImage::fromData(jpeg).save(&buffer, "PNG");
                          return png;
                      }, true}),
    [](const ::testing::TestParamInfo<DamagedPicture> &info) { return std::string(info.param.name); });

// File names with spaces, quotes, Japanese characters, line breaks, tabs, backslashes and
// a leading dash, in a catalogue with such a name, go through add (folder and named), list
// -0, similar -0 and optimize exactly as they are spelled.
TEST(AwkwardNames, KeptExactlyThroughEveryCommand)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("my \"pictures\" 写真"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QStringList names{QStringLiteral("-dash.jpg"), QStringLiteral("a b.jpg"), QStringLiteral("back\\slash.jpg"),
                            QStringLiteral("it's.jpg"), QStringLiteral("line\nbreak.jpg"), QStringLiteral("quote\"d.jpg"),
                            QStringLiteral("tab\tname.jpg"), QStringLiteral("写真 猫.jpg")};
    QStringList paths;
    for (const QString &name : names) {
        paths << folder + QLatin1Char('/') + name;
        writePicture(paths.last(), Qt::darkCyan); // all alike: one group
    }
    const QString catalogue = dir.filePath(QStringLiteral("a \"catalogue\"\n写真.sbx"));
    const QString nul(QChar(0));
    ASSERT_EQ(runCli({QStringLiteral("add"), catalogue, folder}).status, 0);
    EXPECT_EQ(listedPaths(catalogue), paths);
    EXPECT_EQ(runCli({QStringLiteral("list"), QStringLiteral("-0"), catalogue}).out, paths.join(nul) + nul);
    EXPECT_EQ(runCli({QStringLiteral("similar"), QStringLiteral("-0"), catalogue}).out,
              QStringList(paths.mid(1)).join(nul) + nul + paths[0] + nul + nul);

    const QString other = dir.filePath(QStringLiteral("named.sbx"));
    ASSERT_EQ(runCli({QStringLiteral("add"), other, QStringLiteral("--"), paths[4], paths[0]}).status, 0);
    EXPECT_EQ(listedPaths(other), (QStringList{paths[4], paths[0]}));

    ASSERT_TRUE(QFile::remove(paths[4]));
    const CliRun optimize = runCli({QStringLiteral("optimize"), catalogue});
    EXPECT_EQ(optimize.status, 0);
    EXPECT_EQ(optimize.out.toStdString(), "1 removed, 7 left\n");
    paths.removeAt(4);
    EXPECT_EQ(listedPaths(catalogue), paths);
}

// A JPEG whose name is not UTF-8 is never catalogued in the name of its look-alike (the
// same name with the undecodable byte as U+FFFD, a valid name of another file), and the
// look-alike keeps its own signature through add and optimize.
TEST(AwkwardNames, NameThatIsNotUtf8NeverStandsForAnother)
{
    QTemporaryDir dir;
    const QString lookAlike = dir.filePath(QStringLiteral("caf\uFFFD.jpg"));
    writePicture(lookAlike, Qt::red);
    writePicture(dir.filePath(QStringLiteral("blue.tmp")), Qt::blue);
    const std::optional<Signature> blue = signatureOfFile(dir.filePath(QStringLiteral("blue.tmp")));
    const QByteArray undecodable = QFile::encodeName(dir.path()) + "/caf\xE9.jpg";
    ASSERT_EQ(::rename(QFile::encodeName(dir.filePath(QStringLiteral("blue.tmp"))).constData(), undecodable.constData()), 0);
    // Qt cannot remove a name it cannot decode.
    const std::unique_ptr<const char, void (*)(const char *)> removeLater(undecodable.constData(),
                                                                          [](const char *name) { ::unlink(name); });
    const QString catalogue = dir.filePath(QStringLiteral("c.sbx"));
    const CliRun run = runCli({QStringLiteral("add"), catalogue, dir.path()});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("lumo-cli: %1/caf\\xE9.jpg: file name is not UTF-8\n").arg(dir.path())))
        << run.err.toStdString();
    EXPECT_EQ(runCli({QStringLiteral("optimize"), catalogue}).out.toStdString(), "0 removed, 1 left\n");
    SignatureTable table;
    ASSERT_FALSE(loadCatalogue(catalogue, table).damaged());
    ASSERT_EQ(table.count(), 1);
    EXPECT_EQ(table.name(0), lookAlike);
    EXPECT_EQ(table.cells(0), signatureOfFile(lookAlike));
    EXPECT_NE(table.cells(0), blue);
}

// A catalogue at the limit of 32,767 entries lists, searches (its last entries grouped like
// its first), optimizes and saves; adding one more picture exits 1 with the catalogue
// unchanged, byte for byte.
TEST(LoadLimit, AFullCatalogueWorksAndTakesNoMore)
{
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(QStringLiteral("full.sbx"));
    constexpr int Full = SignatureTable::MaxEntries;
    std::vector<Signature> signatures(Full - 2, greySignature());
    signatures.push_back(whitePatch(0, 20));
    signatures.push_back(whitePatch(0, 20));
    writeTestCatalogue(catalogue, signatures);
    const CliRun list = runCli({QStringLiteral("list"), catalogue});
    EXPECT_EQ(list.status, 0);
    EXPECT_TRUE(list.out.endsWith(QStringLiteral("32766\t%1\n").arg(pictureName(Full - 1))));
    const CliRun similar = runCli({QStringLiteral("similar"), QStringLiteral("-j"), QStringLiteral("2"), catalogue});
    EXPECT_EQ(similar.status, 0);
    const QStringList lines = similar.out.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), Full + 2); // a blank line between the groups, and the last line's end
    EXPECT_EQ(lines.mid(Full - 4), (QStringList{pictureName(Full - 3), pictureName(0), QString(),
                                                 pictureName(Full - 1), pictureName(Full - 2), QString()}));
    // The pictures' folder is not there (a disk not mounted): every entry stays.
    EXPECT_EQ(runCli({QStringLiteral("optimize"), catalogue}).out.toStdString(), "0 removed, 32767 left\n");
    EXPECT_EQ(runCli({QStringLiteral("list"), catalogue}).out, list.out);
    const QByteArray before = readBytes(catalogue);

    const QString picture = dir.filePath(QStringLiteral("one.jpg"));
    writePicture(picture, Qt::red);
    const CliRun add = runCli({QStringLiteral("add"), catalogue, picture});
    EXPECT_EQ(add.status, 1);
    EXPECT_TRUE(add.err.endsWith(
        QStringLiteral("lumo-cli: %1: catalogue is full (32767 entries); 1 picture not added\n").arg(catalogue)))
        << add.err.toStdString();
    EXPECT_EQ(readBytes(catalogue), before);
}

} // namespace
