#include "pictures/factsstore.h"
#include "pictures/picturefacts.h"
#include "search/keeprules.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>

#include <unistd.h>

namespace {

bool writePicture(const QString &path, int seed, int quality = 85)
{
    QImage image(96, 64, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(seed * 37 % 360, 160, 200));
    QPainter painter(&image);
    for (int i = 0; i < 12; ++i)
        painter.fillRect((seed * 13 + i * 17) % 90, (i * 11) % 60, 7, 5, QColor::fromHsv(i * 30, 255, 90));
    painter.end();
    return image.save(path, "JPEG", quality);
}

// Keeps the file's time as it was, as a copy that keeps its times does.
void setTime(const QString &path, qint64 seconds)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    ASSERT_TRUE(file.setFileTime(QDateTime::fromSecsSinceEpoch(seconds), QFileDevice::FileModificationTime));
}

// A store's knowledge of a file, as a second run sees it: through a store opened anew.
bool knownToANewStore(const QString &database, const QString &picture)
{
    FactsStore store(database);
    PictureFacts facts;
    const auto key = factsKey(picture);
    return key && store.find(*key, facts);
}

class FactsStoreTest : public ::testing::Test
{
protected:
    QTemporaryDir temp;
    QString database() const { return temp.filePath(QStringLiteral("cache/lumo/facts.sqlite")); }
    QString picture(int i) const { return temp.filePath(QStringLiteral("p%1.jpg").arg(i)); }
};

// Facts read in one run come from the store in the next, the same as read from the file.
TEST_F(FactsStoreTest, ASecondRunFindsTheFacts)
{
    ASSERT_TRUE(writePicture(picture(0), 0));
    const PictureFacts read = readPictureFacts(picture(0));
    {
        PictureFactsCache cache(std::make_shared<FactsStore>(database()));
        EXPECT_EQ(cache.facts(picture(0)).detail, read.detail);
    }
    ASSERT_TRUE(knownToANewStore(database(), picture(0)));
    PictureFactsCache again(std::make_shared<FactsStore>(database()));
    const PictureFacts stored = again.facts(picture(0));
    EXPECT_EQ(stored.detail, read.detail);
    EXPECT_EQ(stored.quality, read.quality);
    EXPECT_EQ(stored.pixels, read.pixels);
    EXPECT_EQ(stored.bytes, read.bytes);
    EXPECT_EQ(stored.modified, read.modified);
    EXPECT_TRUE(stored.identity.sameFile(read.identity));
    ASSERT_TRUE(stored.counts);
    EXPECT_EQ(stored.counts->all, read.counts->all);
    EXPECT_EQ(stored.counts->fine, read.counts->fine);
}

// A file written anew, or given another time, is read again; its old facts are not used.
TEST_F(FactsStoreTest, AChangedFileIsReadAgain)
{
    struct Change {
        const char *name;
        bool rewrite; // else only the time changes
    };
    for (const Change change : {Change{"rewritten", true}, Change{"touched", false}}) {
        SCOPED_TRACE(change.name);
        ASSERT_TRUE(writePicture(picture(1), 1, 90));
        setTime(picture(1), 1600000000);
        {
            PictureFactsCache cache(std::make_shared<FactsStore>(database()));
            EXPECT_EQ(cache.facts(picture(1)).quality, 90);
        }
        ASSERT_TRUE(knownToANewStore(database(), picture(1)));
        if (change.rewrite) {
            ASSERT_TRUE(writePicture(picture(1), 1, 40));
            setTime(picture(1), 1600000000);
        } else {
            setTime(picture(1), 1600000001);
        }
        EXPECT_FALSE(knownToANewStore(database(), picture(1)));
        PictureFactsCache cache(std::make_shared<FactsStore>(database()));
        EXPECT_EQ(cache.facts(picture(1)).quality, change.rewrite ? 40 : 90);
    }
}

// A database that is not one, or whose pages are damaged, is started anew and used.
TEST_F(FactsStoreTest, ADamagedDatabaseIsRebuilt)
{
    struct Damage {
        const char *name;
        qint64 at;  // where the bytes are overwritten
        int length; // 0: the file is cut to `at`
    };
    for (const Damage damage : {Damage{"header", 0, 100}, Damage{"pages", 4096, 8192}, Damage{"cut", 1000, 0}}) {
        SCOPED_TRACE(damage.name);
        QFile::remove(database());
        for (int i = 0; i < 40; ++i)
            ASSERT_TRUE(writePicture(picture(i), i));
        {
            PictureFactsCache cache(std::make_shared<FactsStore>(database()));
            for (int i = 0; i < 40; ++i)
                cache.facts(picture(i));
        }
        {
            QFile file(database());
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            if (damage.length == 0) {
                ASSERT_TRUE(file.resize(damage.at));
            } else {
                ASSERT_TRUE(file.seek(damage.at));
                file.write(QByteArray(damage.length, '\x5A'));
            }
        }
        FactsStore store(database());
        ASSERT_TRUE(store.isOpen());
        PictureFacts facts;
        for (int i = 0; i < 40; ++i)
            store.find(*factsKey(picture(i)), facts); // whatever survived, never a crash
        const auto key = factsKey(picture(0));
        store.put(*key, readPictureFacts(picture(0)));
        store.flush();
        EXPECT_TRUE(store.find(*key, facts));
        EXPECT_GE(store.count(), 1);
    }
}

// Two processes' stores (the window's and lumo-cli's) writing at once both keep everything.
TEST_F(FactsStoreTest, WritersAtOnceLoseNothing)
{
    constexpr int Pictures = 60;
    for (int i = 0; i < Pictures; ++i)
        ASSERT_TRUE(writePicture(picture(i), i));
    const PictureFacts facts = readPictureFacts(picture(0));
    FactsStore first(database()); // created before the writers race for it
    auto write = [&](int from) {
        FactsStore store(database());
        for (int round = 0; round < 20; ++round) {
            for (int i = from; i < Pictures; i += 2)
                store.put(*factsKey(picture(i)), facts);
            store.flush();
        }
    };
    std::thread window(write, 0);
    std::thread cli(write, 1);
    window.join();
    cli.join();
    EXPECT_EQ(first.count(), Pictures);
    for (int i = 0; i < Pictures; ++i)
        EXPECT_TRUE(knownToANewStore(database(), picture(i))) << i;
}

// Entries unused for longer than the store keeps them go when it opens; used ones stay.
TEST_F(FactsStoreTest, EntriesUnusedForAYearGo)
{
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(writePicture(picture(i), i));
    {
        FactsStore store(database());
        for (int i = 0; i < 2; ++i)
            store.put(*factsKey(picture(i)), readPictureFacts(picture(i)));
    }
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(database()).constData(), &db), SQLITE_OK);
    const qint64 today = QDateTime::currentSecsSinceEpoch() / 86400;
    const QByteArray age = "UPDATE facts SET used = " + QByteArray::number(today - FactsStore::KeptDays - 1)
                           + " WHERE inode = " + QByteArray::number(qulonglong(factsKey(picture(0))->inode));
    EXPECT_EQ(sqlite3_exec(db, age.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    EXPECT_FALSE(knownToANewStore(database(), picture(0)));
    EXPECT_TRUE(knownToANewStore(database(), picture(1)));
}

// Records that are not the store's own are refused, never half read.
TEST(FactsRecord, DamagedRecordsAreRefused)
{
    QTemporaryDir temp;
    const QString path = temp.filePath(QStringLiteral("p.jpg"));
    ASSERT_TRUE(writePicture(path, 3));
    const QByteArray record = encodeFacts(readPictureFacts(path));
    PictureFacts facts;
    ASSERT_TRUE(decodeFacts(record, facts));
    EXPECT_FALSE(decodeFacts({}, facts));
    EXPECT_FALSE(decodeFacts(record.left(record.size() - 1), facts));
    EXPECT_FALSE(decodeFacts(record + 'x', facts));
    EXPECT_FALSE(decodeFacts(QByteArray(40, '\xFF'), facts));
}

// Counts no picture can have: more strong coefficients than its blocks hold, or more fine
// ones than strong ones.
TEST(FactsRecord, ImpossibleCountsAreRefused)
{
    QTemporaryDir temp;
    const QString path = temp.filePath(QStringLiteral("p.jpg"));
    ASSERT_TRUE(writePicture(path, 3));
    const PictureFacts read = readPictureFacts(path);
    ASSERT_TRUE(read.counts);
    struct Impossible {
        const char *name;
        size_t quality; // of DetailQualities
        quint64 all, fine; // in blocks' worth of coefficients
    };
    for (const Impossible c : {Impossible{"AllOver63", 0, 64, 0}, Impossible{"FineOver63", 17, 64, 64},
                               Impossible{"FineOverAll", 8, 2, 3}}) {
        SCOPED_TRACE(c.name);
        auto counts = std::make_shared<DetailCounts>(*read.counts);
        counts->all[c.quality] = c.all * quint64(counts->blocks);
        counts->fine[c.quality] = c.fine * quint64(counts->blocks);
        PictureFacts damaged = read;
        damaged.counts = counts;
        PictureFacts facts;
        EXPECT_FALSE(decodeFacts(encodeFacts(damaged), facts));
    }
}

struct RankingCase {
    const char *name;
    std::vector<int> qualities; // one picture each, of one scene
};

void PrintTo(const RankingCase &c, std::ostream *os) { *os << c.name; }

class CachedRanking : public ::testing::TestWithParam<RankingCase>
{
protected:
    QTemporaryDir temp;
};

// A second run ranks a group from the store as the first ranked it from the files: the
// same detail at the group's coarsest quantisation, the same picture kept.
TEST_P(CachedRanking, IsTheFreshRanking)
{
    const RankingCase &c = GetParam();
    const QString database = temp.filePath(QStringLiteral("facts.sqlite"));
    QStringList pictures;
    std::vector<PictureFacts> fresh;
    for (size_t i = 0; i < c.qualities.size(); ++i) {
        pictures << temp.filePath(QStringLiteral("p%1.jpg").arg(i));
        ASSERT_TRUE(writePicture(pictures.back(), 5, c.qualities[i]));
        setTime(pictures.back(), 1600000000 + qint64(i));
        fresh.push_back(readPictureFacts(pictures.back()));
    }
    {
        PictureFactsCache first(std::make_shared<FactsStore>(database));
        for (const QString &picture : pictures)
            first.facts(picture);
    }
    PictureFactsCache second(std::make_shared<FactsStore>(database));
    std::vector<PictureFacts> stored;
    for (const QString &picture : pictures) {
        ASSERT_TRUE(knownToANewStore(database, picture));
        stored.push_back(second.facts(picture));
    }
    const auto measuredOf = [](const std::vector<PictureFacts> &facts) {
        std::vector<const PictureFacts *> measured;
        for (const PictureFacts &each : facts)
            measured.push_back(&each);
        return measured;
    };
    const DetailSteps steps = coarsestSteps(measuredOf(fresh));
    EXPECT_EQ(coarsestSteps(measuredOf(stored)), steps);
    for (size_t i = 0; i < pictures.size(); ++i) {
        for (const DetailFrequencies frequencies : {DetailFrequencies::All, DetailFrequencies::Fine})
            EXPECT_EQ(detailAtSteps(stored[i], steps, frequencies), detailAtSteps(fresh[i], steps, frequencies)) << i;
    }
    EXPECT_EQ(planGroup(pictures, stored, {KeepRule::Best}, ProtectedFolders()).keep,
              planGroup(pictures, fresh, {KeepRule::Best}, ProtectedFolders()).keep);
}

INSTANTIATE_TEST_SUITE_P(Groups, CachedRanking,
                         ::testing::Values(RankingCase{"FinerResaves", {85, 95, 98}},
                                           RankingCase{"HeavyRecompression", {90, 40, 70}},
                                           RankingCase{"BetweenTheKeptQualities", {93, 91, 99}},
                                           RankingCase{"Lowest", {3, 100}}),
                         [](const ::testing::TestParamInfo<RankingCase> &info) { return std::string(info.param.name); });

struct NameCase {
    const char *name;
    const char *make; // how the second name comes to be: "link", "symlink", "spelling", "copy"
    int quality;      // that name's quality once the file changed under the first one
};

void PrintTo(const NameCase &c, std::ostream *os) { *os << c.name; }

class FactsCacheNames : public ::testing::TestWithParam<NameCase>
{
protected:
    QTemporaryDir temp;
};

// The pictures' bytes at one length, so that a file rewritten in place keeps its size.
QByteArray paddedTo(const QString &path, qint64 length)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.readAll();
    return bytes.size() <= length ? bytes + QByteArray(length - bytes.size(), '\0') : QByteArray();
}

// Another name of a file read before is not read again, while another file is. The file is
// rewritten in place at its size and time after the first read, so that only a read shows
// the change.
TEST_P(FactsCacheNames, AFileIsReadOnceWhateverItsName)
{
    const NameCase &c = GetParam();
    const QString first = temp.filePath(QStringLiteral("p.jpg"));
    const QString fine = temp.filePath(QStringLiteral("fine.jpg"));
    const QString coarse = temp.filePath(QStringLiteral("coarse.jpg"));
    ASSERT_TRUE(writePicture(fine, 3, 90) && writePicture(coarse, 3, 40));
    const qint64 length = std::max(QFileInfo(fine).size(), QFileInfo(coarse).size()) + 16;
    const QByteArray before = paddedTo(fine, length);
    const QByteArray after = paddedTo(coarse, length);
    ASSERT_FALSE(before.isEmpty() || after.isEmpty());
    const auto write = [length](const QString &path, const QByteArray &bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite)); // in place: the same file
        ASSERT_EQ(file.write(bytes), length);
        file.close();
        setTime(path, 1600000000);
    };
    write(first, before);
    const QString second = c.make == std::string("spelling") ? temp.path() + QStringLiteral("/./p.jpg")
                                                             : temp.filePath(QStringLiteral("q.jpg"));
    if (c.make == std::string("link"))
        ASSERT_TRUE(::link(QFile::encodeName(first).constData(), QFile::encodeName(second).constData()) == 0);
    else if (c.make == std::string("symlink"))
        ASSERT_TRUE(QFile::link(first, second));
    else if (c.make == std::string("copy"))
        write(second, before);

    PictureFactsCache cache;
    ASSERT_EQ(cache.facts(first).quality, 90);
    write(first, after);
    if (c.make == std::string("copy"))
        write(second, after);
    EXPECT_EQ(cache.facts(second).quality, c.quality);
    EXPECT_EQ(cache.facts(first).quality, 90);
}

INSTANTIATE_TEST_SUITE_P(Names, FactsCacheNames,
                         ::testing::Values(NameCase{"HardLink", "link", 90}, NameCase{"SymbolicLink", "symlink", 90},
                                           NameCase{"OtherSpelling", "spelling", 90}, NameCase{"OtherFile", "copy", 40}),
                         [](const ::testing::TestParamInfo<NameCase> &info) { return std::string(info.param.name); });

// The cache holds no picture's counts in full once it has handed them out, and what it gives
// again measures the same at every quantisation a comparison can ask for.
TEST_F(FactsStoreTest, TheCacheLetsGoOfTheCounts)
{
    ASSERT_TRUE(writePicture(picture(0), 0, 70));
    PictureFactsCache cache;
    std::weak_ptr<const DetailCounts> held;
    PictureFacts read;
    {
        const PictureFacts first = cache.facts(picture(0));
        ASSERT_TRUE(first.counts);
        held = first.counts;
        read = first;
        read.counts = std::make_shared<DetailCounts>(*first.counts);
    }
    EXPECT_TRUE(held.expired());
    const PictureFacts again = cache.facts(picture(0));
    ASSERT_TRUE(again.counts);
    EXPECT_EQ(again.detail, read.detail);
    EXPECT_EQ(again.counts->all, read.counts->all);
    EXPECT_EQ(again.counts->fine, read.counts->fine);
}

} // namespace
