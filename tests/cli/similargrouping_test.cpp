#include "clitestsupport.h"

#include "catalogue/catalogue.h"

#include <QCryptographicHash>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTransform>

#include <gtest/gtest.h>

#include <random>

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

// A picture with nothing alike in it when turned or mirrored, wider than high: red grows to
// the right, green downwards, a blue spot near the top-left corner.
QImage asymmetricPicture()
{
    QImage image(120, 80, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const bool spot = (x - 30) * (x - 30) + (y - 20) * (y - 20) < 15 * 15;
            image.setPixel(x, y, qRgb(255 * x / 119, 255 * y / 79, spot ? 255 : 60));
        }
    }
    return image;
}

// The picture, its turnings clockwise, its mirror image left to right and the turnings of that.
std::vector<QImage> turningsOf(const QImage &image)
{
    std::vector<QImage> turnings;
    for (int t = 0; t < 8; ++t) {
        const QImage source = t >= 4 ? image.mirrored(true, false) : image;
        turnings.push_back(source.transformed(QTransform().rotate(90 * (t % 4))));
    }
    return turnings;
}

// Strong colours changing across the picture, and its grey copy as editors make it: each
// pixel's luma (299 R + 587 G + 114 B) / 1000.
std::vector<QImage> colourAndGrey()
{
    QImage image(96, 64, QImage::Format_RGB32);
    QImage grey(image.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = QColor::fromHsv((x * 4 + y) % 360, 230, 120 + y * 2);
            image.setPixelColor(x, y, c);
            const int luma = (299 * c.red() + 587 * c.green() + 114 * c.blue()) / 1000;
            grey.setPixel(x, y, qRgb(luma, luma, luma));
        }
    }
    return {image, grey};
}

struct RuleCase {
    const char *name;
    bool turnings; // the pictures: turnings, or a colour picture and its grey copy
    QStringList options;
    std::vector<int> group;  // members in order, then the base; empty: no group
    QStringList turns;       // with --json: how each member matched
};

std::ostream &operator<<(std::ostream &os, const RuleCase &c) { return os << c.name; }

class SimilarRules : public ::testing::TestWithParam<RuleCase>
{
};

// At level 20, a picture's seven turnings and mirrorings, added by lumo-cli, join its group
// with --turned (also with --grey besides), each named in --json by the turning of the base
// that matched it, and not without --turned; a grey copy joins its colour original with
// --grey (also with --turned besides) and not without it.
TEST_P(SimilarRules, CopiesJoinTheirOriginalOnlyWhenAsked)
{
    const RuleCase &c = GetParam();
    const std::vector<QImage> pictures = c.turnings ? turningsOf(asymmetricPicture()) : colourAndGrey();
    QTemporaryDir dir;
    QStringList paths;
    for (size_t i = 0; i < pictures.size(); ++i) {
        paths << dir.filePath(QStringLiteral("p%1.jpg").arg(i));
        ASSERT_TRUE(pictures[i].save(paths.last(), "JPEG", 90));
    }
    const QString catalogue = dir.filePath(QStringLiteral("c.sbx"));
    ASSERT_EQ(runCli(QStringList{QStringLiteral("add"), catalogue} + paths).status, 0);
    const QStringList similar = QStringList{QStringLiteral("similar"), QStringLiteral("--level"), QStringLiteral("20")}
                              + c.options + QStringList{catalogue};
    QString expected;
    for (int index : c.group)
        expected += paths[index] + QLatin1Char('\n');
    EXPECT_EQ(runCli(similar).out.toStdString(), expected.toStdString());
    if (!c.turns.isEmpty()) {
        const QJsonArray groups = QJsonDocument::fromJson(runCli(similar + QStringList{QStringLiteral("--json")}).out.toUtf8()).array();
        EXPECT_EQ(groups.at(0)[QLatin1String("turns")].toArray(), QJsonArray::fromStringList(c.turns));
    }
}

const QStringList TurnedOption{QStringLiteral("--turned")};
const QStringList GreyOption{QStringLiteral("--grey")};
const QStringList BothOptions{QStringLiteral("--grey"), QStringLiteral("--turned")};
const QStringList TurnNames{QStringLiteral("turn90"),        QStringLiteral("turn180"),        QStringLiteral("turn270"),
                            QStringLiteral("mirror"),        QStringLiteral("mirror-turn90"),  QStringLiteral("mirror-turn180"),
                            QStringLiteral("mirror-turn270")};

INSTANTIATE_TEST_SUITE_P(
    Copies, SimilarRules,
    ::testing::Values(RuleCase{"turningsPlain", true, {}, {}, {}},
                      RuleCase{"turningsGrey", true, GreyOption, {}, {}},
                      RuleCase{"turningsTurned", true, TurnedOption, {1, 2, 3, 4, 5, 6, 7, 0}, TurnNames},
                      RuleCase{"turningsTurnedGrey", true, BothOptions, {1, 2, 3, 4, 5, 6, 7, 0}, TurnNames},
                      RuleCase{"greyCopyPlain", false, {}, {}, {}},
                      RuleCase{"greyCopyTurned", false, TurnedOption, {}, {}},
                      RuleCase{"greyCopyGrey", false, GreyOption, {1, 0}, {}},
                      RuleCase{"greyCopyGreyTurned", false, BothOptions, {1, 0}, {QStringLiteral("identity")}}),
    [](const ::testing::TestParamInfo<RuleCase> &info) { return std::string(info.param.name); });

// Without --turned and --grey the output is byte for byte what it was before they came: on
// a catalogue with planted groups, the digests of the three forms of output as the lumo-cli
// of that time printed them.
TEST(SimilarCommand, PlainOutputUnchangedOnPlantedGroups)
{
    std::mt19937 random(29);
    std::vector<Signature> prototypes(25);
    for (Signature &prototype : prototypes) {
        for (int16_t &value : prototype)
            value = static_cast<int16_t>(random() % 256);
    }
    SignatureTable table;
    for (int i = 0; i < 300; ++i) {
        Signature cells = prototypes[random() % prototypes.size()];
        const int noise = random() % 3 == 0 ? 0 : static_cast<int>(random() % 10); // exact copies too
        for (int16_t &value : cells)
            value = static_cast<int16_t>(std::clamp(value + static_cast<int>(random() % (2 * noise + 1)) - noise, 0, 255));
        table.append(i % 41 == 7 ? QString() : pictureName(i), cells);
    }
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(QStringLiteral("c.sbx"));
    ASSERT_FALSE(saveCatalogue(catalogue, table).failed());
    const struct { const char *level; const char *form; const char *sha1; } outputs[] = {
        {"10", nullptr, "0091cb72be585544202be38f1225d6afff7bed3c"},
        {"10", "--json", "2ddb26eb595383991c31e267123b9dfdf5f1c062"},
        {"10", "-0", "14edced5c2242d5fa070ed307abb386d397f2ed9"},
        {"30", nullptr, "9f25aff6956111f74afcbfba7f7e78f27edcba50"},
        {"30", "--json", "f3a761498aca49d740f718b4e889819f23978256"},
        {"30", "-0", "8c2db2fa2c0d2a4e56716d3aa09d1f780d41c7f3"}};
    for (const auto &o : outputs) {
        QStringList arguments{QStringLiteral("similar"), QStringLiteral("--level"), QLatin1String(o.level), catalogue};
        if (o.form)
            arguments << QLatin1String(o.form);
        const QByteArray out = runCli(arguments).out.toUtf8();
        EXPECT_GT(out.size(), 2000) << "level " << o.level << " should have groups";
        EXPECT_EQ(QCryptographicHash::hash(out, QCryptographicHash::Sha1).toHex().toStdString(), o.sha1)
            << "level " << o.level << " " << (o.form ? o.form : "");
    }
}

} // namespace
