#include "clitestsupport.h"
#include "picturefiles.h"

#include "catalogue/catalogue.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sys/mount.h>
#include <unistd.h>

namespace {

const QDateTime moment = QDateTime::fromSecsSinceEpoch(1700000000);

// Pictures of known pixel sizes, byte counts and times in the folder, catalogued in this
// order. Two groups at level 0: a (base), b, keep/c; and d (base), e.
struct Planted {
    const char *name;
    int width, height, bytes, minutesAgo;
    bool grey; // the first group's signature, else the second's
};
const Planted planted[] = {
    {"a.jpg", 40, 30, 4000, 60, true},  {"d.jpg", 16, 16, 4000, 90, false}, {"b.jpg", 80, 60, 3000, 30, true},
    {"keep/c.jpg", 20, 20, 5000, 1, true}, {"e.jpg", 32, 32, 3500, 10, false},
};

QString at(const QString &text, const QString &folder) { return QString(text).replace(QLatin1Char('@'), folder); }

void plant(const QString &folder, const QString &catalogue, int copiesOfLast = 1)
{
    SignatureTable table;
    for (const Planted &p : planted) {
        const QString path = folder + QLatin1Char('/') + QLatin1String(p.name);
        ASSERT_TRUE(writeSizedPicture(path, QSize(p.width, p.height), p.bytes, moment.addSecs(-60 * p.minutesAgo)));
        table.append(path, p.grey ? greySignature() : whitePatch(0, 11));
    }
    for (int copy = 1; copy < copiesOfLast; ++copy)
        table.append(table.name(table.count() - 1), whitePatch(0, 11));
    ASSERT_FALSE(saveCatalogue(catalogue, table).failed());
}

struct PlanCase {
    const char *name;
    std::vector<const char *> options; // before the catalogue
    const char *out;                   // '@' the folder, '|' a NUL
};

void PrintTo(const PlanCase &c, std::ostream *os) { *os << c.name; }

class KeepPlan : public ::testing::TestWithParam<PlanCase>
{
};

// similar --keep prints what the rules drop (lines, NUL-ended, or beside each group in
// JSON with the pictures' facts) and changes nothing on disk.
TEST_P(KeepPlan, PrintsThePicturesToDrop)
{
    const PlanCase &c = GetParam();
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(QStringLiteral("c.sbx"));
    plant(dir.path(), catalogue);
    const QByteArray before = readBytes(catalogue);

    QStringList arguments{QStringLiteral("similar")};
    for (const char *option : c.options)
        arguments << at(QString::fromUtf8(option), dir.path());
    const CliRun run = runCli(arguments << catalogue);

    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, at(QString::fromUtf8(c.out), dir.path()).replace(QLatin1Char('|'), QChar(0)));
    EXPECT_EQ(readBytes(catalogue), before);
    for (const Planted &p : planted)
        EXPECT_TRUE(QFileInfo::exists(dir.filePath(QLatin1String(p.name)))) << p.name;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, KeepPlan,
    ::testing::Values(
        PlanCase{"Pixels", {"--keep", "pixels"}, "@/a.jpg\n@/keep/c.jpg\n@/d.jpg\n"},
        PlanCase{"RuleList", {"--keep=newest,oldest", "-j", "1"}, "@/a.jpg\n@/b.jpg\n@/d.jpg\n"},
        PlanCase{"Base", {"--keep", "base", "--turned", "--grey"}, "@/b.jpg\n@/keep/c.jpg\n@/e.jpg\n"},
        PlanCase{"Protected", {"--keep", "pixels", "--protect", "@/keep"}, "@/a.jpg\n@/d.jpg\n"},
        PlanCase{"ProtectedKeptPicture", {"--keep", "size", "--protect", "@/keep/", "--protect", "@/keep/../keep"},
                 "@/a.jpg\n@/b.jpg\n@/e.jpg\n"},
        PlanCase{"NulEnded", {"--keep", "oldest", "-0"}, "@/b.jpg|@/keep/c.jpg|@/e.jpg|"},
        PlanCase{"Json",
                 {"--keep", "pixels", "--json"},
                 "[{\"base\": \"@/a.jpg\", \"members\": [\"@/b.jpg\", \"@/keep/c.jpg\"], \"keep\": \"@/b.jpg\", "
                 "\"drop\": [\"@/a.jpg\", \"@/keep/c.jpg\"], \"facts\": {"
                 "\"@/a.jpg\": {\"width\": 40, \"height\": 30, \"bytes\": 4000, \"modified\": \"2023-11-14T21:13:20.000Z\", \"quality\": 75, \"primary_quality\": null, \"detail\": 0.00, \"grey\": false, \"taken\": null}, "
                 "\"@/b.jpg\": {\"width\": 80, \"height\": 60, \"bytes\": 3000, \"modified\": \"2023-11-14T21:43:20.000Z\", \"quality\": 75, \"primary_quality\": null, \"detail\": 0.00, \"grey\": false, \"taken\": null}, "
                 "\"@/keep/c.jpg\": {\"width\": 20, \"height\": 20, \"bytes\": 5000, \"modified\": \"2023-11-14T22:12:20.000Z\", \"quality\": 75, \"primary_quality\": null, \"detail\": 0.00, \"grey\": false, \"taken\": null}}}, "
                 "{\"base\": \"@/d.jpg\", \"members\": [\"@/e.jpg\"], \"keep\": \"@/e.jpg\", \"drop\": [\"@/d.jpg\"], "
                 "\"facts\": {"
                 "\"@/d.jpg\": {\"width\": 16, \"height\": 16, \"bytes\": 4000, \"modified\": \"2023-11-14T20:43:20.000Z\", \"quality\": 75, \"primary_quality\": null, \"detail\": 0.00, \"grey\": false, \"taken\": null}, "
                 "\"@/e.jpg\": {\"width\": 32, \"height\": 32, \"bytes\": 3500, \"modified\": \"2023-11-14T22:03:20.000Z\", \"quality\": 75, \"primary_quality\": null, \"detail\": 0.00, \"grey\": false, \"taken\": null}}}]\n"}),
    [](const ::testing::TestParamInfo<PlanCase> &info) { return std::string(info.param.name); });

struct RemoveCase {
    const char *name;
    std::vector<const char *> arguments; // after "remove"; "C" the catalogue, '@' the folder
    const char *input;                   // standard input, '|' a NUL
    const char *gone;                    // a picture removed beforehand
    bool noTrash;                        // the trash cannot be made
    int status;
    const char *out;
    const char *err;
    std::vector<const char *> left;    // the catalogue afterwards
    std::vector<const char *> trashed; // the files in the trash afterwards
    const char *locked = nullptr;      // made unchangeable (chattr +i) beforehand
};

void PrintTo(const RemoveCase &c, std::ostream *os) { *os << c.name; }

// A temporary home for the trash and the shared thumbnails, put back afterwards.
class Remove : public ::testing::TestWithParam<RemoveCase>
{
protected:
    void SetUp() override
    {
        for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            m_saved[name] = qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    }
    void TearDown() override
    {
        for (const auto &[name, value] : m_saved)
            value ? qputenv(name.c_str(), *value) : qunsetenv(name.c_str());
    }

private:
    std::map<std::string, std::optional<QByteArray>> m_saved;
};

// remove takes exactly the named pictures out of the catalogue and, with --trash, moves
// exactly their files into the trash with their bytes; the rest stays as it was.
TEST_P(Remove, TakesOutAndTrashesExactlyTheNamedPictures)
{
    const RemoveCase &c = GetParam();
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(QStringLiteral("c.sbx"));
    plant(dir.path(), catalogue, 2);
    const QString data = dir.filePath(QStringLiteral("data"));
    if (c.noTrash)
        writeText(data, "a file where the trash would go");
    qputenv("HOME", QFile::encodeName(dir.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
    std::map<QString, QByteArray> bytes; // by file name, each a different one
    for (const Planted &p : planted)
        bytes[QFileInfo(QLatin1String(p.name)).fileName()] = readBytes(dir.filePath(QLatin1String(p.name)));
    if (c.gone) {
        ASSERT_TRUE(QFile::remove(dir.filePath(QLatin1String(c.gone))));
    }

    const QString locked = c.locked ? dir.filePath(QLatin1String(c.locked)) : QString();
    if (c.locked && QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), locked}) != 0)
        GTEST_SKIP() << "chattr +i needs root on a file system that has it";
    const std::shared_ptr<void> unlock(nullptr, [&locked](void *) {
        if (!locked.isEmpty())
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), locked});
    });
    const QByteArray catalogueBefore = readBytes(catalogue);

    QStringList arguments{QStringLiteral("remove")};
    for (const char *argument : c.arguments)
        arguments << (QLatin1String(argument) == QLatin1String("C") ? catalogue : at(QString::fromUtf8(argument), dir.path()));
    const CliRun run = runCliProcess(arguments, dir.path(), {},
                                     at(QString::fromUtf8(c.input), dir.path()).replace(QLatin1Char('|'), QChar(0)).toUtf8());

    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out.toStdString(), c.out);
    EXPECT_EQ(run.err.toStdString(), at(QString::fromUtf8(c.err), dir.path()).toStdString());
    QStringList left;
    for (const char *name : c.left)
        left << dir.filePath(QLatin1String(name));
    EXPECT_EQ(listedPaths(catalogue), left);
    if (c.left.size() == std::size(planted) + 1) {
        EXPECT_EQ(readBytes(catalogue), catalogueBefore);
    }
    const QDir trash(data + QStringLiteral("/Trash/files"));
    const QStringList trashed = trash.entryList(QDir::Files, QDir::Name);
    for (const QString &name : trashed)
        EXPECT_EQ(readBytes(trash.filePath(name)), bytes[name]) << name.toStdString();
    EXPECT_EQ(trashed, QStringList(c.trashed.begin(), c.trashed.end()));
    for (const Planted &p : planted) {
        const QString name = QFileInfo(QLatin1String(p.name)).fileName();
        const bool away = (c.gone && QLatin1String(c.gone) == QLatin1String(p.name)) || trashed.contains(name);
        EXPECT_EQ(readBytes(dir.filePath(QLatin1String(p.name))), away ? QByteArray() : bytes[name]) << p.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, Remove,
    ::testing::Values(
        RemoveCase{"CatalogueOnly", {"C", "@/a.jpg", "@/keep/c.jpg"}, "", nullptr, false, 0,
                   "2 removed from the catalogue, 0 moved to the trash\n", "", {"d.jpg", "b.jpg", "e.jpg", "e.jpg"}, {}},
        RemoveCase{"ToTheTrash", {"--trash", "C", "@/a.jpg", "@/keep/c.jpg"}, "", nullptr, false, 0,
                   "2 removed from the catalogue, 2 moved to the trash\n", "", {"d.jpg", "b.jpg", "e.jpg", "e.jpg"},
                   {"a.jpg", "c.jpg"}},
        RemoveCase{"UnknownPath", {"--trash", "C", "@/a.jpg", "@/x.jpg", "@/keep"}, "", nullptr, false, 1,
                   "1 removed from the catalogue, 1 moved to the trash\n",
                   "lumo-cli: @/x.jpg: not in the catalogue\nlumo-cli: @/keep: not in the catalogue\n",
                   {"d.jpg", "b.jpg", "keep/c.jpg", "e.jpg", "e.jpg"}, {"a.jpg"}},
        RemoveCase{"StandardInputNulEnded", {"--trash", "-0", "C", "-"}, "@/b.jpg|@/d.jpg|", nullptr, false, 0,
                   "2 removed from the catalogue, 2 moved to the trash\n", "", {"a.jpg", "keep/c.jpg", "e.jpg", "e.jpg"},
                   {"b.jpg", "d.jpg"}},
        RemoveCase{"StandardInputLinesAndArguments", {"--trash", "C", "@/a.jpg", "-", "-"}, "@/b.jpg\r\n\n@/a.jpg\n",
                   nullptr, false, 0, "2 removed from the catalogue, 2 moved to the trash\n", "",
                   {"d.jpg", "keep/c.jpg", "e.jpg", "e.jpg"}, {"a.jpg", "b.jpg"}},
        RemoveCase{"EmptyStandardInput", {"--trash", "-0", "C", "-"}, "", nullptr, false, 0,
                   "0 removed from the catalogue, 0 moved to the trash\n", "",
                   {"a.jpg", "d.jpg", "b.jpg", "keep/c.jpg", "e.jpg", "e.jpg"}, {}},
        RemoveCase{"EntryListedTwice", {"--trash", "C", "@/e.jpg"}, "", nullptr, false, 0,
                   "2 removed from the catalogue, 1 moved to the trash\n", "", {"a.jpg", "d.jpg", "b.jpg", "keep/c.jpg"},
                   {"e.jpg"}},
        RemoveCase{"FileAlreadyGone", {"--trash", "C", "@/b.jpg", "@/d.jpg"}, "", "b.jpg", false, 0,
                   "2 removed from the catalogue, 1 moved to the trash\n", "", {"a.jpg", "keep/c.jpg", "e.jpg", "e.jpg"},
                   {"d.jpg"}},
        RemoveCase{"NoTrashKeepsFileAndEntry", {"--trash", "C", "@/a.jpg"}, "", nullptr, true, 1,
                   "0 removed from the catalogue, 0 moved to the trash\n",
                   "lumo-cli: @/a.jpg: cannot move to the trash; kept in the catalogue\n",
                   {"a.jpg", "d.jpg", "b.jpg", "keep/c.jpg", "e.jpg", "e.jpg"}, {}},
        RemoveCase{"Spellings", {"C", "./a.jpg", "keep/../b.jpg", "@//d.jpg", "@/keep/./c.jpg"}, "", nullptr, false, 0,
                   "4 removed from the catalogue, 0 moved to the trash\n", "", {"e.jpg", "e.jpg"}, {}},
        RemoveCase{"SpellingNamedTwice", {"--trash", "C", "a.jpg", "@/x/../a.jpg"}, "", nullptr, false, 0,
                   "1 removed from the catalogue, 1 moved to the trash\n", "", {"d.jpg", "b.jpg", "keep/c.jpg", "e.jpg", "e.jpg"},
                   {"a.jpg"}},
        RemoveCase{"FileThatCannotMoveKeepsItsEntry", {"--trash", "C", "@/a.jpg", "@/b.jpg"}, "", nullptr, false, 1,
                   "1 removed from the catalogue, 1 moved to the trash\n",
                   "lumo-cli: @/a.jpg: cannot move to the trash; kept in the catalogue\n",
                   {"a.jpg", "d.jpg", "keep/c.jpg", "e.jpg", "e.jpg"}, {"b.jpg"}, "a.jpg"},
        RemoveCase{"CatalogueFirst", {"--trash", "C", "@/a.jpg"}, "", nullptr, false, 1, "",
                   "lumo-cli: @/c.sbx: cannot be written; nothing moved\n",
                   {"a.jpg", "d.jpg", "b.jpg", "keep/c.jpg", "e.jpg", "e.jpg"}, {}, "c.sbx"}),
    [](const ::testing::TestParamInfo<RemoveCase> &info) { return std::string(info.param.name); });

// The plan piped into remove, as the manual shows it, between two real processes.
TEST(KeepAndRemove, PipeCarriesOutThePlan)
{
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(QStringLiteral("c.sbx"));
    plant(dir.path(), catalogue);
    QProcess shell;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), dir.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), dir.filePath(QStringLiteral("cache")));
    environment.insert(QStringLiteral("LUMO_CLI"), QStringLiteral(LUMO_CLI_PATH));
    environment.insert(QStringLiteral("CATALOGUE"), catalogue);
    shell.setProcessEnvironment(environment);
    shell.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"), QStringLiteral("\"$LUMO_CLI\" similar --keep pixels -0 \"$CATALOGUE\" | "
                                                      "\"$LUMO_CLI\" remove --trash -0 \"$CATALOGUE\" -")});
    ASSERT_TRUE(shell.waitForFinished(60000));
    EXPECT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
    EXPECT_EQ(shell.readAllStandardOutput().toStdString(), "3 removed from the catalogue, 3 moved to the trash\n");
    EXPECT_EQ(listedPaths(catalogue), (QStringList{dir.filePath(QStringLiteral("b.jpg")), dir.filePath(QStringLiteral("e.jpg"))}));
}

// A catalogue whose disk fills during the run stays as it was, and the summary says so:
// nothing left it, though its files went to the trash.
TEST_F(Remove, FullCatalogueDiskCountsNothingRemoved)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small disk needs root";
    QTemporaryDir dir;
    const QString small = dir.filePath(QStringLiteral("small"));
    QDir().mkpath(small);
    if (::mount("tmpfs", QFile::encodeName(small).constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "this machine mounts no tmpfs";
    const std::shared_ptr<void> unmount(nullptr, [&small](void *) { ::umount2(QFile::encodeName(small).constData(), MNT_DETACH); });
    const QString catalogue = small + QStringLiteral("/c.sbx");
    plant(dir.path(), catalogue, 2);
    qputenv("HOME", QFile::encodeName(dir.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
    {
        QFile filler(small + QStringLiteral("/filler"));
        filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        const QByteArray block(1024, 'x');
        while (filler.write(block) == block.size()) {
        }
        filler.write(block.left(1));
    }
    const QByteArray before = readBytes(catalogue);
    const CliRun run = runCliProcess({QStringLiteral("remove"), QStringLiteral("--trash"), catalogue,
                                      dir.filePath(QStringLiteral("a.jpg"))},
                                     dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.toStdString(), "0 removed from the catalogue, 1 moved to the trash\n");
    EXPECT_EQ(readBytes(catalogue), before);
}

} // namespace
