// A catalogue of more than 32,767 pictures as the window keeps it (CatalogueSet, under the
// Sigbox): after each operation lumo-cli must read the same pictures in the same order from
// the files on disk, every file a catalogue it accepts, and only the changed files rewritten.

#include "clitestsupport.h"

#include "catalogue/catalogueset.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr int Full = CatalogueSet::PartEntries;
const QDateTime Old = QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);

struct Series {
    QTemporaryDir dir;
    CatalogueSet set;
    QString first() const { return dir.filePath(QStringLiteral("photos.sbx")); }
    QString part(int n) const { return splitCatalogueName(first(), n); }
    void append(int from, int count)
    {
        for (int i = from; i < from + count; ++i)
            ASSERT_TRUE(set.append(pictureName(i), checkValueAgainstGrey(i % 150)));
    }
};

struct SetCase {
    const char *name;
    int start; // entries added and saved before the operation
    std::function<void(Series &)> operation;
    int files;                  // files of the series afterwards
    std::vector<bool> rewritten; // for each file there before the operation
};

class CatalogueSetAsCliReads : public ::testing::TestWithParam<SetCase>
{
};

QStringList namesOf(const SignatureTable &table)
{
    QStringList names;
    for (int i = 0; i < table.count(); ++i)
        names << table.name(i);
    return names;
}

QString listing(const QStringList &names)
{
    QString out;
    for (qsizetype i = 0; i < names.size(); ++i)
        out += QStringLiteral("%1\t%2\n").arg(i).arg(names[i]);
    return out;
}

TEST_P(CatalogueSetAsCliReads, SameCollectionEveryFileValidOnlyChangesWritten)
{
    const SetCase &c = GetParam();
    Series series;
    ASSERT_TRUE(series.dir.isValid());
    series.append(0, c.start);
    ASSERT_FALSE(series.set.save(series.first()).failed());
    const QStringList before = catalogueSeries(series.first());
    for (const QString &file : before) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(Old, QFileDevice::FileModificationTime));
    }

    c.operation(series);

    const QStringList files = catalogueSeries(series.first());
    ASSERT_EQ(files.size(), c.files);
    EXPECT_EQ(series.set.partFiles(), files);
    for (const QString &file : files) {
        SignatureTable table;
        const CatalogueResult read = loadCatalogue(file, table);
        EXPECT_FALSE(read.damaged()) << file.toStdString();
        EXPECT_LE(table.count(), Full) << file.toStdString();
    }
    ASSERT_EQ(c.rewritten.size(), size_t(before.size()));
    for (qsizetype k = 0; k < before.size(); ++k) {
        if (!QFileInfo::exists(before[k]))
            continue;
        const bool rewritten = QFileInfo(before[k]).lastModified().toUTC() != Old;
        EXPECT_EQ(rewritten, c.rewritten[size_t(k)]) << before[k].toStdString();
    }

    const QStringList names = namesOf(series.set.table());
    const CliRun list = runCli(QStringList{QStringLiteral("list")} + files);
    ASSERT_EQ(list.status, 0) << list.err.toStdString();
    EXPECT_TRUE(list.out == listing(names)) << "lumo-cli lists another collection";

    // A second start, from the last file: the same set again.
    CatalogueSet again;
    ASSERT_FALSE(again.load(files.last()).failed());
    EXPECT_EQ(again.firstPart(), series.first());
    EXPECT_TRUE(namesOf(again.table()) == names);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, CatalogueSetAsCliReads,
    ::testing::Values(
        SetCase{"AddPastTheLimit", Full,
                [](Series &s) {
                    s.append(Full, 3);
                    ASSERT_EQ(s.set.partCount(), 2);
                    ASSERT_FALSE(s.set.save(s.first()).failed());
                },
                2, {false}},
        SetCase{"AddHundredToThreeParts", 2 * Full + 10,
                [](Series &s) {
                    s.append(2 * Full + 10, 100);
                    ASSERT_FALSE(s.set.save(s.first()).failed());
                },
                3, {false, false, true}},
        SetCase{"OpenAnyPart", Full + 5,
                [](Series &s) {
                    ASSERT_FALSE(s.set.load(s.part(2)).failed());
                    ASSERT_EQ(s.set.count(), Full + 5);
                    ASSERT_EQ(s.set.partEntries(1), 5);
                },
                2, {false, false}},
        SetCase{"ReadElsewhereThenTakenOver", 2 * Full + 10,
                [](Series &s) {
                    // As the window opens: the store emptied, the series read into a set of
                    // its own, which the store then takes.
                    s.set.clear();
                    CatalogueSet read;
                    ASSERT_FALSE(read.load(s.part(3)).failed());
                    const quint64 generations[] = {s.set.table().generation(), read.table().generation()};
                    s.set.replaceWith(std::move(read));
                    EXPECT_GT(s.set.table().generation(), std::max(generations[0], generations[1]));
                    EXPECT_EQ(read.count(), 0);
                    EXPECT_EQ(read.partCount(), 1);
                    EXPECT_EQ(read.firstPart(), QString());
                    ASSERT_EQ(s.set.count(), 2 * Full + 10);
                    ASSERT_EQ(s.set.firstPart(), s.first());
                    s.append(2 * Full + 10, 100);
                    ASSERT_FALSE(s.set.save(s.first()).failed());
                },
                3, {false, false, true}},
        SetCase{"SaveAfterReopenAndChange", Full + 5,
                [](Series &s) {
                    ASSERT_FALSE(s.set.load(s.first()).failed());
                    ASSERT_TRUE(s.set.remove(Full + 1));
                    ASSERT_FALSE(s.set.save(s.first()).failed());
                },
                2, {false, true}},
        SetCase{"DeleteAcrossParts", 2 * Full + 10,
                [](Series &s) {
                    ASSERT_TRUE(s.set.removeEntries({2 * Full + 4, 2 * Full, 17, 3}));
                    ASSERT_EQ(s.set.partEntries(0), Full - 2);
                    ASSERT_EQ(s.set.partEntries(2), 8);
                    ASSERT_FALSE(s.set.save(s.first()).failed());
                },
                3, {true, false, true}},
        SetCase{"DeleteEmptiesTheLastPart", Full + 2,
                [](Series &s) {
                    ASSERT_TRUE(s.set.removeEntries({Full + 1, Full}));
                    ASSERT_FALSE(s.set.save(s.first()).failed());
                },
                2, {false, true}},
        SetCase{"AddAfterDeleteGoesToTheEnd", Full + 2,
                [](Series &s) {
                    ASSERT_TRUE(s.set.remove(0));
                    s.append(Full + 2, 1);
                    ASSERT_EQ(s.set.partEntries(0), Full - 1);
                    ASSERT_FALSE(s.set.save(s.first()).failed());
                },
                2, {true, true}},
        SetCase{"OptimiseRefillsAndDropsTheSpareFile", 2 * Full + 10,
                [](Series &s) {
                    std::vector<int> gone;
                    for (int i = 40; i >= 20; --i)
                        gone.push_back(i);
                    ASSERT_TRUE(s.set.removeEntries(gone));
                    ASSERT_FALSE(s.set.saveRepacked(s.first()).failed());
                    ASSERT_EQ(s.set.partCount(), 2);
                    ASSERT_EQ(s.set.partEntries(0), Full);
                },
                2, {true, true, false}},
        SetCase{"SaveAsOverAnOlderSeries", Full + 1,
                [](Series &s) {
                    const QString other = s.dir.filePath(QStringLiteral("other.sbx"));
                    for (int n : {2, 3}) {
                        SignatureTable stale;
                        stale.append(QStringLiteral("/stale/%1.jpg").arg(n), greySignature());
                        ASSERT_FALSE(saveCatalogue(splitCatalogueName(other, n), stale).failed());
                    }
                    ASSERT_FALSE(s.set.save(other).failed());
                    EXPECT_EQ(catalogueSeries(other), (QStringList{other, splitCatalogueName(other, 2)}));
                    // The series the test follows now is the new one; the old stays as it was.
                    ASSERT_FALSE(s.set.load(s.first()).failed());
                },
                2, {false, false}},
        SetCase{"CliAddsThenTheWindowOpens", Full + 1,
                [](Series &s) {
                    const QString folder = s.dir.filePath(QStringLiteral("new"));
                    ASSERT_TRUE(QDir().mkpath(folder));
                    writePictures(folder, 2);
                    const CliRun add = runCli({QStringLiteral("add"), QStringLiteral("--split"), s.first(), folder});
                    ASSERT_EQ(add.status, 0) << add.err.toStdString();
                    ASSERT_FALSE(s.set.load(s.first()).failed());
                    ASSERT_EQ(s.set.count(), Full + 3);
                },
                2, {false, true}}),
    [](const ::testing::TestParamInfo<SetCase> &info) { return std::string(info.param.name); });

struct FirstCase {
    const char *file;
    const char *first; // with photos.sbx, photos and a.b/photos present
};

class FirstCatalogue : public ::testing::TestWithParam<FirstCase>
{
};

TEST_P(FirstCatalogue, IsFoundFromAnyPart)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("a.b")));
    for (const char *name : {"photos.sbx", "photos", "a.b/photos"})
        writeText(dir.filePath(QLatin1String(name)), "x");
    EXPECT_EQ(firstCatalogueOf(dir.filePath(QLatin1String(GetParam().file))),
              dir.filePath(QLatin1String(GetParam().first)));
}

INSTANTIATE_TEST_SUITE_P(Names, FirstCatalogue,
                         ::testing::Values(FirstCase{"photos-2.sbx", "photos.sbx"},
                                           FirstCase{"photos-31.sbx", "photos.sbx"},
                                           FirstCase{"photos.sbx", "photos.sbx"},
                                           FirstCase{"photos-02.sbx", "photos-02.sbx"},
                                           FirstCase{"photos-1.sbx", "photos-1.sbx"},
                                           FirstCase{"photos-2", "photos"},
                                           FirstCase{"a.b/photos-3", "a.b/photos"},
                                           FirstCase{"holiday-2.sbx", "holiday-2.sbx"},
                                           FirstCase{"photos.sbx-2", "photos.sbx-2"}));

} // namespace
