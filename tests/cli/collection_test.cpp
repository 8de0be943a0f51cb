#include "clitestsupport.h"

#include "catalogue/catalogue.h"
#include <catalogueio.h>
#include <commandcontext.h>
#include <commands.h>
#include "catalogue/picturecollection.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Several catalogues as one sequence: argument order, then catalogue order; a path of an
// earlier catalogue is left out where it repeats, a repeat inside one catalogue stays.
struct UnionCase {
    const char *name;
    std::vector<QStringList> catalogues;
    QStringList sequence;
    std::vector<std::pair<int, int>> held; // catalogue and entry of each picture
};

class CollectionUnion : public ::testing::TestWithParam<UnionCase>
{
};

TEST_P(CollectionUnion, KeepsFirstOccurrencesInOrder)
{
    const UnionCase &c = GetParam();
    PictureCollection pictures(std::make_shared<SimilarCells>(SimilarRule{}));
    for (size_t k = 0; k < c.catalogues.size(); ++k) {
        SignatureTable table;
        for (const QString &path : c.catalogues[k])
            table.append(path, checkValueAgainstGrey(static_cast<int>(10 * k + table.count())));
        ASSERT_TRUE(pictures.addTable(QStringLiteral("c%1.sbx").arg(k), table));
    }
    QStringList sequence;
    std::vector<std::pair<int, int>> held;
    for (int i = 0; i < pictures.count(); ++i) {
        sequence << pictures.path(i);
        held.emplace_back(pictures.catalogueOf(i), pictures.entryOf(i));
    }
    EXPECT_EQ(sequence, c.sequence);
    EXPECT_EQ(held, c.held);
    // The signatures were packed with their pictures: each is the one its entry was given.
    ASSERT_EQ(pictures.cells()->count(), pictures.count());
    for (int i = 0; i < pictures.count(); ++i) {
        std::vector<int> hits;
        const std::vector<uint8_t> none(pictures.count());
        pictures.cells()->collectSimilar(i, i, 0, none.data(), hits);
        ASSERT_FALSE(hits.empty());
        EXPECT_EQ(hits.front(), i);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CollectionUnion,
    ::testing::Values(
        UnionCase{"distinct", {{"/a", "/b"}, {"/c"}, {"/d"}}, {"/a", "/b", "/c", "/d"}, {{0, 0}, {0, 1}, {1, 0}, {2, 0}}},
        UnionCase{"repeatAcross", {{"/a", "/b"}, {"/b", "/c"}, {"/c", "/a", "/d"}},
                  {"/a", "/b", "/c", "/d"}, {{0, 0}, {0, 1}, {1, 1}, {2, 2}}},
        UnionCase{"repeatWithin", {{"/a", "/a"}, {"/a", "/b", "/b"}}, {"/a", "/a", "/b", "/b"},
                  {{0, 0}, {0, 1}, {1, 1}, {1, 2}}},
        UnionCase{"unnamedNeverRepeat", {{"", "/a"}, {"", "/a"}}, {"", "/a", ""}, {{0, 0}, {0, 1}, {1, 0}}},
        UnionCase{"sameCatalogueTwice", {{"/a", "/b"}, {"/a", "/b"}}, {"/a", "/b"}, {{0, 0}, {0, 1}}},
        UnionCase{"emptyFirst", {{}, {"/a"}}, {"/a"}, {{1, 0}}}),
    [](const ::testing::TestParamInfo<UnionCase> &info) { return std::string(info.param.name); });

// A catalogue read whole whose signatures the search cannot hold is not called damaged,
// and nothing of it stays behind.
TEST(CollectionRead, ACatalogueThatCannotBeHeldSaysWhy)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("c.sbx"));
    writeTestCatalogue(path, {greySignature(), whitePatch(0, 30)});
    // Cells no file holds are compared unpacked, and such a set refuses any more.
    Signature odd = greySignature();
    odd[0] = 300;
    PictureCollection pictures(std::make_shared<SimilarCells>(std::vector<Signature>{odd}));
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    CommandContext context{outStream, errStream};
    EXPECT_FALSE(openCollection({path}, pictures, context));
    EXPECT_EQ(err.toStdString(), QStringLiteral("lumo-cli: %1: out of memory for its pictures\n").arg(path).toStdString());
    EXPECT_EQ(pictures.count(), 0);
    EXPECT_EQ(pictures.cells()->count(), 1);
}

// A split catalogue's parts are named after it, the number before the extension.
TEST(SplitCatalogue, PartsAreNamedAfterTheFirst)
{
    const std::pair<const char *, const char *> cases[] = {
        {"/p/photos.sbx", "/p/photos-3.sbx"},
        {"/p/my.photos.SBX", "/p/my.photos-3.SBX"},
        {"/p.d/photos", "/p.d/photos-3"},
        {"photos", "photos-3"},
        {"/p/.sbx", "/p/.sbx-3"},
    };
    for (const auto &[first, third] : cases)
        EXPECT_EQ(splitCatalogueName(QLatin1String(first), 3).toStdString(), third) << first;
}

class SplitAdd : public ::testing::Test
{
protected:
    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    QTemporaryDir m_dir;
};

// A full catalogue goes on in photos-2.sbx; a later add skips what any part holds and
// appends to the last part; each run names the files it wrote.
TEST_F(SplitAdd, GoesOnInNumberedPartsAndSkipsWhatTheyHold)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("pics")));
    const QStringList pictures = writePictures(path(QStringLiteral("pics")), 5);
    const QString first = path(QStringLiteral("photos.sbx"));
    const QString second = path(QStringLiteral("photos-2.sbx"));
    SignatureTable table;
    for (int i = 0; i < SignatureTable::MaxEntries - 2; ++i)
        table.append(QStringLiteral("/old/%1.jpg").arg(i), greySignature());
    table.append(pictures[0], greySignature());
    ASSERT_FALSE(saveCatalogue(first, table).failed());

    const CliRun run = runCli({QStringLiteral("add"), QStringLiteral("--split"), first, pictures[0], pictures[1],
                               pictures[2], pictures[3]});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.err.toStdString(),
              QStringLiteral("wrote %1: 32767 entries\nwrote %2: 2 entries\n"
                             "3 added, 1 already listed, 0 could not be read as pictures; 32769 in 2 catalogues\n")
                  .arg(first, second)
                  .toStdString());
    EXPECT_EQ(listedPaths(first).last(), pictures[1]);
    EXPECT_EQ(listedPaths(second), (QStringList{pictures[2], pictures[3]}));

    const CliRun again = runCli({QStringLiteral("add"), QStringLiteral("--split"), first, pictures[4], pictures[1],
                                 pictures[2]});
    ASSERT_EQ(again.status, 0) << again.err.toStdString();
    EXPECT_EQ(again.err.toStdString(),
              QStringLiteral("wrote %1: 3 entries\n"
                             "1 added, 2 already listed, 0 could not be read as pictures; 32770 in 2 catalogues\n")
                  .arg(second)
                  .toStdString());
    EXPECT_EQ(listedPaths(second), (QStringList{pictures[2], pictures[3], pictures[4]}));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("photos-3.sbx"))));
}

// A part after a missing number is a part too: its paths are skipped, and new pictures go
// into it as the last part.
TEST_F(SplitAdd, ReadsThePartsPastAGap)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("pics")));
    const QStringList pictures = writePictures(path(QStringLiteral("pics")), 2);
    const QString first = path(QStringLiteral("photos.sbx"));
    const QString third = path(QStringLiteral("photos-3.sbx"));
    SignatureTable table;
    table.append(QStringLiteral("/old/x.jpg"), greySignature());
    ASSERT_FALSE(saveCatalogue(first, table).failed());
    table = SignatureTable();
    table.append(pictures[0], greySignature());
    ASSERT_FALSE(saveCatalogue(third, table).failed());

    const CliRun run = runCli({QStringLiteral("add"), QStringLiteral("--split"), first, pictures[0], pictures[1]});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.err.toStdString(),
              QStringLiteral("wrote %1: 2 entries\n"
                             "1 added, 1 already listed, 0 could not be read as pictures; 3 in 2 catalogues\n")
                  .arg(third)
                  .toStdString());
    EXPECT_EQ(listedPaths(third), (QStringList{pictures[0], pictures[1]}));
}

// Three catalogues are searched and listed as one: a group joins pictures of different
// catalogues, in the union's order, and a path held twice counts once; remove takes a
// picture out of every catalogue that holds it.
TEST(SeveralCatalogues, SearchAndListTheUnion)
{
    QTemporaryDir dir;
    const std::vector<std::vector<std::pair<const char *, Signature>>> contents = {
        {{"/a/base.jpg", greySignature()}, {"/a/far.jpg", whitePatch(0, 30)}},
        {{"/b/near.jpg", checkValueAgainstGrey(5)}, {"/a/base.jpg", greySignature()}, {"/b/far.jpg", whitePatch(0, 30)}},
        {{"/c/near.jpg", checkValueAgainstGrey(9)}, {"/c/other.jpg", checkValueAgainstGrey(40)}},
    };
    QStringList catalogues;
    for (size_t k = 0; k < contents.size(); ++k) {
        SignatureTable table;
        for (const auto &[name, cells] : contents[k])
            table.append(QLatin1String(name), cells);
        catalogues << dir.filePath(QStringLiteral("c%1.sbx").arg(k));
        ASSERT_FALSE(saveCatalogue(catalogues.last(), table).failed());
    }

    const CliRun similar = runCli(QStringList{QStringLiteral("similar"), QStringLiteral("--level"), QStringLiteral("10")}
                                  + catalogues);
    ASSERT_EQ(similar.status, 0) << similar.err.toStdString();
    EXPECT_EQ(similar.out.toStdString(), "/b/near.jpg\n/c/near.jpg\n/a/base.jpg\n\n/b/far.jpg\n/a/far.jpg\n");
    const CliRun list = runCli(QStringList{QStringLiteral("list")} + catalogues);
    ASSERT_EQ(list.status, 0) << list.err.toStdString();
    EXPECT_EQ(list.out.toStdString(),
              "0\t/a/base.jpg\n1\t/a/far.jpg\n2\t/b/near.jpg\n3\t/b/far.jpg\n4\t/c/near.jpg\n5\t/c/other.jpg\n");

    const CliRun remove = runCli(QStringList{QStringLiteral("remove")} + catalogues
                                 + QStringList{QStringLiteral("/a/base.jpg"), QStringLiteral("/c/other.jpg")});
    ASSERT_EQ(remove.status, 0) << remove.err.toStdString();
    EXPECT_EQ(remove.out.toStdString(), "3 removed from the catalogues, 0 moved to the trash\n");
    EXPECT_EQ(listedPaths(catalogues[0]), QStringList{QStringLiteral("/a/far.jpg")});
    EXPECT_EQ(listedPaths(catalogues[1]), (QStringList{QStringLiteral("/b/near.jpg"), QStringLiteral("/b/far.jpg")}));
    EXPECT_EQ(listedPaths(catalogues[2]), QStringList{QStringLiteral("/c/near.jpg")});
}

} // namespace
