#include "files/trash.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <unistd.h>

namespace {

// Where the file lies and who moves it.
enum class Place {
    Home,          // the home file system, by this process
    Disk,          // a disk image mounted under /media, by this process (root)
    DiskAsUser,    // the disk, by another user (uid 1234, through setpriv); home elsewhere
    DiskHomeAsUser // the other user's home on the disk, by that user
};

struct TrashCase {
    const char *name;
    Place place;
    const char *file;  // its name (any bytes), in the top folder (the home's for the Home places)
    const char *setup; // shell, run in the top folder after the file is made: $U the mover's uid, $FILE
    const char *lands; // the trash, from the top folder, that receives it; nullptr: it stays
};

void PrintTo(const TrashCase &c, std::ostream *os) { *os << c.name; }

constexpr int OtherUser = 1234;

int shell(const QString &script, const QString &folder, const QStringList &variables = {})
{
    QProcess sh;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &variable : variables)
        environment.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
    sh.setProcessEnvironment(environment);
    sh.setWorkingDirectory(folder);
    sh.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sh.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script});
    return sh.waitForFinished(60000) && sh.exitStatus() == QProcess::NormalExit ? sh.exitCode() : -1;
}

// A small ext4 disk, loop-mounted under /media where the desktop finds removable disks,
// for the whole suite; none where this is not root or loop devices are missing.
class Disk
{
public:
    static Disk *get()
    {
        static std::unique_ptr<Disk> disk = make();
        return disk.get();
    }
    const QString &top() const { return m_top; }
    ~Disk()
    {
        shell(QStringLiteral("umount \"$TOP\" && rmdir \"$TOP\""), QStringLiteral("/"), {QStringLiteral("TOP=") + m_top});
    }
    QString why;

private:
    static std::unique_ptr<Disk> make()
    {
        auto disk = std::make_unique<Disk>();
        if (::geteuid() != 0) {
            disk->why = QStringLiteral("mounting a disk image needs root");
            return disk;
        }
        disk->m_top = QStringLiteral("/media/lumo-trash-%1").arg(::getpid());
        const QString image = disk->m_image.filePath(QStringLiteral("disk.ext4"));
        if (shell(QStringLiteral("losetup -f >/dev/null && truncate -s 4M \"$IMAGE\" && mkfs.ext4 -q -m 0 \"$IMAGE\" "
                                 "&& mkdir -p \"$TOP\" && mount -o loop \"$IMAGE\" \"$TOP\" && chmod 1777 \"$TOP\""),
                  QStringLiteral("/"), {QStringLiteral("IMAGE=") + image, QStringLiteral("TOP=") + disk->m_top})
            != 0) {
            disk->why = QStringLiteral("no loop device, mkfs.ext4 or mount here");
            disk->m_top.clear();
        }
        return disk;
    }
    QTemporaryDir m_image;
    QString m_top;
};

QString dataHome() { return qEnvironmentVariable("XDG_DATA_HOME"); }

class Trash : public ::testing::TestWithParam<TrashCase>
{
protected:
    void TearDown() override
    {
        // Everything the row made goes, including what it made unchangeable or read-only.
        const QString top = GetParam().place == Place::Home ? dataHome() : Disk::get()->top();
        if (!top.isEmpty())
            shell(QStringLiteral("mount -o remount,rw \"$TOP\" 2>/dev/null; chattr -R -i . 2>/dev/null; "
                                 "find . -mindepth 1 -maxdepth 1 ! -name lost+found -exec rm -rf {} +"),
                  top, {QStringLiteral("TOP=") + top});
    }
};

// A file goes only into a trash that is the mover's own, no link and closed to others, with a
// whole record whose Path= restores exactly its name; any other trash, a full or read-only
// disk, or a file that cannot move leaves it where it was, with no record anywhere.
TEST_P(Trash, MovesOnlyIntoASoundTrashWithAWholeRecord)
{
    const TrashCase &c = GetParam();
    const bool onDisk = c.place != Place::Home;
    const bool asUser = c.place == Place::DiskAsUser || c.place == Place::DiskHomeAsUser;
    if (onDisk && Disk::get()->top().isEmpty())
        GTEST_SKIP() << Disk::get()->why.toStdString();
    if (asUser
        && shell(QStringLiteral("setpriv --reuid=%1 --regid=%1 --clear-groups test -x \"$SELF\"").arg(OtherUser),
                 QStringLiteral("/"), {QStringLiteral("SELF=") + QCoreApplication::applicationFilePath()})
               != 0)
        GTEST_SKIP() << "no setpriv, or the test program is out of a second user's reach";
    const QString home = c.place == Place::DiskHomeAsUser ? Disk::get()->top() + QStringLiteral("/home")
                         : c.place == Place::Home       ? dataHome() + QStringLiteral("/pics")
                                                        : Disk::get()->top();
    const QString top = c.place == Place::Home             ? dataHome()
                        : c.place == Place::DiskHomeAsUser ? home + QStringLiteral("/.local/share")
                                                           : Disk::get()->top();
    ASSERT_TRUE(QDir().mkpath(top) && QDir().mkpath(home));
    const QByteArray name(c.file);
    const QString file = home + QLatin1Char('/') + QFile::decodeName(name);
    {
        QFile made(file);
        ASSERT_TRUE(made.open(QIODevice::WriteOnly)) << file.toStdString();
        made.write("picture " + name);
    }
    const QString uid = QString::number(asUser ? OtherUser : ::geteuid());
    if (asUser) {
        ASSERT_EQ(shell(QStringLiteral("chown -R %1:%1 \"$OWN\"").arg(uid), home,
                        {QStringLiteral("OWN=") + (c.place == Place::DiskHomeAsUser ? home : file)}),
                  0);
    }
    const int setup = shell(QString::fromUtf8(c.setup), top,
                            {QStringLiteral("U=") + uid, QStringLiteral("FILE=") + file,
                             QStringLiteral("TOP=") + Disk::get()->top()});
    if (setup != 0)
        GTEST_SKIP() << "this system cannot set the row up: " << c.setup;

    bool moved = false;
    if (asUser) {
        QProcess mover;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), c.place == Place::DiskHomeAsUser ? home : QDir::tempPath());
        environment.remove(QStringLiteral("XDG_DATA_HOME"));
        mover.setProcessEnvironment(environment);
        mover.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=%1").arg(OtherUser), QStringLiteral("--regid=%1").arg(OtherUser),
                                                QStringLiteral("--clear-groups"), QCoreApplication::applicationFilePath(),
                                                QStringLiteral("--trash"), file});
        ASSERT_TRUE(mover.waitForFinished(60000));
        moved = mover.exitCode() == 0;
    } else {
        moved = moveFileToTrash(file) == TrashResult::Moved;
    }

    EXPECT_EQ(moved, c.lands != nullptr);
    EXPECT_EQ(QFileInfo::exists(file), c.lands == nullptr);
    QStringList records;
    for (QDirIterator it(top, {QStringLiteral("*.trashinfo")}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
         it.hasNext();)
        records << it.next();
    if (!c.lands) {
        EXPECT_EQ(records, QStringList());
        QFile kept(file);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), "picture " + name);
        return;
    }
    const QString trash = top + QLatin1Char('/') + QString::fromUtf8(c.lands).replace(QStringLiteral("$U"), uid);
    ASSERT_EQ(records, QStringList{trash + QStringLiteral("/info/") + QFile::decodeName(name) + QStringLiteral(".trashinfo")});
    EXPECT_TRUE(QFileInfo::exists(trash + QStringLiteral("/files/") + QFile::decodeName(name)));
    QFile record(records.first());
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    QByteArray path;
    for (const QByteArray &line : record.readAll().split('\n')) {
        if (line.startsWith("Path="))
            path = QByteArray::fromPercentEncoding(line.mid(5));
    }
    const QByteArray root = QFile::encodeName(c.place == Place::Home || c.place == Place::DiskHomeAsUser ? QString() : top);
    EXPECT_EQ((path.startsWith('/') ? path : root + '/' + path), QFile::encodeName(file));
}

using P = Place;

INSTANTIATE_TEST_SUITE_P(
    Trashes, Trash,
    ::testing::Values(
        TrashCase{"HomeTrash", P::Home, "a.jpg", "", "Trash"},
        TrashCase{"PercentAndSpace", P::Home, "photo%20one b.jpg", "", "Trash"},
        TrashCase{"LineBreak", P::Home, "a\nPath=x.jpg", "", "Trash"},
        TrashCase{"NonAscii", P::Home, "caf\xc3\xa9 \xe5\x86\x99\xe7\x9c\x9f.jpg", "", "Trash"},
        TrashCase{"HomeTrashOpenToOthers", P::Home, "a.jpg", "mkdir -m 777 Trash", nullptr},
        TrashCase{"HomeTrashIsALink", P::Home, "a.jpg", "mkdir -m 700 real && ln -s real Trash", nullptr},
        TrashCase{"HomeTrashOfAnotherOwner", P::Home, "a.jpg", "mkdir -m 700 Trash && chown 4321 Trash", nullptr},
        TrashCase{"HomeTrashOfAnotherOwnerOpen", P::Home, "a.jpg", "mkdir -m 700 Trash && chown 4321 Trash && chmod 777 Trash", nullptr},
        TrashCase{"HomeRecordsOpenToOthers", P::Home, "a.jpg", "mkdir -m 700 Trash && mkdir -m 755 Trash/info", nullptr},
        TrashCase{"FileThatCannotMove", P::Home, "a.jpg", "chattr +i \"$FILE\"", nullptr},
        TrashCase{"TrashMadeOnTheDisk", P::Disk, "a.jpg", "", ".Trash-$U"},
        TrashCase{"OthersTrashOpen", P::Disk, "a.jpg", "mkdir -m 777 .Trash-$U && chown 4321 .Trash-$U", nullptr},
        TrashCase{"OthersTrashClosed", P::Disk, "a.jpg", "mkdir -m 755 .Trash-$U && chown 4321 .Trash-$U", nullptr},
        TrashCase{"OwnTrashOpenToOthers", P::Disk, "a.jpg", "mkdir -m 777 .Trash-$U", nullptr},
        TrashCase{"OwnTrashIsALink", P::Disk, "a.jpg", "mkdir -m 700 real && ln -s real .Trash-$U", nullptr},
        TrashCase{"SharedTrash", P::Disk, "a.jpg", "mkdir -m 1777 .Trash", ".Trash/$U"},
        TrashCase{"SharedTrashWithoutStickyBit", P::Disk, "a.jpg", "mkdir -m 777 .Trash", ".Trash-$U"},
        TrashCase{"SharedTrashIsALink", P::Disk, "a.jpg", "mkdir -m 1777 real && ln -s real .Trash", ".Trash-$U"},
        TrashCase{"OthersFolderInSharedTrash", P::Disk, "a.jpg",
                  "mkdir -m 1777 .Trash && mkdir -m 700 .Trash/$U && chown 4321 .Trash/$U", ".Trash-$U"},
        TrashCase{"OwnFolderInSharedTrashOpen", P::Disk, "a.jpg", "mkdir -m 1777 .Trash && mkdir -m 777 .Trash/$U", nullptr},
        TrashCase{"FullDisk", P::Disk, "a.jpg",
                  "mkdir -m 700 .Trash-$U .Trash-$U/files .Trash-$U/info && "
                  "{ for size in 64k 1k 1; do dd if=/dev/zero of=fill-$size bs=$size 2>/dev/null; done; true; }",
                  nullptr},
        TrashCase{"ReadOnlyDisk", P::Disk, "a.jpg", "mkdir -m 700 .Trash-$U && mount -o remount,ro \"$TOP\"", nullptr},
        TrashCase{"AnotherUsersOpenTrash", P::DiskAsUser, "diary.jpg", "mkdir -m 777 .Trash-$U", nullptr},
        TrashCase{"AnotherUsersClosedTrash", P::DiskAsUser, "diary.jpg", "mkdir -m 755 .Trash-$U", nullptr},
        TrashCase{"AnotherUsersFolderInSharedTrash", P::DiskAsUser, "diary.jpg",
                  "mkdir -m 1777 .Trash && mkdir -m 777 .Trash/$U", ".Trash-$U"},
        TrashCase{"OwnTrashMadeByTheUser", P::DiskAsUser, "diary.jpg", "", ".Trash-$U"},
        TrashCase{"HomeRecordsNotWritable", P::DiskHomeAsUser, "apple.jpg",
                  "mkdir -p Trash/files Trash/info && chown -R $U Trash && chmod 700 Trash Trash/files && "
                  "chmod 500 Trash/info",
                  nullptr}),
    [](const ::testing::TestParamInfo<TrashCase> &info) { return std::string(info.param.name); });

struct FolderProblemCase {
    const char *name;
    const char *setup; // shell in the data home
    TrashFolderProblem::Fault fault;
    const char *folder; // from the data home
};

void PrintTo(const FolderProblemCase &c, std::ostream *os) { *os << c.name; }

using TrashFolderFault = ::testing::TestWithParam<FolderProblemCase>;

// A refused trash is named with what is wrong with it, so that the user can mend it.
TEST_P(TrashFolderFault, NamesTheFolderAndItsFault)
{
    const FolderProblemCase &c = GetParam();
    const QString data = dataHome();
    ASSERT_TRUE(QDir().mkpath(data + QStringLiteral("/pics")));
    const QString file = data + QStringLiteral("/pics/a.jpg");
    {
        QFile made(file);
        ASSERT_TRUE(made.open(QIODevice::WriteOnly));
    }
    ASSERT_EQ(shell(QString::fromUtf8(c.setup), data), 0);
    const TrashFolderProblem problem = trashFolderProblem(file);
    EXPECT_EQ(problem.fault, c.fault);
    EXPECT_EQ(problem.folder, c.folder ? data + QLatin1Char('/') + QLatin1String(c.folder) : QString());
    shell(QStringLiteral("find . -mindepth 1 -maxdepth 1 -exec rm -rf {} +"), data);
}

using F = TrashFolderProblem::Fault;

INSTANTIATE_TEST_SUITE_P(
    Faults, TrashFolderFault,
    ::testing::Values(FolderProblemCase{"Sound", "mkdir -m 700 Trash", F::Sound, nullptr},
                      FolderProblemCase{"NotThereYet", "true", F::Sound, nullptr},
                      FolderProblemCase{"OpenToOthers", "mkdir -m 755 Trash", F::OpenToOthers, "Trash"},
                      FolderProblemCase{"RecordsOpen", "mkdir -m 700 Trash && mkdir -m 755 Trash/info", F::OpenToOthers, "Trash/info"},
                      FolderProblemCase{"OthersOwn", "mkdir -m 700 Trash && chown 4321 Trash", F::OthersOwn, "Trash"},
                      FolderProblemCase{"Link", "mkdir -m 700 real && ln -s real Trash", F::Link, "Trash"},
                      FolderProblemCase{"NotFolder", "touch Trash", F::NotFolder, "Trash"}),
    [](const ::testing::TestParamInfo<FolderProblemCase> &info) { return std::string(info.param.name); });

struct SameNameCase {
    const char *name;
    int files;         // all named IMG.jpg, each in a folder of its own, moved one after another
    const char *setup; // shell in the home trash before the first move
    const char *kept;  // a file of the trash that must come out unchanged; nullptr: none
};

void PrintTo(const SameNameCase &c, std::ostream *os) { *os << c.name; }

using TrashNames = ::testing::TestWithParam<SameNameCase>;

// Files of one name each get a name of their own in the trash, with a record that restores
// exactly that file; what the trash already holds under a name, listed or left over
// without a record, stays as it was.
TEST_P(TrashNames, EachFileOfOneNameLandsApart)
{
    const SameNameCase &c = GetParam();
    const QString data = dataHome();
    const QString trash = data + QStringLiteral("/Trash");
    ASSERT_TRUE(QDir().mkpath(trash + QStringLiteral("/files")) && QDir().mkpath(trash + QStringLiteral("/info")));
    ASSERT_EQ(shell(QStringLiteral("chmod 700 . files info && ") + QString::fromUtf8(c.setup), trash), 0);
    QStringList files;
    for (int i = 0; i < c.files; ++i) {
        const QString folder = data + QStringLiteral("/pics/%1").arg(i);
        ASSERT_TRUE(QDir().mkpath(folder));
        files << folder + QStringLiteral("/IMG.jpg");
        QFile made(files.back());
        ASSERT_TRUE(made.open(QIODevice::WriteOnly));
        made.write(QByteArray::number(i));
    }
    for (const QString &file : files)
        ASSERT_EQ(moveFileToTrash(file), TrashResult::Moved) << file.toStdString();

    QStringList restored;
    for (QDirIterator it(trash + QStringLiteral("/info"), {QStringLiteral("*.trashinfo")}, QDir::Files); it.hasNext();) {
        QFile record(it.next());
        ASSERT_TRUE(record.open(QIODevice::ReadOnly));
        QString path;
        for (const QByteArray &line : record.readAll().split('\n')) {
            if (line.startsWith("Path="))
                path = QFile::decodeName(QByteArray::fromPercentEncoding(line.mid(5)));
        }
        const QString inTrash = trash + QStringLiteral("/files/") + it.fileInfo().completeBaseName();
        QFile moved(inTrash);
        if (!files.contains(path))
            continue; // listed before the moves
        ASSERT_TRUE(moved.open(QIODevice::ReadOnly)) << inTrash.toStdString();
        EXPECT_EQ(moved.readAll(), QByteArray::number(files.indexOf(path))) << inTrash.toStdString();
        restored << path;
    }
    restored.sort();
    QStringList expected = files;
    expected.sort();
    EXPECT_EQ(restored, expected);
    if (c.kept) {
        QFile kept(trash + QLatin1Char('/') + QLatin1String(c.kept));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), "before\n");
    }
    shell(QStringLiteral("find . -mindepth 1 -maxdepth 1 -exec rm -rf {} +"), data);
}

INSTANTIATE_TEST_SUITE_P(
    Names, TrashNames,
    ::testing::Values(SameNameCase{"OneName", 40, "true", nullptr},
                      SameNameCase{"LeftoverWithoutRecord", 3, "echo before > files/IMG.jpg", "files/IMG.jpg"},
                      SameNameCase{"NumberedLeftover", 3, "echo before > files/IMG.2.jpg", "files/IMG.2.jpg"},
                      SameNameCase{"ListedBefore", 3,
                                   "echo before > files/IMG.jpg && printf '[Trash Info]\\nPath=/x/IMG.jpg\\n"
                                   "DeletionDate=2020-01-01T00:00:00\\n' > info/IMG.jpg.trashinfo",
                                   "files/IMG.jpg"}),
    [](const ::testing::TestParamInfo<SameNameCase> &info) { return std::string(info.param.name); });

// A file of another disk reached through a link from the home goes to that disk's trash at
// its top, where the desktop looks, with its path on the disk in the record.
TEST(TrashThroughLink, GoesToTheTrashAtTheDisksTop)
{
    if (Disk::get()->top().isEmpty())
        GTEST_SKIP() << Disk::get()->why.toStdString();
    const QString top = Disk::get()->top();
    const QString data = dataHome();
    ASSERT_TRUE(QDir().mkpath(top + QStringLiteral("/pics")) && QDir().mkpath(data));
    {
        QFile made(top + QStringLiteral("/pics/a.jpg"));
        ASSERT_TRUE(made.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QFile::link(top + QStringLiteral("/pics"), data + QStringLiteral("/linked")));
    EXPECT_EQ(moveFileToTrash(data + QStringLiteral("/linked/a.jpg")), TrashResult::Moved);
    const QString trash = top + QStringLiteral("/.Trash-%1").arg(::geteuid());
    EXPECT_TRUE(QFileInfo::exists(trash + QStringLiteral("/files/a.jpg")));
    QFile record(trash + QStringLiteral("/info/a.jpg.trashinfo"));
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    EXPECT_TRUE(record.readAll().contains("\nPath=pics/a.jpg\n"));
    shell(QStringLiteral("find . -mindepth 1 -maxdepth 1 ! -name lost+found -exec rm -rf {} +"), top);
    shell(QStringLiteral("find . -mindepth 1 -maxdepth 1 -exec rm -rf {} +"), data);
}

// With the data folder on another disk than the home folder, that disk's files go to the
// home trash, which lies on it, with their whole paths recorded.
TEST(TrashOfTheDataFolder, TakesTheFilesOfItsDisk)
{
    if (Disk::get()->top().isEmpty())
        GTEST_SKIP() << Disk::get()->why.toStdString();
    const QString top = Disk::get()->top();
    const QString file = top + QStringLiteral("/pics/b.jpg");
    ASSERT_TRUE(QDir().mkpath(top + QStringLiteral("/pics")) && QDir().mkpath(top + QStringLiteral("/data")));
    {
        QFile made(file);
        ASSERT_TRUE(made.open(QIODevice::WriteOnly));
    }
    QProcess mover; // GLib has read this process's folders already
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), QDir::tempPath());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), top + QStringLiteral("/data"));
    mover.setProcessEnvironment(environment);
    mover.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--trash"), file});
    ASSERT_TRUE(mover.waitForFinished(60000));
    EXPECT_EQ(mover.exitCode(), 0);
    EXPECT_TRUE(QFileInfo::exists(top + QStringLiteral("/data/Trash/files/b.jpg")));
    QFile record(top + QStringLiteral("/data/Trash/info/b.jpg.trashinfo"));
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    EXPECT_TRUE(record.readAll().contains("\nPath=" + QFile::encodeName(file).toPercentEncoding("/") + '\n'));
    shell(QStringLiteral("find . -mindepth 1 -maxdepth 1 ! -name lost+found -exec rm -rf {} +"), top);
}

} // namespace

// GLib reads HOME and XDG_DATA_HOME once, so the process has its home before anything
// runs. "--trash PATH" moves one file and exits 0 when it moved (for the second user).
int main(int argc, char **argv)
{
    if (argc == 3 && QByteArray(argv[1]) == "--trash")
        return moveFileToTrash(QFile::decodeName(argv[2])) == TrashResult::Moved ? 0 : 1;
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.filePath(QStringLiteral("cache"))));
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
