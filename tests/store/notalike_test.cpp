#include "search/notalike.h"
#include "notalikecases.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QtEndian>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct FileCase {
    const char *name;
    std::optional<QByteArray> planted; // the file found before loading; none: no file
    size_t pairs;                      // what it holds; a file that cannot be read holds none
    bool loaded;
    int dropped = 0;                   // damaged records left out
};

QByteArray writtenFile(int pairs)
{
    NotAlikeDecisions decisions(QString{});
    for (int i = 0; i < pairs; ++i)
        decisions.add(caseSignature({i}), casePath(i), caseSignature({i + 1}), QStringLiteral("/写真/%1").arg(i), i);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeNotAlike(buffer, decisions.pairs());
    return buffer.data();
}

// The older form, as earlier versions wrote it: whole looks, a count, no checksums.
QByteArray oldFile(int pairs)
{
    QByteArray bytes("LUMONAL1");
    const auto number = [&bytes](auto value) {
        char raw[sizeof value];
        qToLittleEndian(value, raw);
        bytes.append(raw, sizeof value);
    };
    const auto name = [&](const QString &text) {
        const QByteArray utf8 = text.toUtf8();
        number(uint16_t(utf8.size()));
        bytes.append(utf8);
    };
    number(uint32_t(pairs));
    for (int i = 0; i < pairs; ++i) {
        for (int red : {i, i + 1}) {
            const Signature cells = caseSignature({red});
            for (int16_t value : cells)
                bytes.append(char(value));
        }
        number(qint64(i));
        name(casePath(i));
        name(QStringLiteral("/写真/%1").arg(i));
    }
    return bytes;
}

using NotAlikeFile = testing::TestWithParam<FileCase>;

// A file that cannot be read is set aside untouched and a fresh one begun; a readable one
// is read whole; a save replaces the file with what is held.
TEST_P(NotAlikeFile, ReadsOrSetsAside)
{
    const FileCase &row = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lumo/notalike"));
    if (row.planted) {
        QDir().mkpath(dir.filePath(QStringLiteral("lumo")));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(*row.planted) == row.planted->size());
    }
    NotAlikeDecisions decisions(path);
    EXPECT_EQ(decisions.load(), row.loaded);
    EXPECT_EQ(decisions.pairs().size(), row.pairs);
    QFile aside(decisions.setAside());
    EXPECT_EQ(aside.open(QIODevice::ReadOnly) ? aside.readAll() : QByteArray("none"),
              row.loaded ? QByteArray("none") : *row.planted);
    EXPECT_EQ(decisions.dropped(), row.dropped);
    decisions.add(caseSignature({40}), casePath(40), caseSignature({41}), casePath(41), 7);
    ASSERT_TRUE(decisions.save());
    NotAlikeDecisions again(path);
    ASSERT_TRUE(again.load());
    EXPECT_EQ(again.pairs(), decisions.pairs());
}

INSTANTIATE_TEST_SUITE_P(Files, NotAlikeFile,
                         testing::Values(FileCase{"none", std::nullopt, 0, true}, FileCase{"three", writtenFile(3), 3, true},
                                         FileCase{"cut", writtenFile(3).chopped(5), 2, true, 1},
                                         FileCase{"longer", writtenFile(3) + "x", 3, true, 1},
                                         FileCase{"old", oldFile(3), 3, true},
                                         FileCase{"oldcut", oldFile(3).chopped(5), 0, false},
                                         FileCase{"oldlonger", oldFile(3) + "x", 0, false},
                                         FileCase{"foreign", QByteArray("[Lumo]\nLike=20\n"), 0, false},
                                         FileCase{"empty", QByteArray(), 0, false}),
                         [](const testing::TestParamInfo<FileCase> &info) { return std::string(info.param.name); });

} // namespace

namespace {

// A file system of its own for one test: a small tmpfs, so that a full disk or a read-only
// one needs no loop device. Only root may mount; others get the reason to skip.
class OwnDisk
{
public:
    OwnDisk(const QString &folder, const char *size)
    {
        QDir().mkpath(folder);
        if (::geteuid() != 0) {
            m_problem = QStringLiteral("mounting a small disk needs root");
            return;
        }
        const QByteArray options = QByteArray("size=") + size + ",mode=0700";
        if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options.constData()) != 0) {
            m_problem = QStringLiteral("this machine mounts no tmpfs: ") + QString::fromLocal8Bit(std::strerror(errno));
            return;
        }
        m_folder = folder;
    }
    ~OwnDisk()
    {
        if (!m_folder.isEmpty())
            ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
    }
    const QString &problem() const { return m_problem; }
    bool readOnly()
    {
        return ::mount("tmpfs", QFile::encodeName(m_folder).constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    // Fills what is left of the disk.
    void fill()
    {
        QFile filler(m_folder + QStringLiteral("/filler"));
        filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size()) {
        }
        filler.write(block.left(1)); // the last bytes of a part-filled page
    }

private:
    QString m_folder;
    QString m_problem;
};

bool plantFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(cannot be read)");
}

struct HostileCase {
    const char *name;
    // The decisions file made hostile in its folder (a place of its own); a reason when this
    // machine cannot build it.
    std::function<QString(const QString &folder, const QString &path, std::unique_ptr<OwnDisk> &disk)> plant;
    NotAlikeLoad loaded;
    int dropped;
    bool saved;        // a pair added then saved
    bool untouched;    // whatever stands at the path is as planted
    size_t pairsAfter; // a fresh load after the save
};

void PrintTo(const HostileCase &row, std::ostream *out) { *out << row.name; }

QByteArray flipped(QByteArray bytes, qsizetype at)
{
    bytes[at] = char(bytes[at] ^ 0x10);
    return bytes;
}

std::vector<HostileCase> hostileCases()
{
    const QByteArray three = writtenFile(3);
    return {
        {"a FIFO is refused at once",
         [](const QString &, const QString &path, auto &) {
             return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0 ? QString() : QStringLiteral("no FIFO here");
         },
         NotAlikeLoad::Unreadable, 0, false, true, 0},
        {"a folder is refused", [](const QString &, const QString &path, auto &) {
             return QDir().mkpath(path) ? QString() : QStringLiteral("no folder");
         },
         NotAlikeLoad::Unreadable, 0, false, true, 0},
        {"a flipped byte drops its record alone",
         [three](const QString &, const QString &path, auto &) {
             // Inside the second record's names.
             return plantFile(path, flipped(three, three.size() / 2)) ? QString() : QStringLiteral("cannot write");
         },
         NotAlikeLoad::Repaired, 1, true, false, 3},
        {"a full disk keeps the old file whole",
         [three](const QString &folder, const QString &path, auto &disk) {
             disk = std::make_unique<OwnDisk>(folder, "64k");
             if (!disk->problem().isEmpty())
                 return disk->problem();
             if (!plantFile(path, three))
                 return QStringLiteral("cannot write");
             disk->fill();
             return QString();
         },
         NotAlikeLoad::Read, 0, false, true, 3},
        {"a damaged file that cannot be set aside is kept and never overwritten",
         [](const QString &folder, const QString &path, auto &disk) {
             disk = std::make_unique<OwnDisk>(folder, "64k");
             if (!disk->problem().isEmpty())
                 return disk->problem();
             if (!plantFile(path, "[Lumo]\nLike=20\n") || !disk->readOnly())
                 return QStringLiteral("cannot make the disk read-only");
             return QString();
         },
         NotAlikeLoad::Stuck, 0, false, true, 0},
    };
}

using HostileDecisions = testing::TestWithParam<HostileCase>;

// Whatever stands at the decisions file's place, a command neither waits, nor loses a
// decision, nor replaces a file it could not read.
TEST_P(HostileDecisions, NeitherWaitNorLose)
{
    const HostileCase &row = GetParam();
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("lumo"));
    const QString path = folder + QStringLiteral("/notalike");
    QDir().mkpath(folder);
    std::unique_ptr<OwnDisk> disk;
    const QString problem = row.plant(folder, path, disk);
    if (!problem.isEmpty())
        GTEST_SKIP() << problem.toStdString();
    struct stat before {};
    ::lstat(QFile::encodeName(path).constData(), &before);
    const QByteArray planted = S_ISREG(before.st_mode) ? fileBytes(path) : QByteArray();

    NotAlikeDecisions decisions(path);
    decisions.load();
    EXPECT_EQ(decisions.loadStatus(), row.loaded);
    EXPECT_EQ(decisions.dropped(), row.dropped);
    decisions.add(caseSignature({40}), casePath(40), caseSignature({41}), casePath(41), 7);
    EXPECT_EQ(decisions.save(), row.saved);

    struct stat after {};
    ::lstat(QFile::encodeName(path).constData(), &after);
    if (row.untouched) {
        EXPECT_EQ(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
        if (S_ISREG(before.st_mode))
            EXPECT_EQ(fileBytes(path), planted);
    }
    if (S_ISREG(after.st_mode)) {
        NotAlikeDecisions again(path);
        again.load();
        EXPECT_EQ(again.size(), row.pairsAfter);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, HostileDecisions, testing::ValuesIn(hostileCases()),
                         [](const testing::TestParamInfo<HostileCase> &info) {
                             std::string name;
                             for (const char *c = info.param.name; *c; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name;
                         });

// A saved file and its folder are for their user alone, whatever they were before.
TEST(NotAlikeFile, SavedForItsUserAlone)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("lumo"));
    const QString path = folder + QStringLiteral("/notalike");
    QDir().mkpath(folder);
    ASSERT_TRUE(plantFile(path, writtenFile(3)));
    ::chmod(QFile::encodeName(path).constData(), 0644);
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    NotAlikeDecisions decisions(path);
    ASSERT_TRUE(decisions.load());
    decisions.add(caseSignature({40}), casePath(40), caseSignature({41}), casePath(41), 7);
    ASSERT_TRUE(decisions.save());
    struct stat file {}, place {};
    ::stat(QFile::encodeName(path).constData(), &file);
    ::stat(QFile::encodeName(folder).constData(), &place);
    EXPECT_EQ(file.st_mode & 0777, 0600u);
    EXPECT_EQ(place.st_mode & 0777, 0700u);
}

// The older form reads as the same pairs the current form holds.
TEST(NotAlikeFile, OlderFormReadsTheSamePairs)
{
    std::vector<NotAlikePair> old, current;
    QBuffer oldBytes, currentBytes;
    oldBytes.setData(oldFile(3));
    currentBytes.setData(writtenFile(3));
    oldBytes.open(QIODevice::ReadOnly);
    currentBytes.open(QIODevice::ReadOnly);
    ASSERT_TRUE(readNotAlike(oldBytes, old));
    ASSERT_TRUE(readNotAlike(currentBytes, current));
    EXPECT_EQ(old, current);
}

// Two holders of the decisions at once, each saving its own changes.
struct TwoHoldersCase {
    const char *name;
    // What the second holder does between the first one's load and save.
    void (*second)(NotAlikeDecisions &);
    void (*first)(NotAlikeDecisions &); // the first one's change
    std::vector<int> expected;          // the first look of each pair kept, oldest first
};

void PrintTo(const TwoHoldersCase &row, std::ostream *out) { *out << row.name; }

void addPair(NotAlikeDecisions &decisions, int red)
{
    decisions.add(caseSignature({red}), casePath(red), caseSignature({red + 1}), casePath(red + 1), red);
}

using TwoHolders = testing::TestWithParam<TwoHoldersCase>;

// A save applies its holder's own changes to what is on disk: what another holder saved
// in between stays, and forgetting a pair forgets that pair alone.
TEST_P(TwoHolders, KeepEachOthersDecisions)
{
    const TwoHoldersCase &row = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lumo/notalike"));
    NotAlikeDecisions start(path);
    for (int red : {0, 10, 20})
        addPair(start, red);
    ASSERT_TRUE(start.save());

    NotAlikeDecisions first(path), second(path);
    ASSERT_TRUE(first.load());
    ASSERT_TRUE(second.load());
    row.second(second);
    ASSERT_TRUE(second.save());
    row.first(first);
    ASSERT_TRUE(first.save());

    NotAlikeDecisions after(path);
    ASSERT_TRUE(after.load());
    std::vector<LookKey> kept;
    for (const NotAlikePair &pair : after.pairs())
        kept.push_back(pair.first);
    std::vector<LookKey> expected;
    for (int red : row.expected)
        expected.push_back(lookKey(caseSignature({red})));
    EXPECT_EQ(kept, expected);
    EXPECT_EQ(first.pairs(), after.pairs());
}

INSTANTIATE_TEST_SUITE_P(
    Holders, TwoHolders,
    testing::Values(TwoHoldersCase{"both add", [](NotAlikeDecisions &d) { addPair(d, 30); },
                                   [](NotAlikeDecisions &d) { addPair(d, 40); }, {0, 10, 20, 30, 40}},
                    TwoHoldersCase{"one forgets while the other adds", [](NotAlikeDecisions &d) { addPair(d, 30); },
                                   [](NotAlikeDecisions &d) { d.forgetAt({0}); }, {10, 20, 30}},
                    TwoHoldersCase{"one forgets all it sees while the other adds",
                                   [](NotAlikeDecisions &d) { addPair(d, 30); }, [](NotAlikeDecisions &d) { d.clear(); },
                                   {30}},
                    TwoHoldersCase{"one renews a pair the other forgot",
                                   [](NotAlikeDecisions &d) { d.forget(caseSignature({11}), caseSignature({10})); },
                                   [](NotAlikeDecisions &d) { addPair(d, 10); }, {0, 20, 10}},
                    TwoHoldersCase{"both forget", [](NotAlikeDecisions &d) { d.forgetAt({2}); },
                                   [](NotAlikeDecisions &d) { d.forgetAt({0}); }, {10}}),
    [](const testing::TestParamInfo<TwoHoldersCase> &info) {
        std::string name;
        for (const char *c = info.param.name; *c; ++c)
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return name;
    });

// Two processes marking pairs at once, each loading and saving for every pair: every pair
// is kept.
TEST(NotAlikeFile, TwoProcessesLoseNoPair)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lumo/notalike"));
    constexpr int Each = 95;
    std::vector<pid_t> children;
    for (int process = 0; process < 2; ++process) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            bool ok = true;
            for (int i = 0; i < Each; ++i) {
                NotAlikeDecisions decisions(path);
                ok = decisions.load() && ok;
                Signature a, b;
                a.fill(int16_t(process));
                b.fill(int16_t(10 + process));
                a[0] = b[0] = int16_t(i);
                decisions.add(a, casePath(i), b, casePath(i + 1), i);
                ok = decisions.save() && ok;
            }
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = -1;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    NotAlikeDecisions after(path);
    ASSERT_TRUE(after.load());
    EXPECT_EQ(after.size(), size_t(2 * Each));
}

} // namespace
