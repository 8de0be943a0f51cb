#include "clitestsupport.h"

#include <catalogue.h>

#include <QImage>
#include <QImageWriter>
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

// A picture with nothing alike in it when turned or mirrored: red grows to the right, green
// downwards, a blue spot near the top-left corner; wider than high.
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

// The picture turned clockwise in quarters, after mirroring left to right when asked.
QImage turnedPicture(const QImage &image, int turning)
{
    const QImage source = turning >= 4 ? image.mirrored(true, false) : image;
    return turning % 4 == 0 ? source : source.transformed(QTransform().rotate(90 * (turning % 4)));
}

// Strong colours changing across the picture.
QImage colourfulPicture()
{
    QImage image(96, 64, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixelColor(x, y, QColor::fromHsv((x * 4 + y) % 360, 230, 120 + y * 2));
    }
    return image;
}

// As editors make grey copies: each pixel's luma (299 R + 587 G + 114 B) / 1000.
QImage greyPicture(const QImage &image)
{
    QImage grey = image;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            const int luma = (299 * qRed(c) + 587 * qGreen(c) + 114 * qBlue(c)) / 1000;
            grey.setPixel(x, y, qRgb(luma, luma, luma));
        }
    }
    return grey;
}

// The pictures written as JPEG files in order and added to a catalogue by `lumo-cli add`.
QString catalogueOfPictures(const QTemporaryDir &dir, const std::vector<QImage> &pictures)
{
    QStringList paths;
    for (size_t i = 0; i < pictures.size(); ++i) {
        paths << dir.filePath(QStringLiteral("p%1.jpg").arg(i));
        QImageWriter writer(paths.last(), "jpeg");
        writer.setQuality(90);
        EXPECT_TRUE(writer.write(pictures[i]));
    }
    const QString catalogue = dir.filePath(QStringLiteral("c.sbx"));
    EXPECT_EQ(runCli(QStringList{QStringLiteral("add"), QStringLiteral("-j"), QStringLiteral("1"), catalogue} + paths).status, 0);
    return catalogue;
}

enum class Pictures { Turnings, GreyCopy };

struct RuleCase {
    const char *name;
    Pictures pictures;
    QStringList options;
    std::vector<std::vector<int>> blocks; // each block: members in order, then the base
};

std::ostream &operator<<(std::ostream &os, const RuleCase &c) { return os << c.name; }

class SimilarRules : public ::testing::TestWithParam<RuleCase>
{
};

// At level 20, a picture's seven turnings and mirrorings join its group with --turned (also
// with --grey besides) and not without it; a grey copy joins its colour original with
// --grey (also with --turned besides) and not without it.
TEST_P(SimilarRules, CopiesJoinTheirOriginalOnlyWhenAsked)
{
    const RuleCase &c = GetParam();
    std::vector<QImage> pictures;
    if (c.pictures == Pictures::Turnings) {
        for (int turning = 0; turning < 8; ++turning)
            pictures.push_back(turnedPicture(asymmetricPicture(), turning));
    } else {
        pictures = {colourfulPicture(), greyPicture(colourfulPicture())};
    }
    QTemporaryDir dir;
    const QString catalogue = catalogueOfPictures(dir, pictures);
    const CliRun run = runCli(QStringList{QStringLiteral("similar"), QStringLiteral("--level"), QStringLiteral("20")}
                              + c.options + QStringList{catalogue});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    QString expected;
    for (const std::vector<int> &block : c.blocks) {
        expected += expected.isEmpty() ? QString() : QStringLiteral("\n");
        for (int index : block)
            expected += dir.filePath(QStringLiteral("p%1.jpg").arg(index)) + QLatin1Char('\n');
    }
    EXPECT_EQ(run.out.toStdString(), expected.toStdString());
}

const QStringList TurnedOption{QStringLiteral("--turned")};
const QStringList GreyOption{QStringLiteral("--grey")};
const QStringList BothOptions{QStringLiteral("--grey"), QStringLiteral("--turned")};

INSTANTIATE_TEST_SUITE_P(
    Copies, SimilarRules,
    ::testing::Values(RuleCase{"turningsPlain", Pictures::Turnings, {}, {}},
                      RuleCase{"turningsGrey", Pictures::Turnings, GreyOption, {}},
                      RuleCase{"turningsTurned", Pictures::Turnings, TurnedOption, {{1, 2, 3, 4, 5, 6, 7, 0}}},
                      RuleCase{"turningsTurnedGrey", Pictures::Turnings, BothOptions, {{1, 2, 3, 4, 5, 6, 7, 0}}},
                      RuleCase{"greyCopyPlain", Pictures::GreyCopy, {}, {}},
                      RuleCase{"greyCopyTurned", Pictures::GreyCopy, TurnedOption, {}},
                      RuleCase{"greyCopyGrey", Pictures::GreyCopy, GreyOption, {{1, 0}}},
                      RuleCase{"greyCopyGreyTurned", Pictures::GreyCopy, BothOptions, {{1, 0}}}),
    [](const ::testing::TestParamInfo<RuleCase> &info) { return std::string(info.param.name); });

// --turned --json names, for each member, the turning of the base that matched it: turns
// clockwise, mirroring left to right before turning.
TEST(SimilarCommand, JsonNamesTheTurningOfEachMember)
{
    QTemporaryDir dir;
    std::vector<QImage> pictures;
    for (int turning = 0; turning < 8; ++turning)
        pictures.push_back(turnedPicture(asymmetricPicture(), turning));
    const QString catalogue = catalogueOfPictures(dir, pictures);
    const CliRun run = runCli({QStringLiteral("similar"), QStringLiteral("--level"), QStringLiteral("20"),
                               QStringLiteral("--turned"), QStringLiteral("--json"), catalogue});
    ASSERT_EQ(run.status, 0);
    const QJsonArray groups = QJsonDocument::fromJson(run.out.toUtf8()).array();
    ASSERT_EQ(groups.size(), 1) << run.out.toStdString();
    EXPECT_EQ(groups[0][QLatin1String("turns")].toArray(),
              (QJsonArray{"turn90", "turn180", "turn270", "mirror", "mirror-turn90", "mirror-turn180", "mirror-turn270"}));
    EXPECT_EQ(groups[0][QLatin1String("members")].toArray().size(), 7);
}

// Without --turned and --grey the output is what it has always been, in each of its three
// forms: a catalogue with planted groups prints exactly the groups the one-pair-at-a-time
// grouping finds, in the same bytes.
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

    for (int level : {0, 10, 30}) {
        // One base and one candidate at a time, as the comparison run does it.
        std::vector<bool> placed(table.count());
        QString blocks, json = QStringLiteral("["), null;
        for (int f = 0; f < table.count(); ++f) {
            if (placed[f] || table.name(f).isEmpty())
                continue;
            QStringList members;
            for (int j = f + 1; j < table.count(); ++j) {
                if (!placed[j] && !table.name(j).isEmpty() && table.checkValue(f, j) <= level) {
                    placed[j] = true;
                    members << table.name(j);
                }
            }
            if (members.isEmpty())
                continue;
            placed[f] = true;
            blocks += (blocks.isEmpty() ? QString() : QStringLiteral("\n")) + members.join(QLatin1Char('\n'))
                + QLatin1Char('\n') + table.name(f) + QLatin1Char('\n');
            json += (json.size() > 1 ? QStringLiteral(", ") : QString()) + QStringLiteral("{\"base\": \"") + table.name(f)
                + QStringLiteral("\", \"members\": [\"") + members.join(QStringLiteral("\", \""))
                + QStringLiteral("\"]}");
            null += members.join(QChar(0)) + QChar(0) + table.name(f) + QChar(0) + QChar(0);
        }
        json += QStringLiteral("]\n");
        ASSERT_GT(blocks.count(QLatin1Char('\n')), 40) << "level " << level << " should have groups";
        const QString level_ = QString::number(level);
        for (const char *jobs : {"1", "3"}) {
            const auto output = [&](const QStringList &form) {
                return runCli(QStringList{QStringLiteral("similar"), QStringLiteral("--level"), level_,
                                          QStringLiteral("-j"), QLatin1String(jobs)}
                              + form + QStringList{catalogue})
                    .out.toStdString();
            };
            EXPECT_EQ(output({}), blocks.toStdString()) << "level " << level;
            EXPECT_EQ(output({QStringLiteral("--json")}), json.toStdString()) << "level " << level;
            EXPECT_EQ(output({QStringLiteral("-0")}), null.toStdString()) << "level " << level;
        }
    }
}

} // namespace
