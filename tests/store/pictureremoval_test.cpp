#include "files/pictureremoval.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <vector>

TEST(RemovePictures, TakesEveryEntryOfTheNamedPicturesOnly)
{
    // Two catalogues over the test's folder (a.jpg .. d.jpg are files there, gone.jpg is not):
    //   0: a.jpg, b.jpg, ""(an unnamed entry), a.jpg again, gone.jpg
    //   1: "sub/../b.jpg" (stored uncleaned), c.jpg, d.jpg
    // Paths in the rows are under the folder; "!" before one makes the mover fail on it.
    using Names = std::vector<const char *>;
    struct {
        const char *name;
        Names paths;
        bool move;
        std::vector<std::vector<int>> entries; // per catalogue, ascending
        Names unknown, kept, moved;
    } const rows[] = {
        {"a picture held twice leaves with both entries", {"a.jpg"}, false, {{0, 3}, {}}, {}, {}, {}},
        {"an entry stored uncleaned is found", {"b.jpg"}, false, {{1}, {0}}, {}, {}, {}},
        {"another spelling finds the entries", {"sub/./../c.jpg"}, false, {{}, {1}}, {}, {}, {}},
        {"a doubled slash finds the entries", {"sub/..//d.jpg"}, false, {{}, {2}}, {}, {}, {}},
        {"a picture in no catalogue is unknown", {"x.jpg", "c.jpg"}, false, {{}, {1}}, {"x.jpg"}, {}, {}},
        {"a picture named twice is handled once", {"c.jpg", "./c.jpg"}, true, {{}, {1}}, {}, {}, {"c.jpg"}},
        {"the unnamed entry is never named", {""}, false, {{}, {}}, {}, {}, {}},
        {"a file already gone only leaves", {"gone.jpg", "d.jpg"}, true, {{4}, {2}}, {}, {}, {"d.jpg"}},
        {"a file that cannot be moved keeps its entries", {"!a.jpg", "b.jpg"}, true, {{1}, {0}}, {}, {"a.jpg"},
         {"b.jpg"}},
        {"every picture", {"d.jpg", "c.jpg", "b.jpg", "a.jpg", "gone.jpg"}, false, {{0, 1, 3, 4}, {0, 1, 2}}, {}, {},
         {}},
    };
    QTemporaryDir dir;
    const QString root = QFileInfo(dir.path()).canonicalFilePath();
    ASSERT_TRUE(QDir(root).mkdir(QStringLiteral("sub")));
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) {
        QFile file(root + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const auto under = [&root](const char *path) {
        return *path ? root + QLatin1Char('/') + QString::fromUtf8(path) : QString();
    };
    const auto all = [&under](const Names &names) {
        QStringList list;
        for (const char *name : names)
            list << under(name[0] == '!' ? name + 1 : name);
        return list;
    };
    const std::vector<QStringList> catalogues{
        {under("a.jpg"), under("b.jpg"), QString(), under("a.jpg"), under("gone.jpg")},
        {under("sub/../b.jpg"), under("c.jpg"), under("d.jpg")}};

    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QStringList failing;
        for (const char *path : row.paths) {
            if (path[0] == '!')
                failing << under(path + 1);
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
        const PictureRemoval removal = removePictures(catalogues, all(row.paths), row.move ? mover : FileMover());
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
}
