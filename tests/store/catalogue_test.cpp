#include "catalogue/catalogue.h"
#include "faults.h"
#include "storetestutil.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <random>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray bytesOf(const SignatureTable &t)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(writeCatalogue(buffer, t));
    return buffer.data();
}

CatalogueResult readBytes(const QByteArray &data, SignatureTable &t)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    return readCatalogue(buffer, t);
}

QByteArray le16(int v)
{
    const uint16_t x = qToLittleEndian(static_cast<uint16_t>(v));
    return QByteArray(reinterpret_cast<const char *>(&x), 2);
}

QByteArray record(const Signature &cells, const QByteArray &name)
{
    QByteArray r;
    for (int16_t v : cells)
        r += le16(v);
    return r + le16(name.size()) + name;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(CatalogueFile, ExactSizesOfANewStoreAndOfOneEntry)
{
    // A new store writes 388 bytes; one entry with an 8-byte path writes 396 and no spare record.
    SignatureTable t;
    const QByteArray empty = bytesOf(t);
    EXPECT_EQ(empty.size(), 388);
    EXPECT_EQ(empty, le16(0) + QByteArray(384, '\0') + le16(0));

    t.append(QStringLiteral("/p/a.jp"), filledSignature(1)); // 7 bytes
    t.clear();
    EXPECT_EQ(bytesOf(t), le16(0) + record(filledSignature(1), "/p/a.jp")) << "the cleared entry stays as the spare";
    SignatureTable one;
    one.append(QStringLiteral("/p/a.jpg"), filledSignature(1));
    const QByteArray data = bytesOf(one);
    EXPECT_EQ(data.size(), 396);
    EXPECT_EQ(data, le16(1) + record(filledSignature(1), "/p/a.jpg"));
}

TEST(CatalogueFile, TheSpareSlotIsWrittenButNotAnEntryAfterLoading)
{
    // Three adds and a removal give count 2 and three records; loading yields 2 entries in order.
    SignatureTable t;
    for (int i = 0; i < 3; ++i)
        t.append(QStringLiteral("/p/%1.jpg").arg(i), filledSignature(i));
    t.remove(0);
    const QByteArray data = bytesOf(t);
    EXPECT_EQ(data, le16(2) + record(filledSignature(1), "/p/1.jpg") + record(filledSignature(2), "/p/2.jpg")
                  + record(filledSignature(2), "/p/2.jpg"));
    SignatureTable loaded;
    const CatalogueResult r = readBytes(data, loaded);
    EXPECT_FALSE(r.failed());
    EXPECT_FALSE(r.damaged());
    ASSERT_EQ(loaded.count(), 2);
    EXPECT_EQ(loaded.name(0), QStringLiteral("/p/1.jpg"));
    EXPECT_EQ(loaded.cells(1), filledSignature(2));
    EXPECT_EQ(bytesOf(loaded).mid(0, 2), le16(2));
}

TEST(CatalogueFile, AFileWithoutSpareLoadsCompletely)
{
    // Count 2 with only two records loads both entries; the spare stays blank.
    const QByteArray data = le16(2) + record(filledSignature(4), "/a.jpg") + record(filledSignature(5), "/b.jpg");
    SignatureTable t;
    const CatalogueResult r = readBytes(data, t);
    EXPECT_EQ(r.status, CatalogueStatus::Ok);
    EXPECT_EQ(t.count(), 2);
    EXPECT_EQ(t.slotCount(), 3);
    EXPECT_EQ(t.name(2), QString());
    EXPECT_EQ(t.name(1), QStringLiteral("/b.jpg"));
}

TEST(CatalogueFile, RoundTripKeepsCountEntriesOrderAndBytes)
{
    // Saving a loaded catalogue gives the same entries and bytes, plus the blank spare the load made;
    // Japanese names count bytes, not characters.
    SignatureTable t;
    t.append(QStringLiteral("/写真/猫.jpg"), filledSignature(1));
    t.append(QStringLiteral("/photos/dog.JPG"), filledSignature(2));
    t.append(QString(), filledSignature(3));
    const QByteArray first = bytesOf(t);
    EXPECT_EQ(first.mid(2 + 384, 2), le16(QStringLiteral("/写真/猫.jpg").toUtf8().size()));
    SignatureTable loaded;
    ASSERT_FALSE(readBytes(first, loaded).damaged());
    EXPECT_EQ(loaded.name(0), QStringLiteral("/写真/猫.jpg"));
    EXPECT_EQ(bytesOf(loaded), first + record(Signature{}, QByteArray()));
}

TEST(CatalogueFile, NamesThatAreNotUtf8AreReadAsCodePage932)
{
    // A name written by a Japanese Windows system (Shift-JIS bytes) opens with the right characters.
    const QByteArray sjis = QByteArray::fromHex("2f8eca905e2f944c2e6a7067"); // "/写真/猫.jpg"
    SignatureTable t;
    ASSERT_FALSE(readBytes(le16(1) + record(filledSignature(1), sjis), t).failed());
    EXPECT_EQ(t.name(0), QStringLiteral("/写真/猫.jpg"));
    EXPECT_EQ(decodeCatalogueName(QByteArray("/plain/ascii.jpg")), QStringLiteral("/plain/ascii.jpg"));
    EXPECT_EQ(decodeCatalogueName(QStringLiteral("/é/ü.jpg").toUtf8()), QStringLiteral("/é/ü.jpg"));
}

struct DamagedCase {
    const char *what;
    QByteArray data;
    bool failed;
    int count;
    bool damaged; // fewer whole entries than counted
};

std::ostream &operator<<(std::ostream &os, const DamagedCase &c) { return os << c.what; }

Signature withCell(int index, int value)
{
    Signature cells = filledSignature(1);
    cells[index] = static_cast<int16_t>(value);
    return cells;
}

class DamagedCatalogue : public ::testing::TestWithParam<DamagedCase>
{
};

TEST_P(DamagedCatalogue, LoadsSafelyWithoutCrashOrUnboundedAllocation)
{
    // Files that are not catalogues fail and leave an empty table; damaged catalogues load
    // what is whole and blank the rest; either way the old content is gone.
    const DamagedCase &c = GetParam();
    SignatureTable t;
    t.append(QStringLiteral("/old.jpg"), filledSignature(9));
    const CatalogueResult r = readBytes(c.data, t);
    EXPECT_EQ(r.failed(), c.failed);
    EXPECT_EQ(r.damaged(), c.damaged);
    EXPECT_EQ(t.count(), c.count);
    EXPECT_EQ(t.slotCount(), t.count() + 1);
    for (int slot = 0; slot < t.slotCount(); ++slot)
        EXPECT_NE(t.name(slot), QStringLiteral("/old.jpg"));
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedCatalogue,
    ::testing::Values(
        DamagedCase{"empty file", QByteArray(), true, 0, true},
        DamagedCase{"one byte", QByteArray(1, '\5'), true, 0, true},
        DamagedCase{"negative count", le16(-3) + record(filledSignature(1), "/a.jpg"), true, 0, true},
        DamagedCase{"a JPEG", QByteArray::fromHex("ffd8ffe000104a46494600010100000100010000"), true, 0, true},
        DamagedCase{"a text file", QByteArray("# Lumo\n\nFinds look-alike JPEG pictures.\n").repeated(20), true, 0, true},
        DamagedCase{"a cell of 256", le16(2) + record(filledSignature(1), "/a.jpg") + record(withCell(191, 256), "/b.jpg"),
                    true, 0, true},
        DamagedCase{"a negative cell", le16(1) + record(withCell(0, -1), "/a.jpg"), true, 0, true},
        DamagedCase{"a bad cell where the file ends", le16(3) + record(filledSignature(1), "/a.jpg") + le16(7) + le16(300),
                    true, 0, true},
        DamagedCase{"bad cells in the spare only", le16(1) + record(filledSignature(1), "/a.jpg") + record(withCell(5, 999), "x"),
                    false, 1, false},
        DamagedCase{"name length past the end", le16(1) + record(filledSignature(1), "/a.jpg").left(384) + le16(500) + "/a",
                    false, 1, true},
        DamagedCase{"ends inside the cells", le16(2) + record(filledSignature(1), "/a.jpg") + QByteArray(100, '\0'), false, 2, true},
        DamagedCase{"fewer records than counted", le16(5) + record(filledSignature(1), "/a.jpg"), false, 5, true}),
    [](const ::testing::TestParamInfo<DamagedCase> &info) {
        std::string name = info.param.what;
        for (char &c : name)
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

TEST(CatalogueFile, CutRecordCountsAsNotRead)
{
    // The record the file ends inside stays blank; the whole ones before it are entries.
    const QByteArray data = le16(2) + record(filledSignature(1), "/a.jpg") + record(filledSignature(2), "/bbbb.jpg").left(390);
    SignatureTable t;
    const CatalogueResult r = readBytes(data, t);
    EXPECT_EQ(r.status, CatalogueStatus::CutRecord);
    EXPECT_EQ(r.recordsRead, 1);
    EXPECT_EQ(t.name(0), QStringLiteral("/a.jpg"));
    EXPECT_EQ(t.name(1), QString());
    EXPECT_EQ(t.cells(1), Signature{});
}

TEST(CatalogueFile, RandomBytesNeverCrash)
{
    // Files of random bytes load or fail, but stay within the table's bounds.
    std::mt19937 rng(5);
    for (int round = 0; round < 300; ++round) {
        QByteArray data(static_cast<int>(rng() % 4000), '\0');
        for (auto &b : data)
            b = static_cast<char>(rng());
        SignatureTable t;
        const CatalogueResult r = readBytes(data, t);
        ASSERT_LE(t.count(), SignatureTable::MaxEntries);
        if (r.failed()) {
            ASSERT_EQ(t.count(), 0);
        }
    }
}

TEST(CatalogueFile, SaveReplacesTheFileWithNoStrayBytes)
{
    // Saving a shorter catalogue over a longer one leaves exactly the new records.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("c.sbx"));
    SignatureTable big;
    for (int i = 0; i < 5; ++i)
        big.append(QStringLiteral("/long/path/number/%1.jpg").arg(i), filledSignature(i));
    ASSERT_FALSE(saveCatalogue(path, big).failed());
    SignatureTable small;
    ASSERT_FALSE(saveCatalogue(path, small).failed());
    EXPECT_EQ(readFile(path).size(), 388);
    SignatureTable loaded;
    EXPECT_FALSE(loadCatalogue(path, loaded).failed());
    EXPECT_EQ(loaded.count(), 0);
    EXPECT_TRUE(loadCatalogue(dir.filePath(QStringLiteral("missing.sbx")), loaded).failed());
}

TEST(CatalogueFile, FailedSaveLeavesTheOldCatalogueByteForByte)
{
    // In a read-only folder the save reports failure and the existing catalogue is untouched.
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("ro"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/c.sbx");
    SignatureTable old;
    old.append(QStringLiteral("/keep/me.jpg"), filledSignature(1));
    ASSERT_FALSE(saveCatalogue(path, old).failed());
    const QByteArray before = readFile(path);
    ASSERT_EQ(::chmod(folder.toLocal8Bit().constData(), 0555), 0);
    ::chmod(dir.path().toLocal8Bit().constData(), 0755);

    SignatureTable changed;
    changed.append(QStringLiteral("/other.jpg"), filledSignature(2));
    bool failed = false;
    if (::geteuid() == 0) {
        // Root writes anywhere, so the save runs in a child that gives up its rights.
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(3);
            ::_exit(saveCatalogue(path, changed).failed() ? 1 : 0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 3);
        failed = WEXITSTATUS(status) == 1;
    } else {
        failed = saveCatalogue(path, changed).failed();
    }
    ::chmod(folder.toLocal8Bit().constData(), 0755);
    EXPECT_TRUE(failed);
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temporary left behind
}

struct FullDiskCase {
    const char *what;
    int entries;
    int room; // bytes the disk takes before it is full; -1: one byte short of the new file
};

std::ostream &operator<<(std::ostream &os, const FullDiskCase &c) { return os << c.what; }

class SaveOnAFullDisk : public ::testing::TestWithParam<FullDiskCase>
{
};

TEST_P(SaveOnAFullDisk, FailsAndLeavesTheOldCatalogueByteForByte)
{
    // Wherever the disk fills up, the save reports failure, the old catalogue keeps every
    // byte and no temporary file is left behind.
    const FullDiskCase &c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("c.sbx"));
    SignatureTable old;
    old.append(QStringLiteral("/keep/me.jpg"), filledSignature(1));
    ASSERT_FALSE(saveCatalogue(path, old).failed());
    const QByteArray before = readFile(path);

    SignatureTable changed;
    for (int i = 0; i < c.entries; ++i)
        changed.append(QStringLiteral("/pictures/%1.jpg").arg(i), filledSignature(i));
    QBuffer whole;
    whole.open(QIODevice::WriteOnly);
    ASSERT_TRUE(writeCatalogue(whole, changed));
    bool failed = false;
    {
        faults::FileSizeLimit full(c.room < 0 ? whole.data().size() - 1 : c.room);
        ASSERT_TRUE(full.isSet());
        failed = saveCatalogue(path, changed).failed();
    }
    EXPECT_TRUE(failed);
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("c.sbx")});
}

INSTANTIATE_TEST_SUITE_P(Catalogues, SaveOnAFullDisk,
                         ::testing::Values(FullDiskCase{"small_no_room", 3, 0}, FullDiskCase{"small_some_room", 3, 500},
                                           FullDiskCase{"small_one_byte_short", 3, -1},
                                           FullDiskCase{"large_no_room", 300, 0},
                                           FullDiskCase{"large_half_the_room", 300, 60000},
                                           FullDiskCase{"large_one_byte_short", 300, -1}),
                         [](const ::testing::TestParamInfo<FullDiskCase> &info) { return std::string(info.param.what); });

TEST(CatalogueFile, ATableOfMoreEntriesThanTheCountCarriesIsNotWritten)
{
    // A store past 32,767 entries is saved in several files; one file of it all would
    // carry a count that reads back negative.
    SignatureTable table(SignatureTable::Unlimited);
    for (int i = 0; i <= SignatureTable::MaxEntries; ++i)
        ASSERT_TRUE(table.append(QString(), filledSignature(i)));
    EXPECT_EQ(table.count(), SignatureTable::MaxEntries + 1);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_FALSE(writeCatalogue(buffer, table));
    EXPECT_TRUE(buffer.data().isEmpty());

    SignatureTable one;
    for (int i = 0; i < SignatureTable::MaxEntries; ++i)
        ASSERT_TRUE(one.append(QString(), filledSignature(i)));
    EXPECT_FALSE(one.append(QString(), filledSignature(0)));
}
