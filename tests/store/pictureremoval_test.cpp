#include "files/pictureremoval.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <string>
#include <vector>

namespace {

// Two catalogues over the test's folder (a.jpg .. d.jpg are files there, gone.jpg is not):
//   0: a.jpg, b.jpg, ""(an unnamed entry), a.jpg again, gone.jpg
//   1: "sub/../b.jpg" (stored uncleaned), c.jpg, d.jpg
// Paths in the rows are under the folder; "!" before one makes the mover fail on it.
struct RemovalCase {
    const char *name;
    std::vector<const char *> paths;
    bool move;
    std::vector<std::vector<int>> entries; // per catalogue, ascending
    std::vector<const char *> unknown;
    std::vector<const char *> kept;
    std::vector<const char *> moved;
};

void PrintTo(const RemovalCase &row, std::ostream *out) { *out << row.name; }

class RemovePictures : public ::testing::TestWithParam<RemovalCase>
{
};

} // namespace

TEST_P(RemovePictures, TakesEveryEntryOfTheNamedPicturesOnly)
{
    const RemovalCase &row = GetParam();
    QTemporaryDir dir;
    const QString root = QFileInfo(dir.path()).canonicalFilePath();
    ASSERT_TRUE(QDir(root).mkdir(QStringLiteral("sub")));
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) {
        QFile file(root + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const auto under = [&root](const char *path) { return root + QLatin1Char('/') + QString::fromUtf8(path); };
    const std::vector<QStringList> catalogues{
        {under("a.jpg"), under("b.jpg"), QString(), under("a.jpg"), under("gone.jpg")},
        {under("sub/../b.jpg"), under("c.jpg"), under("d.jpg")}};

    QStringList paths;
    QStringList failing;
    for (const char *path : row.paths) {
        if (path[0] == '\0') {
            paths << QString();
        } else if (path[0] == '!') {
            paths << under(path + 1);
            failing << under(path + 1);
        } else {
            paths << under(path);
        }
    }
    QStringList handed;
    const FileMover mover = [&](const QStringList &files) {
        handed = files;
        QStringList failed;
        for (const QString &file : files) {
            if (failing.contains(file))
                failed << file;
        }
        return failed;
    };
    const PictureRemoval removal = removePictures(catalogues, paths, row.move ? mover : FileMover());

    const auto all = [&under](const std::vector<const char *> &names) {
        QStringList list;
        for (const char *name : names)
            list << under(name);
        return list;
    };
    EXPECT_EQ(removal.entries, row.entries);
    EXPECT_EQ(removal.unknown, all(row.unknown));
    EXPECT_EQ(removal.kept, all(row.kept));
    EXPECT_EQ(removal.moved, all(row.moved));
    // Only files still there are handed over, each once.
    QStringList expectedHanded = row.move ? all(row.moved) + all(row.kept) : QStringList();
    expectedHanded.sort();
    handed.sort();
    EXPECT_EQ(handed, expectedHanded);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RemovePictures,
    ::testing::Values(
        RemovalCase{"a picture held twice leaves with both entries", {"a.jpg"}, false, {{0, 3}, {}}, {}, {}, {}},
        RemovalCase{"an entry stored uncleaned is found", {"b.jpg"}, false, {{1}, {0}}, {}, {}, {}},
        RemovalCase{"another spelling finds the entries", {"sub/./../c.jpg"}, false, {{}, {1}}, {}, {}, {}},
        RemovalCase{"a doubled slash finds the entries", {"sub/..//d.jpg"}, false, {{}, {2}}, {}, {}, {}},
        RemovalCase{"a picture in no catalogue is unknown", {"x.jpg", "c.jpg"}, false, {{}, {1}}, {"x.jpg"}, {}, {}},
        RemovalCase{"a picture named twice is handled once", {"c.jpg", "./c.jpg"}, true, {{}, {1}}, {}, {}, {"c.jpg"}},
        RemovalCase{"the unnamed entry is never named", {""}, false, {{}, {}}, {}, {}, {}},
        RemovalCase{"a file already gone only leaves", {"gone.jpg", "d.jpg"}, true, {{4}, {2}}, {}, {}, {"d.jpg"}},
        RemovalCase{"a file that cannot be moved keeps its entries",
                    {"!a.jpg", "b.jpg"}, true, {{1}, {0}}, {}, {"a.jpg"}, {"b.jpg"}},
        RemovalCase{"every picture", {"d.jpg", "c.jpg", "b.jpg", "a.jpg", "gone.jpg"}, false,
                    {{0, 1, 3, 4}, {0, 1, 2}}, {}, {}, {}}),
    [](const auto &info) { return std::to_string(info.index); });
