#include "clitestsupport.h"

#include "catalogue/catalogue.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <unistd.h>

namespace {

// list prints the index, a tab and the path of every entry, and nothing for the spare slot.
TEST(ListCommand, PrintsIndexTabPath)
{
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(QStringLiteral("c.sbx"));
    SignatureTable table;
    for (const char *name : {"/a/one.jpg", "/a/two.jpg", "/b/three.jpg"})
        table.append(QString::fromUtf8(name), greySignature());
    table.remove(1); // leaves a stale spare slot behind
    ASSERT_FALSE(saveCatalogue(catalogue, table).failed());
    const CliRun run = runCli({QStringLiteral("list"), catalogue});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.toStdString(), "0\t/a/one.jpg\n1\t/b/three.jpg\n");
}

// With -0 / --null each path ends with a NUL and each group with one more, so paths with
// line breaks survive; without it the output stays line by line.
TEST(NullSeparated, PathsWithLineBreaksSurvive)
{
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(QStringLiteral("c.sbx"));
    SignatureTable table;
    for (const char *name : {"/p/a\nb.jpg", "/p/c.jpg"})
        table.append(QString::fromUtf8(name), greySignature());
    table.append(QStringLiteral("/p/d.jpg"), whitePatch(0, 11));
    ASSERT_FALSE(saveCatalogue(catalogue, table).failed());
    const QString nul(QChar(0));
    EXPECT_EQ(runCli({QStringLiteral("list"), QStringLiteral("-0"), catalogue}).out,
              "/p/a\nb.jpg" + nul + "/p/c.jpg" + nul + "/p/d.jpg" + nul);
    EXPECT_EQ(runCli({QStringLiteral("similar"), QStringLiteral("--null"), catalogue}).out,
              "/p/c.jpg" + nul + "/p/a\nb.jpg" + nul + nul);
    EXPECT_EQ(runCli({QStringLiteral("similar"), catalogue}).out, QStringLiteral("/p/c.jpg\n/p/a\nb.jpg\n"));
    EXPECT_EQ(runCli({QStringLiteral("similar"), QStringLiteral("-0"), QStringLiteral("--json"), catalogue}).status, 2);
}

// optimize drops the entries whose file is gone from a folder that is there, keeps those
// whose folder is missing altogether (a disk not mounted), and keeps the order.
TEST(OptimizeCommand, RemovesEntriesWithoutFiles)
{
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(QStringLiteral("c.sbx"));
    QStringList pictures = writePictures(dir.path(), 5);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("disk")));
    pictures += writePictures(dir.filePath(QStringLiteral("disk")), 1);
    ASSERT_EQ(runCli({QStringLiteral("add"), catalogue, dir.path()}).status, 0);
    SignatureTable before;
    ASSERT_FALSE(loadCatalogue(catalogue, before).damaged());
    ASSERT_TRUE(QFile::remove(pictures[1]));
    ASSERT_TRUE(QFile::remove(pictures[3]));
    ASSERT_TRUE(QDir().mkdir(pictures[3])); // a folder in its place is no picture either
    ASSERT_TRUE(QDir(dir.path()).rename(QStringLiteral("disk"), QStringLiteral("away")));

    const CliRun run = runCli({QStringLiteral("optimize"), catalogue});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.toStdString(), "2 removed, 4 left\n");
    SignatureTable after;
    ASSERT_FALSE(loadCatalogue(catalogue, after).damaged());
    ASSERT_EQ(after.count(), 4);
    const int kept[] = {0, 2, 4, 5};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(after.name(i), pictures[kept[i]]);
        EXPECT_EQ(after.cells(i), before.cells(kept[i])) << "signatures are kept, not recomputed";
    }

    EXPECT_EQ(runCli({QStringLiteral("optimize"), catalogue}).out.toStdString(), "0 removed, 4 left\n");
}

// signature prints 8 rows of 8 R,G,B cells from the top; check prints 0 for one picture twice.
TEST(PictureCommands, SignatureRowsAndCheckValue)
{
    QTemporaryDir dir;
    const QString picture = dir.filePath(QStringLiteral("halves.jpg"));
    writePicture(picture, QColor(250, 10, 10), QColor(10, 10, 250));
    const CliRun run = runCli({QStringLiteral("signature"), picture});
    ASSERT_EQ(run.status, 0);
    const QStringList rows = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 8) << run.out.toStdString();
    const QRegularExpression cellPattern(QStringLiteral("^(\\d+),(\\d+),(\\d+)$"));
    for (int y = 0; y < 8; ++y) {
        const QStringList cells = rows[y].split(QLatin1Char(' '));
        ASSERT_EQ(cells.size(), 8) << rows[y].toStdString();
        for (const QString &cell : cells) {
            const QRegularExpressionMatch match = cellPattern.match(cell);
            ASSERT_TRUE(match.hasMatch()) << cell.toStdString();
            const int red = match.captured(1).toInt();
            const int blue = match.captured(3).toInt();
            EXPECT_EQ(red > blue, y < 4) << "row " << y << ": " << cell.toStdString();
        }
    }

    const CliRun check = runCli({QStringLiteral("check"), picture, picture});
    EXPECT_EQ(check.status, 0);
    EXPECT_EQ(check.out.toStdString(), "0\n");
}

// check gives a large value for pictures alike in one half and far apart in the other.
TEST(PictureCommands, CheckValueOfDifferentPictures)
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first.jpg"));
    const QString second = dir.filePath(QStringLiteral("second.jpg"));
    writePicture(first, QColor(250, 10, 10), QColor(10, 10, 250));
    writePicture(second, QColor(250, 10, 10));
    const CliRun run = runCli({QStringLiteral("check"), first, second});
    EXPECT_EQ(run.status, 0);
    EXPECT_GT(run.out.trimmed().toInt(), 400) << run.out.toStdString();
}

struct FailureCase {
    const char *name;
    QStringList arguments; // "@" stands for the temporary folder
    int status;
    const char *message;   // "@" stands for the temporary folder
};

std::ostream &operator<<(std::ostream &os, const FailureCase &c) { return os << c.name; }

class CommandFailure : public ::testing::TestWithParam<FailureCase>
{
};

// Each failure exits with 1 (runtime) or 2 (usage) and prints one line naming the file and why.
TEST_P(CommandFailure, ExitsWithOneLine)
{
    const FailureCase &c = GetParam();
    QTemporaryDir dir;
    writeText(dir.filePath(QStringLiteral("damaged.sbx")), QByteArray("\x03\x00", 2) + QByteArray(100, '\0'));
    writeText(dir.filePath(QStringLiteral("tiny.sbx")), "x");
    // Whole, but a cell of 300: no catalogue holds that.
    writeText(dir.filePath(QStringLiteral("cells.sbx")),
              QByteArray("\x01\x00\x2c\x01", 4) + QByteArray(382, '\0') + QByteArray("\x00\x00", 2));
    writeText(dir.filePath(QStringLiteral("text.jpg")), "not a picture");
    writePicture(dir.filePath(QStringLiteral("good.jpg")), Qt::gray);
    writeTestCatalogue(dir.filePath(QStringLiteral("good.sbx")), {greySignature()});
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo.sbx"))).constData(), 0600), 0);

    QStringList arguments;
    for (const QString &argument : c.arguments)
        arguments << QString(argument).replace(QLatin1Char('@'), dir.path());
    const CliRun run = runCli(arguments);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err.toStdString(), QString::fromUtf8(c.message).replace(QLatin1Char('@'), dir.path()).toStdString() + "\n");
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Errors, CommandFailure,
    ::testing::Values(
        FailureCase{"listMissing", {"list", "@/none.sbx"}, 1, "lumo-cli: @/none.sbx: no such file"},
        FailureCase{"similarMissing", {"similar", "@/none.sbx"}, 1, "lumo-cli: @/none.sbx: no such file"},
        FailureCase{"similarThirdMissing", {"similar", "@/good.sbx", "@/good.sbx", "@/none.sbx"}, 1,
                    "lumo-cli: @/none.sbx: no such file"},
        FailureCase{"listSecondDamaged", {"list", "@/good.sbx", "@/damaged.sbx"}, 1,
                    "lumo-cli: @/damaged.sbx: not a catalogue file"},
        FailureCase{"optimizeMissing", {"optimize", "@/none.sbx"}, 1, "lumo-cli: @/none.sbx: no such file"},
        FailureCase{"listFolder", {"list", "@"}, 1, "lumo-cli: @: is a folder"},
        FailureCase{"listFifo", {"list", "@/fifo.sbx"}, 1, "lumo-cli: @/fifo.sbx: cannot open"},
        FailureCase{"similarSecondFifo", {"similar", "@/good.sbx", "@/fifo.sbx"}, 1, "lumo-cli: @/fifo.sbx: cannot open"},
        FailureCase{"removeFromFifo", {"remove", "@/fifo.sbx", "@/good.jpg"}, 1, "lumo-cli: @/fifo.sbx: cannot open"},
        FailureCase{"listDevice", {"list", "/dev/null"}, 1, "lumo-cli: /dev/null: cannot open"},
        FailureCase{"listDamaged", {"list", "@/damaged.sbx"}, 1, "lumo-cli: @/damaged.sbx: not a catalogue file"},
        FailureCase{"similarDamaged", {"similar", "@/damaged.sbx"}, 1, "lumo-cli: @/damaged.sbx: not a catalogue file"},
        FailureCase{"optimizeDamaged", {"optimize", "@/damaged.sbx"}, 1, "lumo-cli: @/damaged.sbx: not a catalogue file"},
        FailureCase{"listTooShort", {"list", "@/tiny.sbx"}, 1, "lumo-cli: @/tiny.sbx: not a catalogue file"},
        FailureCase{"optimizeBadCells", {"optimize", "@/cells.sbx"}, 1, "lumo-cli: @/cells.sbx: not a catalogue file"},
        FailureCase{"checkUnreadable", {"check", "@/good.jpg", "@/text.jpg"}, 1, "lumo-cli: @/text.jpg: cannot read picture"},
        FailureCase{"checkMissing", {"check", "@/gone.jpg", "@/good.jpg"}, 1, "lumo-cli: @/gone.jpg: no such file"},
        FailureCase{"signatureUnreadable", {"signature", "@/text.jpg"}, 1, "lumo-cli: @/text.jpg: cannot read picture"},
        FailureCase{"signatureFolder", {"signature", "@"}, 1, "lumo-cli: @: is a folder"},
        FailureCase{"addIntoFolder", {"add", "@", "@/good.jpg"}, 1, "lumo-cli: @: is a folder"},
        FailureCase{"addToMissingFolder", {"add", "@/no/c.sbx", "@/good.jpg"}, 1, "lumo-cli: @/no/c.sbx: no such folder"},
        FailureCase{"levelTooHigh", {"similar", "--level", "51", "@/good.sbx"}, 2,
                    "lumo-cli: --level: must be a whole number from 0 to 50, not '51'"},
        FailureCase{"levelNegative", {"similar", "--level=-1", "@/good.sbx"}, 2,
                    "lumo-cli: --level: must be a whole number from 0 to 50, not '-1'"},
        FailureCase{"levelNotANumber", {"similar", "--level", "high", "@/good.sbx"}, 2,
                    "lumo-cli: --level: must be a whole number from 0 to 50, not 'high'"},
        FailureCase{"zeroJobs", {"add", "-j", "0", "@/c.sbx", "@/good.jpg"}, 2,
                    "lumo-cli: --jobs: must be a whole number from 1 to 1024, not '0'"},
        FailureCase{"missingArgument", {"check", "@/good.jpg"}, 2,
                    "lumo-cli: check: missing arguments; Usage: lumo-cli check FILE_A FILE_B"},
        FailureCase{"extraArgument", {"optimize", "@/good.sbx", "@/good.sbx"}, 2,
                    "lumo-cli: optimize: too many arguments; Usage: lumo-cli optimize CATALOGUE"},
        FailureCase{"unknownCommand", {"group", "@/good.sbx"}, 2, "lumo-cli: group: unknown command; try 'lumo-cli --help'"},
        FailureCase{"noCommand", {}, 2, "lumo-cli: usage: no command given; try 'lumo-cli --help'"},
        FailureCase{"unknownKeepRule", {"similar", "--keep", "pixels,largest", "@/good.sbx"}, 2,
                    "lumo-cli: --keep: unknown rule 'largest'; the rules are pixels, size, newest, oldest and base"},
        FailureCase{"protectWithoutKeep", {"similar", "--protect", "@", "@/good.sbx"}, 2,
                    "lumo-cli: --protect: only goes with --keep"},
        FailureCase{"protectMissingFolder", {"similar", "--keep", "size", "--protect", "@/kept", "@/good.sbx"}, 2,
                    "lumo-cli: --protect: '@/kept' is not an existing folder"},
        FailureCase{"protectFile", {"similar", "--keep", "size", "--protect", "@/good.jpg", "@/good.sbx"}, 2,
                    "lumo-cli: --protect: '@/good.jpg' is not an existing folder"},
        FailureCase{"removeNothingNamed", {"remove", "@/good.sbx"}, 2,
                    "lumo-cli: remove: missing arguments; Usage: lumo-cli remove [--trash] [-0] CATALOGUE... PATH..."},
        FailureCase{"removeMissing", {"remove", "@/none.sbx", "@/good.jpg"}, 1, "lumo-cli: @/none.sbx: no such file"}),
    [](const ::testing::TestParamInfo<FailureCase> &info) { return std::string(info.param.name); });

// A catalogue the user may not read is reported as such (not testable as root, who reads all).
TEST(CommandFailureAsUser, UnreadableCatalogueIsPermissionDenied)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(QStringLiteral("c.sbx"));
    writeTestCatalogue(catalogue, {greySignature()});
    ASSERT_TRUE(QFile::setPermissions(catalogue, QFileDevice::WriteOwner));
    const CliRun run = runCli({QStringLiteral("list"), catalogue});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.toStdString(), QStringLiteral("lumo-cli: %1: permission denied\n").arg(catalogue).toStdString());
}

// Every command answers --help on stdout with its usage line and exits 0.
TEST(Help, EveryCommandHasHelp)
{
    for (const char *command : {"add", "list", "similar", "remove", "optimize", "check", "signature"}) {
        const CliRun run = runCli({QLatin1String(command), QStringLiteral("--help")});
        EXPECT_EQ(run.status, 0) << command;
        EXPECT_TRUE(run.out.startsWith(QStringLiteral("Usage: lumo-cli %1").arg(QLatin1String(command))))
            << run.out.toStdString();
        EXPECT_TRUE(run.err.isEmpty());
    }
    const CliRun general = runCli({QStringLiteral("--help")});
    EXPECT_EQ(general.status, 0);
    EXPECT_TRUE(general.out.contains(QStringLiteral("  similar CATALOGUE")));
}

} // namespace
