#include "clitestsupport.h"

#include <catalogue.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct GroupingCase {
    const char *name;
    std::vector<Signature> signatures;
    int level;
    std::vector<std::vector<int>> blocks; // each block: members in order, then the base
};

std::ostream &operator<<(std::ostream &os, const GroupingCase &c) { return os << c.name; }

QString expectedOutput(const std::vector<std::vector<int>> &blocks)
{
    QStringList texts;
    for (const std::vector<int> &block : blocks) {
        QString text;
        for (int index : block)
            text += pictureName(index) + QLatin1Char('\n');
        texts << text;
    }
    return texts.join(QLatin1Char('\n'));
}

class SimilarOutput : public ::testing::TestWithParam<GroupingCase>
{
};

// The similar command prints each group's members in catalogue order, then its base,
// groups in base order separated by a blank line, and nothing for lonely pictures.
TEST_P(SimilarOutput, PrintsGroupsInPlacingOrder)
{
    const GroupingCase &c = GetParam();
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(QStringLiteral("c.sbx"));
    writeTestCatalogue(catalogue, c.signatures);
    for (const char *jobs : {"1", "3"}) {
        const CliRun run = runCli({QStringLiteral("similar"), QStringLiteral("--level"), QString::number(c.level),
                                   QStringLiteral("-j"), QLatin1String(jobs), catalogue});
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_EQ(run.out.toStdString(), expectedOutput(c.blocks).toStdString()) << "with -j " << jobs;
        EXPECT_TRUE(run.err.isEmpty());
    }
}

const Signature Grey = greySignature();

INSTANTIATE_TEST_SUITE_P(
    Grouping, SimilarOutput,
    ::testing::Values(
        // 0 is like 1 and 2, but 1 and 2 are not alike: members are compared only with the base.
        GroupingCase{"baseTakesBoth", {Grey, whitePatch(0, 10), whitePatch(10, 10)}, 0, {{1, 2, 0}}},
        // 2 is like 0 and 1; base 0 takes it first, and 1 is left alone.
        GroupingCase{"earlierBaseWins", {whitePatch(0, 10), whitePatch(10, 10), Grey}, 0, {{2, 0}}},
        GroupingCase{"pairShowsMemberThenBase", {Grey, Grey}, 0, {{1, 0}}},
        GroupingCase{"checkValueEqualToLevelJoins", {Grey, checkValueAgainstGrey(7)}, 7, {{1, 0}}},
        GroupingCase{"checkValueAboveLevelStaysOut", {Grey, checkValueAgainstGrey(7)}, 6, {}},
        GroupingCase{"levelFiftyIsInclusive", {Grey, checkValueAgainstGrey(50)}, 50, {{1, 0}}},
        GroupingCase{"noLookAlikesPrintNothing", {whitePatch(0, 20), whitePatch(20, 20), whitePatch(40, 20)}, 50, {}},
        GroupingCase{"groupsFollowTheirBases",
                     {Grey, whitePatch(0, 20), whitePatch(40, 20), Grey, whitePatch(0, 20), Grey},
                     0,
                     {{3, 5, 0}, {4, 1}}}),
    [](const ::testing::TestParamInfo<GroupingCase> &info) { return std::string(info.param.name); });

// Without --level only pictures with check value 0 are grouped.
TEST(SimilarCommand, DefaultLevelIsZero)
{
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(QStringLiteral("c.sbx"));
    writeTestCatalogue(catalogue, {Grey, checkValueAgainstGrey(1), Grey});
    const CliRun run = runCli({QStringLiteral("similar"), catalogue});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.toStdString(), expectedOutput({{2, 0}}).toStdString());
}

// An entry whose name is empty is compared with nothing, though its signature matches.
TEST(SimilarCommand, SkipsEntriesWithoutName)
{
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(QStringLiteral("c.sbx"));
    SignatureTable table;
    table.append(QString(), Grey);
    table.append(pictureName(1), Grey);
    table.append(pictureName(2), Grey);
    ASSERT_FALSE(saveCatalogue(catalogue, table).failed());
    const CliRun run = runCli({QStringLiteral("similar"), catalogue});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.toStdString(), expectedOutput({{2, 1}}).toStdString());
}

// --json prints every group as an object with its base and its members in order.
TEST(SimilarCommand, JsonListsBaseAndMembers)
{
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(QStringLiteral("c.sbx"));
    writeTestCatalogue(catalogue, {Grey, whitePatch(0, 20), Grey, whitePatch(0, 20), Grey});
    const CliRun run = runCli({QStringLiteral("similar"), QStringLiteral("--json"), catalogue});
    ASSERT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.startsWith(QStringLiteral("[{\"base\": \"/pictures/p0.jpg\", \"members\": [\"")));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
    const QJsonArray expected{
        QJsonObject{{"base", pictureName(0)}, {"members", QJsonArray{pictureName(2), pictureName(4)}}},
        QJsonObject{{"base", pictureName(1)}, {"members", QJsonArray{pictureName(3)}}}};
    EXPECT_EQ(document.array(), expected);

    writeTestCatalogue(catalogue, {whitePatch(0, 20), Grey});
    EXPECT_EQ(runCli({QStringLiteral("similar"), QStringLiteral("--json"), catalogue}).out.toStdString(), "[]\n");
}

} // namespace
