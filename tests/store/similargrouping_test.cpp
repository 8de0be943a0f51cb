#include "search/similargrouping.h"
#include "storetestutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <random>

namespace {

// How base is within the level of candidate by the rule, if it is: the colour grids with
// each turning in order, then the brightness grids likewise.
std::optional<SimilarMatch> matchOf(Signature base, Signature candidate, int level, SimilarRule rule)
{
    for (bool grey : {false, true}) {
        if (grey && !rule.grey)
            break;
        if (grey) {
            pixcore::greySignature(base.data(), base.data());
            pixcore::greySignature(candidate.data(), candidate.data());
        }
        for (int t = 0; t < (rule.turned ? pixcore::GridTurnCount : 1); ++t) {
            Signature turned;
            pixcore::turnSignature(base.data(), pixcore::GridTurn(t), turned.data());
            if (pixcore::withinLevel(turned.data(), candidate.data(), level))
                return SimilarMatch{pixcore::GridTurn(t), grey};
        }
    }
    return std::nullopt;
}

// The grouping literally as the comparison run does it, one base and one candidate at a
// time over a name list in which placed and unnamed entries are empty; each pair compared
// by the kernel's one-pair test, apart from the batch.
std::vector<SimilarGroup> referenceGroups(const SignatureTable &table, int level, SimilarRule rule = {})
{
    std::vector<QString> names;
    for (int i = 0; i < table.count(); ++i)
        names.push_back(table.name(i));
    std::vector<SimilarGroup> groups;
    for (int f = 0; f < table.count(); ++f) {
        if (names[f].isEmpty())
            continue;
        SimilarGroup group;
        for (int j = f + 1; j < table.count(); ++j) {
            if (names[j].isEmpty())
                continue;
            if (const auto match = matchOf(table.cells(f), table.cells(j), level, rule)) {
                group.members.push_back(j);
                if (rule.turned || rule.grey)
                    group.matches.push_back(*match);
                names[j].clear();
            }
        }
        if (!group.members.empty()) {
            group.base = f;
            names[f].clear();
            groups.push_back(group);
        }
    }
    return groups;
}

// Near copies of a few prototypes with varied noise, so that groups overlap and chain;
// every `unnamedEvery`-th entry has no name; with `turnSome`, half the copies are of the
// prototype turned or mirrored; with `greySome`, a third are of it in grey.
SignatureTable clusteredTable(int count, unsigned seed, int unnamedEvery = 0, bool turnSome = false,
                              bool greySome = false)
{
    std::mt19937 random(seed);
    std::vector<Signature> prototypes(count / 15 + 1);
    for (Signature &prototype : prototypes) {
        for (int16_t &value : prototype)
            value = static_cast<int16_t>(random() % 200 + 28);
    }
    SignatureTable table;
    for (int i = 0; i < count; ++i) {
        Signature cells = prototypes[random() % prototypes.size()];
        if (turnSome && random() % 2)
            pixcore::turnSignature(Signature(cells).data(), pixcore::GridTurn(random() % pixcore::GridTurnCount), cells.data());
        if (greySome && random() % 3 == 0)
            pixcore::greySignature(cells.data(), cells.data());
        const int noise = static_cast<int>(random() % 12);
        for (int16_t &value : cells)
            value = static_cast<int16_t>(value + static_cast<int>(random() % (2 * noise + 1)) - noise);
        const bool unnamed = unnamedEvery > 0 && i % unnamedEvery == 0;
        table.append(unnamed ? QString() : QStringLiteral("/p/%1.jpg").arg(i), cells);
    }
    return table;
}

const int Levels[] = {0, 5, 12, 25, 50};

// A table built in memory may hold values no picture gives; the batch takes bytes only.
SignatureTable withValuesOutsideBytes(SignatureTable table)
{
    SignatureTable out;
    for (int i = 0; i < table.count(); ++i) {
        Signature cells = table.cells(i);
        if (i % 50 == 3)
            cells[i % pixcore::SignatureValues] = static_cast<int16_t>(i % 100 == 3 ? 3000 : -2000);
        out.append(table.name(i), cells);
    }
    return out;
}

// Copies of entry 1 on both sides of the batch's span boundary at 4,096 and beyond it.
SignatureTable acrossSpans(bool greySome = false)
{
    SignatureTable table = clusteredTable(4500, 5, 31, false, greySome);
    for (int i : {4095, 4096, 4097, 4400})
        table.setSlot(i, table.name(i), table.cells(1));
    return table;
}

struct WholeRun {
    const char *name;
    SignatureTable table;
    std::vector<int> levels;
    bool batched;
    SimilarRule rule;
};

std::ostream &operator<<(std::ostream &os, const WholeRun &r) { return os << r.name; }

class SimilarGroupingWholeRun : public ::testing::TestWithParam<WholeRun>
{
};

// Any thread count groups exactly as the one-at-a-time run does, at strict and loose levels:
// on the batch, also over rows longer than one of its spans, and pair by pair for values
// outside 0..255; with turnings (each member with the first that matched) and by
// brightness alike.
TEST_P(SimilarGroupingWholeRun, MatchesTheSequentialRunForAnyThreadCount)
{
    const WholeRun &run = GetParam();
    EXPECT_EQ(SimilarSearch(run.table, 0, run.rule).batched(), run.batched);
    size_t largestGroup = 0;
    int turnedMembers = 0;
    int greyMembers = 0;
    int colourMembers = 0;
    for (int level : run.levels) {
        const std::vector<SimilarGroup> expected = referenceGroups(run.table, level, run.rule);
        for (const SimilarGroup &group : expected) {
            largestGroup = std::max(largestGroup, group.members.size());
            for (const SimilarMatch &match : group.matches) {
                turnedMembers += match.turn != pixcore::GridTurn::Identity;
                (match.grey ? greyMembers : colourMembers) += 1;
            }
        }
        for (int threads : {1, 2, 3, 8})
            EXPECT_EQ(findSimilarGroups(run.table, level, threads, run.rule), expected)
                << "level " << level << ", " << threads << " threads";
    }
    EXPECT_GT(largestGroup, 3u) << "the data should produce groups worth comparing";
    if (run.rule.turned) {
        EXPECT_GT(turnedMembers, 20) << "members should match by turnings too";
    }
    if (run.rule.grey) {
        EXPECT_GT(greyMembers, 20) << "members should match by brightness alone";
        EXPECT_GT(colourMembers, 20) << "members should still match by colour";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tables, SimilarGroupingWholeRun,
    ::testing::Values(WholeRun{"catalogue", clusteredTable(700, 7, 13), {0, 5, 12, 25, 50}, true, {}},
                      WholeRun{"rowsBeyondOneSpan", acrossSpans(), {8}, true, {}},
                      WholeRun{"greyRowsBeyondOneSpan", acrossSpans(true), {8}, true, {false, true}},
                      WholeRun{"valuesOutsideBytes", withValuesOutsideBytes(clusteredTable(700, 7, 13)), {0, 12, 50}, false, {}},
                      WholeRun{"turned", clusteredTable(500, 9, 13, true), {0, 12, 30}, true, {true, false}},
                      WholeRun{"grey", clusteredTable(500, 9, 13, false, true), {0, 12, 30}, true, {false, true}},
                      WholeRun{"turnedGrey", clusteredTable(500, 9, 13, true, true), {12}, true, {true, true}},
                      WholeRun{"turnedGreyValuesOutsideBytes", withValuesOutsideBytes(clusteredTable(500, 9, 13, true, true)),
                               {12}, false, {true, true}}),
    [](const ::testing::TestParamInfo<WholeRun> &info) { return std::string(info.param.name); });

// An entry without a name is neither a base nor a candidate, even when its signature
// equals everyone else's.
TEST(SimilarGrouping, UnnamedEntriesTakePartInNoComparison)
{
    SignatureTable table;
    const Signature same = filledSignature(1);
    table.append(QString(), same);
    table.append(QStringLiteral("/p/1.jpg"), same);
    table.append(QString(), same);
    table.append(QStringLiteral("/p/3.jpg"), same);
    const std::vector<SimilarGroup> expected{{{3}, 1, {}}};
    EXPECT_EQ(findSimilarGroups(table, 0, 1), expected);
    EXPECT_EQ(findSimilarGroups(table, 0, 4), expected);
}

struct Timing {
    const char *name;
    size_t blockSize;
    size_t blocksAhead; // blocks cut (and computed) before the oldest is settled
};

std::ostream &operator<<(std::ostream &os, const Timing &t) { return os << t.name; }

class SimilarSearchTiming : public ::testing::TestWithParam<Timing>
{
};

// Rows computed in any order, blocks cut ahead of settling, any block size: settling the
// bases in order places exactly what the sequential run places.
TEST_P(SimilarSearchTiming, SettlingInOrderMatchesTheSequentialRun)
{
    const Timing &timing = GetParam();
    const SignatureTable table = clusteredTable(400, 11, 17);
    std::mt19937 random(3);
    for (int level : Levels) {
        SimilarSearch search(table, level);
        std::deque<std::pair<SimilarSearch::Block, std::vector<std::vector<int>>>> cut;
        std::vector<SimilarGroup> groups;
        bool allCut = false;
        while (!allCut || !cut.empty()) {
            while (!allCut && cut.size() < timing.blocksAhead) {
                SimilarSearch::Block block = search.cut(timing.blockSize);
                if (block.size() == 0) {
                    allCut = true;
                    break;
                }
                std::vector<size_t> order(block.size());
                for (size_t i = 0; i < order.size(); ++i)
                    order[i] = i;
                std::shuffle(order.begin(), order.end(), random);
                std::vector<std::vector<int>> rows(block.size());
                for (size_t i : order)
                    rows[i] = block.row(i);
                cut.emplace_back(std::move(block), std::move(rows));
            }
            if (cut.empty())
                break;
            const auto &[block, rows] = cut.front();
            for (size_t i = 0; i < block.size(); ++i) {
                if (std::optional<SimilarGroup> group = search.settle(block.base(i), rows[i]))
                    groups.push_back(*group);
            }
            cut.pop_front();
        }
        EXPECT_EQ(groups, referenceGroups(table, level)) << "level " << level;
    }
}

INSTANTIATE_TEST_SUITE_P(Blocks, SimilarSearchTiming,
                         ::testing::Values(Timing{"oneBaseAtATime", 1, 1}, Timing{"smallBlocksFarAhead", 7, 4},
                                           Timing{"windowBlocksTwoAhead", 32, 2},
                                           Timing{"oneBlockForAll", 1000, 1}),
                         [](const ::testing::TestParamInfo<Timing> &info) { return std::string(info.param.name); });

} // namespace

namespace {

struct Together {
    const char *name;
    SimilarRule rule;
    size_t cutBefore; // bases cut (and left unsettled) before the block
    size_t bases;
};

std::ostream &operator<<(std::ostream &os, const Together &t) { return os << t.name; }

class SimilarSearchRowsTogether : public ::testing::TestWithParam<Together>
{
};

// Copies of a few entries on both sides of the tile boundaries at 8,192 and 16,384, so rows
// that cross them have hits on each side, and of one entry in the last few.
SignatureTable acrossTiles()
{
    SignatureTable table = clusteredTable(16500, 23, 29, true, true);
    for (int i : {8190, 8191, 8192, 8193, 12000, 16383, 16384, 16499})
        table.setSlot(i, table.name(i), table.cells(8185 + i % 3));
    for (int i : {16496, 16497, 16498})
        table.setSlot(i, table.name(i), table.cells(16499));
    return table;
}

// Rows of several bases computed together, tile by tile, are each base's row as the
// comparison of that one base with every later candidate gives it, hits and matches alike:
// bases whose rows start in the block's first tile or a later one, and rows of a single
// entry at the end.
TEST_P(SimilarSearchRowsTogether, AsEachBaseAlone)
{
    const Together &run = GetParam();
    static const SignatureTable table = acrossTiles();
    auto cells = std::make_shared<const SimilarCells>(
        std::vector<Signature>(table.allCells().begin(), table.allCells().begin() + table.count()), run.rule);
    std::vector<uint8_t> unnamed(table.count());
    for (int i = 0; i < table.count(); ++i)
        unnamed[i] = table.name(i).isEmpty();
    int hits = 0;
    for (int level : {6, 20}) {
        SimilarSearch search(cells, unnamed, level);
        search.cut(run.cutBefore);
        const SimilarSearch::Block block = search.cut(run.bases);
        ASSERT_EQ(block.size(), run.bases);
        std::vector<std::vector<int>> rows(block.size(), {-1});
        std::vector<std::vector<SimilarMatch>> matches(block.size(), {SimilarMatch{}});
        block.rows(0, block.size(), rows.data(), matches.data());
        for (size_t i = 0; i < block.size(); ++i) {
            std::vector<int> expected;
            std::vector<SimilarMatch> expectedMatches;
            cells->collectSimilarTo(cells->signature(block.base(i)), block.base(i) + 1, cells->count(), level,
                                    unnamed.data(), expected, &expectedMatches);
            EXPECT_EQ(rows[i], expected) << "level " << level << ", base " << block.base(i);
            EXPECT_EQ(matches[i], expectedMatches) << "level " << level << ", base " << block.base(i);
            hits += static_cast<int>(expected.size());
        }
    }
    EXPECT_GT(hits, 0) << "the bases should have look-alikes";
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, SimilarSearchRowsTogether,
    ::testing::Values(Together{"firstBases", {}, 0, 8}, Together{"acrossATileBoundary", {}, 7890, 24},
                      Together{"turnedAcrossATileBoundary", {true, false}, 7890, 24},
                      Together{"greyAcrossATileBoundary", {false, true}, 7890, 24},
                      Together{"lastTile", {true, true}, 15831, 100},
                      Together{"lastBases", {}, 15928, 3}),
    [](const ::testing::TestParamInfo<Together> &info) { return std::string(info.param.name); });

} // namespace
