#include "files/fileidentity.h"
#include "search/keeprules.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool touch(const QString &path, const QByteArray &bytes = "picture")
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool link(const QString &target, const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) == 0;
}

// Two small disks of their own, each with one fresh file: on tmpfs both files are likely
// to get the same inode number.
struct TwoDisks {
    QString problem;
    std::vector<QString> mounted;
    ~TwoDisks()
    {
        for (const QString &folder : mounted)
            ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
    }
    bool mount(const QString &folder)
    {
        QDir().mkpath(folder);
        if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64k") != 0) {
            problem = QStringLiteral("no tmpfs here: ") + QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        mounted.push_back(folder);
        return true;
    }
};

struct IdentityCase {
    const char *name;
    // Makes the group's pictures in `dir`; their paths (the first is the larger file, so the
    // one kept), or a reason when this machine cannot make them.
    std::function<QString(const QString &dir, QStringList &pictures, TwoDisks &disks)> plant;
    const char *protect;           // a protected folder, from dir; nullptr: none
    std::vector<int> drop;         // what the plan drops
};

void PrintTo(const IdentityCase &row, std::ostream *out) { *out << row.name; }

std::vector<IdentityCase> identityCases()
{
    return {
        {"a kept link keeps its real file",
         [](const QString &dir, QStringList &pictures, TwoDisks &) {
             touch(dir + QStringLiteral("/real.jpg"));
             link(dir + QStringLiteral("/real.jpg"), dir + QStringLiteral("/link.jpg"));
             pictures = {dir + QStringLiteral("/link.jpg"), dir + QStringLiteral("/real.jpg")};
             return QString();
         },
         nullptr, {}},
        {"equal inodes on two devices are two files",
         [](const QString &dir, QStringList &pictures, TwoDisks &disks) {
             if (::geteuid() != 0)
                 return QStringLiteral("mounting needs root");
             if (!disks.mount(dir + QStringLiteral("/one")) || !disks.mount(dir + QStringLiteral("/two")))
                 return disks.problem;
             pictures = {dir + QStringLiteral("/one/a.jpg"), dir + QStringLiteral("/two/a.jpg")};
             touch(pictures[0]);
             touch(pictures[1]);
             struct stat one {}, two {};
             ::stat(QFile::encodeName(pictures[0]).constData(), &one);
             ::stat(QFile::encodeName(pictures[1]).constData(), &two);
             return one.st_ino == two.st_ino ? QString() : QStringLiteral("the two disks gave different inodes");
         },
         nullptr, {1}},
        {"a link inside a protected folder, pointing elsewhere, is protected",
         [](const QString &dir, QStringList &pictures, TwoDisks &) {
             touch(dir + QStringLiteral("/kept.jpg"));
             touch(dir + QStringLiteral("/elsewhere/real.jpg"));
             link(dir + QStringLiteral("/elsewhere/real.jpg"), dir + QStringLiteral("/keep/link.jpg"));
             pictures = {dir + QStringLiteral("/kept.jpg"), dir + QStringLiteral("/keep/link.jpg")};
             return QString();
         },
         "keep", {}},
        {"a link elsewhere to a picture inside a protected folder is protected",
         [](const QString &dir, QStringList &pictures, TwoDisks &) {
             touch(dir + QStringLiteral("/kept.jpg"));
             touch(dir + QStringLiteral("/keep/real.jpg"));
             link(dir + QStringLiteral("/keep/real.jpg"), dir + QStringLiteral("/elsewhere/link.jpg"));
             pictures = {dir + QStringLiteral("/kept.jpg"), dir + QStringLiteral("/elsewhere/link.jpg")};
             return QString();
         },
         "keep", {}},
        {"a picture outside the protected folder goes",
         [](const QString &dir, QStringList &pictures, TwoDisks &) {
             touch(dir + QStringLiteral("/kept.jpg"));
             touch(dir + QStringLiteral("/elsewhere/other.jpg"));
             pictures = {dir + QStringLiteral("/kept.jpg"), dir + QStringLiteral("/elsewhere/other.jpg")};
             return QString();
         },
         "keep", {1}},
    };
}

using FileIsPicture = testing::TestWithParam<IdentityCase>;

// A picture is its file: another path to the file kept is never dropped, two files are
// two whatever their inode numbers, and a protected picture stays wherever its path or its
// file lies.
TEST_P(FileIsPicture, DropsOnlyOtherFiles)
{
    const IdentityCase &row = GetParam();
    QTemporaryDir dir;
    QStringList pictures;
    TwoDisks disks;
    const QString problem = row.plant(dir.path(), pictures, disks);
    if (!problem.isEmpty())
        GTEST_SKIP() << problem.toStdString();
    std::vector<PictureFacts> facts(size_t(pictures.size()));
    for (qsizetype i = 0; i < pictures.size(); ++i) {
        facts[size_t(i)].readable = true;
        facts[size_t(i)].bytes = i == 0 ? 2000 : 1000;
        facts[size_t(i)].identity = fileIdentity(pictures[i]);
    }
    const ProtectedFolders protect(row.protect ? QStringList{dir.filePath(QLatin1String(row.protect))} : QStringList{});
    const KeepPlan plan = planGroup(pictures, facts, {KeepRule::Size}, protect);
    EXPECT_EQ(plan.keep, 0);
    EXPECT_EQ(plan.drop, row.drop);
}

INSTANTIATE_TEST_SUITE_P(Identity, FileIsPicture, testing::ValuesIn(identityCases()),
                         [](const testing::TestParamInfo<IdentityCase> &info) {
                             std::string name;
                             for (const char *c = info.param.name; *c; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name;
                         });

} // namespace

namespace {

struct SameFileCase {
    const char *name;
    const char *dropped;      // from the test's folder
    qsizetype expected;       // its place among the catalogue's paths, -1 for none
};

void PrintTo(const SameFileCase &row, std::ostream *out) { *out << row.name; }

class SameFileIn : public ::testing::TestWithParam<SameFileCase>
{
};

} // namespace

TEST_P(SameFileIn, FindsTheEntryOfTheSameFile)
{
    // A file is found among the catalogue's paths by the file it is, whatever way it is named.
    // Catalogue: pictures/a.jpg, linked/b.jpg (a link to pictures/b.jpg), pictures/c.jpg.
    const SameFileCase &row = GetParam();
    QTemporaryDir dir;
    const QString root = dir.path();
    ASSERT_TRUE(touch(root + QStringLiteral("/pictures/a.jpg")));
    ASSERT_TRUE(touch(root + QStringLiteral("/pictures/b.jpg")));
    ASSERT_TRUE(touch(root + QStringLiteral("/pictures/c.jpg")));
    ASSERT_TRUE(touch(root + QStringLiteral("/other/a.jpg")));
    ASSERT_TRUE(link(root + QStringLiteral("/pictures/b.jpg"), root + QStringLiteral("/linked/b.jpg")));
    ASSERT_TRUE(link(root + QStringLiteral("/pictures"), root + QStringLiteral("/folder")));
    ASSERT_TRUE(link(root + QStringLiteral("/pictures/c.jpg"), root + QStringLiteral("/other/c-link.jpg")));
    const QStringList catalogue{root + QStringLiteral("/pictures/a.jpg"), root + QStringLiteral("/linked/b.jpg"),
                                root + QStringLiteral("/pictures/c.jpg")};
    EXPECT_EQ(sameFileIn(catalogue, root + QLatin1Char('/') + QLatin1String(row.dropped)), row.expected) << row.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SameFileIn,
    ::testing::Values(SameFileCase{"the same spelling", "pictures/a.jpg", 0},
                      SameFileCase{"through a linked folder", "folder/a.jpg", 0},
                      SameFileCase{"the real file of an entry that is a link", "pictures/b.jpg", 1},
                      SameFileCase{"a link of another name to an entry", "other/c-link.jpg", 2},
                      SameFileCase{"another file of the same name", "other/a.jpg", -1},
                      SameFileCase{"a file that is not there", "pictures/z.jpg", -1}),
    [](const auto &info) { return std::to_string(info.index); });

TEST(CleanFullPath, NamesTheSameFileWithoutDotsOrDoubledSlashes)
{
    // pictures/a.jpg, and linked -> pictures/deep: ".." after the link leads to pictures.
    // Paths under the test's folder unless they start with '/'.
    struct {
        const char *name, *path, *expected;
    } const rows[] = {
        {"already clean", "pictures/a.jpg", "pictures/a.jpg"},
        {"the root", "/", "/"},
        {"a doubled slash", "pictures//a.jpg", "pictures/a.jpg"},
        {"a dot folder", "pictures/./a.jpg", "pictures/a.jpg"},
        {"a closing slash", "pictures/", "pictures"},
        {"a closing dot", "pictures/.", "pictures"},
        {"up from a real folder", "pictures/deep/../a.jpg", "pictures/a.jpg"},
        {"up from a link leads to its target's parent", "linked/../a.jpg", "pictures/a.jpg"},
        {"a closing up", "pictures/deep/..", "pictures"},
        {"names that only begin with dots", "pictures/.a.jpg", "pictures/.a.jpg"},
        {"a name of three dots", "pictures/.../a.jpg", "pictures/.../a.jpg"},
        {"a name ending in dots", "pictures/a../b..", "pictures/a../b.."},
    };
    QTemporaryDir dir;
    const QString root = QFileInfo(dir.path()).canonicalFilePath();
    ASSERT_TRUE(touch(root + QStringLiteral("/pictures/a.jpg")));
    ASSERT_TRUE(touch(root + QStringLiteral("/pictures/deep/b.jpg")));
    ASSERT_TRUE(link(root + QStringLiteral("/pictures/deep"), root + QStringLiteral("/linked")));
    const auto under = [&root](const char *path) {
        return path[0] == '/' ? QString::fromUtf8(path) : root + QLatin1Char('/') + QString::fromUtf8(path);
    };
    for (const auto &row : rows)
        EXPECT_EQ(cleanFullPath(under(row.path)), under(row.expected)) << row.name;
}
