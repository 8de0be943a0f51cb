#include "search/chosengrouping.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Entries kept apart pair by pair: each entry a class of its own.
std::shared_ptr<const SimilarApart> entriesApart(int count, std::vector<std::pair<int, int>> pairs)
{
    std::vector<int> classOf(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        classOf[static_cast<size_t>(i)] = i;
    return std::make_shared<const SimilarApart>(std::move(classOf), count, std::move(pairs));
}

Signature randomCells(std::mt19937 &rng, int low = 0, int high = 255)
{
    Signature s;
    for (int16_t &v : s)
        v = static_cast<int16_t>(low + static_cast<int>(rng() % (high - low + 1)));
    return s;
}

// Two pictures, far apart (a uniform change moves no check value, a pattern does).
const Signature &pattern(char family)
{
    static const std::array<Signature, 2> made = [] {
        std::mt19937 rng(21);
        return std::array<Signature, 2>{randomCells(rng, 20, 230), randomCells(rng, 20, 230)};
    }();
    return made[family == 'A' ? 0 : 1];
}

// The family's picture with the red of 20 cells raised by `shift`: within `shift` of it.
Signature flat(int value)
{
    Signature s = pattern(value < 150 ? 'A' : 'B');
    for (int c = 0; c < 20; ++c)
        s[3 * c] = static_cast<int16_t>(s[3 * c] + value % 50);
    return s;
}

// Two families alike at level 5 (flat(100 + k) and flat(200 + k): A and B), one picture
// alike to nothing, an entry without a name (6):  0 A, 1 B, 2 A, 3 X, 4 B, 5 A, 6 A unnamed.
struct Fixture {
    std::shared_ptr<const SimilarCells> cells;
    std::vector<uint8_t> unnamed{0, 0, 0, 0, 0, 0, 1};
    explicit Fixture(SimilarRule rule = {})
    {
        std::mt19937 rng(4);
        cells = std::make_shared<const SimilarCells>(
            std::vector<Signature>{flat(100), flat(200), flat(101), randomCells(rng), flat(202), flat(103), flat(100)},
            rule);
    }
};

SimilarGroup group(std::vector<int> members, int base)
{
    return SimilarGroup{std::move(members), base, {}};
}

struct EntriesCase {
    const char *what;
    std::vector<int> bases;
    std::vector<std::pair<int, int>> apart;
    std::vector<SimilarGroup> expected;
};

class ChosenEntries : public ::testing::TestWithParam<EntriesCase>
{
};

} // namespace

TEST_P(ChosenEntries, GroupAsTheCaseSays)
{
    // Chosen bases in catalogue order find every ungrouped entry, before them or after, within the level.
    const EntriesCase &c = GetParam();
    const Fixture f;
    for (int threads : {1, 2}) {
        const auto apart = entriesApart(f.cells->count(), c.apart);
        EXPECT_EQ(findSimilarToEntries(f.cells, f.unnamed, c.bases, 5, threads, apart), c.expected)
            << c.what << ", " << threads << " threads";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChosenEntries,
    ::testing::Values(
        EntriesCase{"a late base finds the earlier entries, never an unnamed one", {5}, {}, {group({0, 2}, 5)}},
        EntriesCase{"bases in catalogue order: one in the group of an earlier base is none", {2, 0}, {}, {group({2, 5}, 0)}},
        EntriesCase{"a base alike to nothing makes no group", {4, 3}, {}, {group({1}, 4)}},
        EntriesCase{"groups in the order of their bases", {2, 1}, {}, {group({4}, 1), group({0, 5}, 2)}},
        EntriesCase{"an entry apart from the base stays out", {2}, {{0, 2}}, {group({5}, 2)}},
        EntriesCase{"an entry apart from an earlier member stays out", {2}, {{0, 5}}, {group({0}, 2)}},
        EntriesCase{"an entry refused by one base joins a later one", {0, 5}, {{0, 2}}, {group({5}, 0)}},
        EntriesCase{"repeated, unnamed and unknown bases are ignored", {6, 1, 1, -3, 99}, {}, {group({4}, 1)}}),
    [](const auto &info) { return std::to_string(info.index); });

TEST(ChosenGrouping, PicturesOutsideAreBasesInTheirOrder)
{
    // Pictures not in the catalogue take their look-alikes in the order given; a later one
    // finds only what an earlier left, and the pictures are never candidates of each other.
    const Fixture f;
    const int n = f.cells->count();
    const std::vector<Signature> pictures{flat(104), flat(201), flat(100), flat(30)};
    EXPECT_EQ(findSimilarToPictures(f.cells, f.unnamed, pictures, 5, 2),
              (std::vector<SimilarGroup>{group({0, 2, 5}, n), group({1, 4}, n + 1)}));
    // An entry apart from nothing outside the catalogue: the decisions name entries only.
    const auto apart = entriesApart(n, {{0, 5}});
    EXPECT_EQ(findSimilarToPictures(f.cells, f.unnamed, {flat(100)}, 5, 1, apart),
              (std::vector<SimilarGroup>{group({0, 2}, n)}));
}

TEST(ChosenGrouping, TurnedAndGreyCopiesOfAPictureOutside)
{
    // With the rules, a turned or grey copy outside the catalogue finds its original and says how.
    std::mt19937 rng(9);
    const Signature original = randomCells(rng);
    for (const SimilarRule rule : {SimilarRule{true, false}, SimilarRule{false, true}}) {
        const auto cells = std::make_shared<const SimilarCells>(std::vector<Signature>{randomCells(rng), original}, rule);
        Signature copy;
        if (rule.turned)
            pixcore::turnSignature(original.data(), pixcore::GridTurn::Turn90, copy.data());
        else
            pixcore::greySignature(original.data(), copy.data());
        SimilarGroup expected = group({1}, 2);
        // The copy is the base: its grid turned a quarter the other way, three quarters on, is the original.
        expected.matches = {rule.turned ? SimilarMatch{pixcore::GridTurn::Turn270, false}
                                        : SimilarMatch{pixcore::GridTurn::Identity, true}};
        EXPECT_EQ(findSimilarToPictures(cells, {}, {copy}, 0, 1), std::vector<SimilarGroup>{expected});
    }
}

TEST(ChosenGrouping, EveryEntryChosenIsTheFullSearch)
{
    // Without pairs kept apart, every entry as a chosen base groups as the full search does,
    // over more candidates than one piece of work takes, for each rule.
    std::mt19937 rng(11);
    for (const auto &[rule, count] : {std::pair{SimilarRule{}, 9000}, std::pair{SimilarRule{true, false}, 700},
                                      std::pair{SimilarRule{false, true}, 700}}) {
        std::vector<Signature> all;
        for (int i = 0; i < count; ++i) {
            if (i > 10 && rng() % 4 == 0) { // a near copy of an earlier one
                Signature s = all[rng() % all.size()];
                for (int16_t &v : s)
                    v = static_cast<int16_t>(std::clamp<int>(v + static_cast<int>(rng() % 9) - 4, 0, 255));
                all.push_back(s);
            } else {
                all.push_back(randomCells(rng));
            }
        }
        const auto cells = std::make_shared<const SimilarCells>(all, rule);
        std::vector<uint8_t> unnamed(count, 0);
        unnamed[5] = 1;
        std::vector<int> bases(count);
        for (int i = 0; i < count; ++i)
            bases[i] = count - 1 - i; // given backwards: still taken in catalogue order
        const std::vector<SimilarGroup> full = findSimilarGroups(cells, unnamed, 10, 2);
        EXPECT_GE(full.size(), static_cast<size_t>(count / 20));
        EXPECT_EQ(findSimilarToEntries(cells, unnamed, bases, 10, 2), full) << count;
    }
}

TEST(ChosenGrouping, EntriesThenPicturesInOneSearch)
{
    // Entries and pictures chosen together: the entries first, in catalogue order, then the
    // pictures, each finding only what the bases before it left; a raised stop finds nothing.
    const Fixture f;
    const int n = f.cells->count();
    const std::vector<SimilarGroup> both{group({0, 5}, 2), group({1, 4}, n + 1)};
    EXPECT_EQ(findSimilarToChosen(f.cells, f.unnamed, {{2, 6}, {flat(104), flat(201)}}, 5, 2), both);
    // Each kind alone is the search of that kind.
    EXPECT_EQ(findSimilarToChosen(f.cells, f.unnamed, {{5, 1}, {}}, 5, 1),
              findSimilarToEntries(f.cells, f.unnamed, {5, 1}, 5, 1));
    EXPECT_EQ(findSimilarToChosen(f.cells, f.unnamed, {{}, {flat(201)}}, 5, 1),
              findSimilarToPictures(f.cells, f.unnamed, {flat(201)}, 5, 1));
    const std::atomic_bool stop{true};
    EXPECT_TRUE(findSimilarToChosen(f.cells, f.unnamed, {{2}, {flat(201)}}, 5, 1, {}, &stop).empty());
}
