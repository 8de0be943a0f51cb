// The batch comparison against GetCheckValuePX on pairs built to sit on the level: many
// distances tied at the 7th smallest and at the 54th, so that a comparison reading only
// part of the cells sees the same ranks as the whole and is decided by one unit.
#include <pixcore.h>
#include <signaturepack.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

namespace {

using Sig = std::array<int16_t, pixcore::SignatureValues>;
using pixcore::BatchIsa;

int between(std::mt19937 &rng, int low, int high)
{
    return low + static_cast<int>(rng() % (high - low + 1));
}

// 64 cell distances, shuffled, whose 54th smallest minus 7th smallest is `target`: up to 6
// below the 7th, up to 10 above the 54th, and most of the rest tied at one of the two.
std::vector<int> tiedDistances(int target, int ceiling, std::mt19937 &rng)
{
    const int x = between(rng, 0, std::min(150, ceiling - target - 1));
    const int below = x > 0 ? between(rng, 0, 6) : 0;
    const int above = between(rng, 0, 10);
    const int atLow = 7 - below + between(rng, 0, 11);
    const int atHigh = 11 - above + between(rng, 0, 11);
    std::vector<int> d;
    for (int i = 0; i < below; ++i)
        d.push_back(between(rng, 0, x - 1));
    d.insert(d.end(), atLow, x);
    d.insert(d.end(), atHigh, x + target);
    for (int i = 0; i < above; ++i)
        d.push_back(between(rng, x + target + 1, ceiling));
    while (d.size() < pixcore::Cells)
        d.push_back(target > 1 ? between(rng, x + 1, x + target - 1) : x);
    std::shuffle(d.begin(), d.end(), rng);
    return d;
}

// A signature at distance d[c] from `base` in every cell, the distance spread over the
// channels (each can move at least 128 one way or the other).
Sig atDistances(const Sig &base, const std::vector<int> &d, std::mt19937 &rng)
{
    Sig s = base;
    for (int c = 0; c < pixcore::Cells; ++c) {
        int rest = d[c];
        for (int k = 0; k < 3; ++k) {
            const int v = base[3 * c + k];
            const int step = std::min({rest, std::max(v, 255 - v), k < 2 ? between(rng, 0, rest) : rest});
            s[3 * c + k] = static_cast<int16_t>(v + step <= 255 ? v + step : v - step);
            rest -= step;
        }
    }
    return s;
}

// A grey signature (three equal values per cell) whose distances from the grey `base` are
// 3 e[c]: check values come in steps of 3.
Sig greyAtDistances(const Sig &base, const std::vector<int> &e)
{
    Sig s = base;
    for (int c = 0; c < pixcore::Cells; ++c) {
        const int v = base[3 * c];
        const int u = v + e[c] <= 255 ? v + e[c] : v - e[c];
        s[3 * c] = s[3 * c + 1] = s[3 * c + 2] = static_cast<int16_t>(u);
    }
    return s;
}

Sig randomSig(std::mt19937 &rng)
{
    Sig s{};
    for (auto &v : s)
        v = static_cast<int16_t>(between(rng, 0, 255));
    return s;
}

enum class Search { Plain, Turned, Grey };

struct Case {
    BatchIsa isa;
    Search search;
};

std::string caseName(const ::testing::TestParamInfo<Case> &info)
{
    const char *search[] = {"plain", "turned", "grey"};
    return std::string(pixcore::batchIsaName(info.param.isa)) + "_" + search[static_cast<int>(info.param.search)];
}

class BatchBound : public ::testing::TestWithParam<Case>
{
protected:
    void SetUp() override
    {
        const auto isas = pixcore::availableBatchIsas();
        if (std::find(isas.begin(), isas.end(), GetParam().isa) == isas.end())
            GTEST_SKIP() << pixcore::batchIsaName(GetParam().isa) << " is not available here";
        PixcoreInitialize(64, 64, 8, 8);
    }
    void TearDown() override { PixcoreTerminate(); }
};

} // namespace

// A random base as the search compares it: grey for the grey search, with its seven turns
// after it for the turned one.
std::vector<Sig> searchBases(Search search, std::mt19937 &rng)
{
    Sig base = randomSig(rng);
    if (search == Search::Grey)
        pixcore::greySignature(base.data(), base.data());
    std::vector<Sig> bases(search == Search::Turned ? pixcore::GridTurnCount : 1, base);
    for (size_t t = 1; t < bases.size(); ++t)
        pixcore::turnSignature(base.data(), static_cast<pixcore::GridTurn>(t), bases[t].data());
    return bases;
}

TEST_P(BatchBound, PairsOnTheLevelAnswerAsTheSortingDefinition)
{
    // Rows of candidates whose check value with a base (or one of its 8 turnings, or in
    // brightness alone) is v, asked at levels v - 1, v and v + 1 for low, middle and high v,
    // find exactly the candidates GetCheckValuePX puts within the level, with the first
    // turning that does.
    const Search search = GetParam().search;
    const std::vector<int> values = search == Search::Grey
        ? std::vector<int>{0, 3, 9, 12, 21, 33, 48, 51, 99, 120, 123, 150}
        : std::vector<int>{0, 1, 9, 10, 11, 16, 19, 20, 21, 36, 49, 50, 51, 100, 121, 150};
    std::mt19937 rng(static_cast<unsigned>(1000 + static_cast<int>(search)));
    std::array<long, 3> nearLevel{}; // pairs whose check value is level - 1, level, level + 1
    long found = 0;
    for (int row = 0; row < 12; ++row) {
        const std::vector<Sig> bases = searchBases(search, rng);
        const Sig &base = bases[0];
        std::vector<Sig> candidates;
        for (int v : values) {
            for (int k = 0; k < 40; ++k) {
                const Sig &from = bases[rng() % bases.size()];
                candidates.push_back(search == Search::Grey ? greyAtDistances(from, tiedDistances(v / 3, 128, rng))
                                                            : atDistances(from, tiedDistances(v, 384, rng), rng));
            }
            candidates.push_back(randomSig(rng));
        }
        // The base is entry 0 of the pack: a row from an entry, and the turnings given by value.
        candidates.insert(candidates.begin(), base);
        const int n = static_cast<int>(candidates.size());
        pixcore::SignaturePack pack;
        ASSERT_TRUE(pack.assign(candidates.front().data(), n));
        std::vector<int32_t> hits(n);
        std::vector<uint8_t> which(n);
        std::vector<std::vector<int>> value(n); // value[j][b]: candidate j against base b
        for (int j = 1; j < n; ++j)
            for (const Sig &b : bases)
                value[j].push_back(GetCheckValuePX(b.data(), candidates[j].data()));
        for (int v : values) {
            for (int level = std::max(0, v - 1); level <= v + 1; ++level) {
                std::vector<int32_t> expected;
                std::vector<uint8_t> expectedWhich;
                for (int j = 1; j < n; ++j) {
                    int closest = 765;
                    for (size_t b = 0; b < bases.size(); ++b) {
                        if (value[j][b] <= level && closest > level) {
                            expected.push_back(j);
                            expectedWhich.push_back(static_cast<uint8_t>(b));
                        }
                        closest = std::min(closest, value[j][b]);
                    }
                    if (std::abs(closest - level) <= 1)
                        ++nearLevel[closest - level + 1];
                }
                const int32_t count = search == Search::Turned
                    ? pack.findWithinLevelOfAny(GetParam().isa, bases.front().data(), pixcore::GridTurnCount, 1, n,
                                                level, hits.data(), which.data())
                    : pack.findWithinLevel(GetParam().isa, 0, 1, n, level, hits.data());
                ASSERT_EQ(std::vector<int32_t>(hits.begin(), hits.begin() + count), expected)
                    << "row " << row << " value " << v << " level " << level;
                if (search == Search::Turned) {
                    ASSERT_EQ(std::vector<uint8_t>(which.begin(), which.begin() + count), expectedWhich);
                }
                found += count;
            }
        }
    }
    EXPECT_GE(nearLevel[0], 500) << "pairs one below the level";
    EXPECT_GE(nearLevel[1], 500) << "pairs at the level";
    EXPECT_GE(nearLevel[2], 500) << "pairs one above the level";
    EXPECT_GE(found, 5000);
}

INSTANTIATE_TEST_SUITE_P(Isa, BatchBound,
                         ::testing::ValuesIn([] {
                             std::vector<Case> cases;
                             for (BatchIsa isa : {BatchIsa::Portable, BatchIsa::Sse2, BatchIsa::Avx2, BatchIsa::Avx512bw}) {
                                 for (Search s : {Search::Plain, Search::Turned, Search::Grey})
                                     cases.push_back({isa, s});
                             }
                             return cases;
                         }()),
                         caseName);

// Every hit of the candidates after the first (a base itself), and the first turning within
// the level, at each of `levels`, as GetCheckValuePX says; the hits found in all.
long expectAsTheSortingDefinition(const Case &c, const std::vector<Sig> &bases, const std::vector<Sig> &candidates,
                                  const std::vector<int> &levels, const std::string &what)
{
    const int n = static_cast<int>(candidates.size());
    pixcore::SignaturePack pack;
    EXPECT_TRUE(pack.assign(candidates.front().data(), n));
    std::vector<int32_t> hits(n);
    std::vector<uint8_t> which(n);
    long found = 0;
    for (const int level : levels) {
        std::vector<int32_t> expected;
        std::vector<uint8_t> expectedWhich;
        for (int j = 1; j < n; ++j) {
            for (size_t b = 0; b < bases.size(); ++b) {
                if (GetCheckValuePX(bases[b].data(), candidates[j].data()) <= level) {
                    expected.push_back(j);
                    expectedWhich.push_back(static_cast<uint8_t>(b));
                    break;
                }
            }
        }
        const int32_t count = c.search == Search::Turned
            ? pack.findWithinLevelOfAny(c.isa, bases.front().data(), pixcore::GridTurnCount, 1, n, level, hits.data(),
                                        which.data())
            : pack.findWithinLevel(c.isa, 0, 1, n, level, hits.data());
        EXPECT_EQ(std::vector<int32_t>(hits.begin(), hits.begin() + count), expected) << what << " level " << level;
        if (c.search == Search::Turned) {
            EXPECT_EQ(std::vector<uint8_t>(which.begin(), which.begin() + count), expectedWhich) << what;
        }
        found += count;
    }
    return found;
}

TEST_P(BatchBound, RunsOfUnlikeAndAlikePairsAnswerAsTheSortingDefinition)
{
    // A row where runs of pairs that share nothing (rejected after few distances) and runs
    // of pairs tied on the level (read to the end) follow one another, so the comparison
    // changes how it reads registers within the row, more than once: every hit, and the
    // first turning within the level, as GetCheckValuePX says, at level - 1, level, level + 1.
    const Search search = GetParam().search;
    std::mt19937 rng(static_cast<unsigned>(2000 + static_cast<int>(search)));
    long found = 0;
    for (int v : {1, 10, 15, 16, 20, 35, 36, 50, 120, 121}) {
        const int target = search == Search::Grey ? (v + 2) / 3 * 3 : v;
        const std::vector<Sig> bases = searchBases(search, rng);
        const Sig &base = bases[0];
        std::vector<Sig> candidates{base};
        for (int run = 0; run < 12; ++run) {
            const int length = between(rng, 20, 120);
            for (int k = 0; k < length; ++k) {
                const Sig &from = bases[rng() % bases.size()];
                if (run % 2 == 0)
                    candidates.push_back(randomSig(rng));
                else
                    candidates.push_back(search == Search::Grey ? greyAtDistances(from, tiedDistances(target / 3, 128, rng))
                                                                : atDistances(from, tiedDistances(target, 384, rng), rng));
            }
        }
        found += expectAsTheSortingDefinition(GetParam(), bases, candidates, {target - 1, target, target + 1},
                                              "value " + std::to_string(v));
    }
    EXPECT_GE(found, 1000);
}

// The cells in the order the comparison reads them: a checkerboard's black cells first,
// their rows in the order 0, 4, 2, 6, 1, 5, 3, 7, then the white cells likewise.
std::array<int, pixcore::Cells> readingOrder()
{
    std::array<int, pixcore::Cells> order{};
    int n = 0;
    for (int colour = 0; colour < 2; ++colour) {
        for (int r : {0, 4, 2, 6, 1, 5, 3, 7}) {
            for (int q = 0; q < 8; ++q) {
                if ((r + q) % 2 == colour)
                    order[size_t(n++)] = 8 * r + q;
            }
        }
    }
    return order;
}

// 64 distances whose check value is `target`, with the 7 smallest (6 of them below the 7th)
// and the 11 largest all among the first `front` cells read: there a stage that reads only
// those cells is already exact, and any fault in how it ranks them changes its answer.
std::vector<int> frontLoaded(int target, int ceiling, int front, std::mt19937 &rng)
{
    const int x = between(rng, 6, std::min(150, ceiling - target));
    std::vector<int> extremes;
    for (int i = 0; i < 6; ++i)
        extremes.push_back(between(rng, 0, x - 1));
    extremes.push_back(x);
    extremes.insert(extremes.end(), 11, x + target);
    std::array<int, pixcore::Cells> order = readingOrder();
    std::shuffle(order.begin(), order.begin() + front, rng);
    std::vector<int> d(pixcore::Cells, -1);
    for (size_t i = 0; i < extremes.size(); ++i)
        d[size_t(order[i])] = extremes[i];
    for (int &v : d) {
        if (v < 0)
            v = between(rng, x, x + target); // ties at either end keep both ranks
    }
    return d;
}

TEST_P(BatchBound, PairsDecidedInTheFirstCellsReadAnswerAsTheSortingDefinition)
{
    // Pairs whose check value every stage that reads the first 24, 32 or 40 cells already
    // sees exactly, their smallest distances spread over its groups of 8 in every way.
    const Search search = GetParam().search;
    std::mt19937 rng(static_cast<unsigned>(3000 + static_cast<int>(search)));
    long found = 0;
    for (int v : {2, 9, 10, 11, 15, 16, 20, 35, 36, 50, 51, 120}) {
        const int target = search == Search::Grey ? (v + 2) / 3 * 3 : v;
        const std::vector<Sig> bases = searchBases(search, rng);
        std::vector<Sig> candidates{bases[0]};
        for (int front : {18, 24, 32, 40}) {
            for (int k = 0; k < 60; ++k) {
                const Sig &from = bases[rng() % bases.size()];
                candidates.push_back(search == Search::Grey
                                         ? greyAtDistances(from, frontLoaded(target / 3, 128, front, rng))
                                         : atDistances(from, frontLoaded(target, 384, front, rng), rng));
            }
        }
        found += expectAsTheSortingDefinition(GetParam(), bases, candidates, {target - 1, target, target + 1},
                                              "value " + std::to_string(v));
    }
    EXPECT_GE(found, 2000);
}

struct EdgeSpan {
    int first;
    int end;
};

TEST_P(BatchBound, PairsAtTheEdgesOfBlocksAnswerAsTheSortingDefinition)
{
    // Among pairs that share nothing, so that the comparison keeps reading two blocks of 32
    // at once where it can, pairs on the level sit at the first and last entries of blocks;
    // spans begin and end on either side of a block's edge and some entries are skipped,
    // once a whole block.
    // Every hit, and the first turning within the level, as GetCheckValuePX says.
    const Search search = GetParam().search;
    std::mt19937 rng(static_cast<unsigned>(4000 + static_cast<int>(search)));
    const std::vector<int> edges{1, 30, 31, 32, 33, 63, 64, 65, 95, 96, 127, 128, 159, 160, 191, 192, 222, 223, 255, 256, 287, 319};
    const std::vector<EdgeSpan> spans{{1, 320}, {31, 320}, {32, 320}, {33, 65}, {63, 97}, {64, 96},
                                      {64, 128}, {95, 97}, {96, 160}, {127, 129}, {160, 192}, {190, 320}};
    long found = 0;
    for (int v : {36, 49, 50, 51, 100, 120}) {
        const int target = search == Search::Grey ? (v + 2) / 3 * 3 : v;
        const std::vector<Sig> bases = searchBases(search, rng);
        std::vector<Sig> candidates{bases[0]};
        while (candidates.size() < 320)
            candidates.push_back(randomSig(rng));
        for (size_t e = 0; e < edges.size(); ++e) {
            const Sig &from = bases[rng() % bases.size()];
            const int value = target + (e % 3 == 2 ? (search == Search::Grey ? 3 : 1) : 0);
            candidates[size_t(edges[e])] = search == Search::Grey ? greyAtDistances(from, tiedDistances(value / 3, 128, rng))
                                                                  : atDistances(from, tiedDistances(value, 384, rng), rng);
        }
        const int n = static_cast<int>(candidates.size());
        pixcore::SignaturePack pack;
        ASSERT_TRUE(pack.assign(candidates.front().data(), n));
        std::vector<uint8_t> skip(static_cast<size_t>(n));
        // A few entries, and the whole block from 192, whose next one is read alone then.
        for (int j : {33, 96, 160, 223})
            skip[size_t(j)] = 1;
        std::fill(skip.begin() + 192, skip.begin() + 224, 1);
        std::vector<int32_t> hits(static_cast<size_t>(n));
        std::vector<uint8_t> which(static_cast<size_t>(n));
        for (const EdgeSpan &span : spans) {
            for (const uint8_t *skipped : {static_cast<const uint8_t *>(nullptr), static_cast<const uint8_t *>(skip.data())}) {
                std::vector<int32_t> expected;
                std::vector<uint8_t> expectedWhich;
                for (int j = span.first; j < span.end; ++j) {
                    if (skipped && skipped[j])
                        continue;
                    for (size_t b = 0; b < bases.size(); ++b) {
                        if (GetCheckValuePX(bases[b].data(), candidates[size_t(j)].data()) <= target) {
                            expected.push_back(j);
                            expectedWhich.push_back(static_cast<uint8_t>(b));
                            break;
                        }
                    }
                }
                const int32_t count = search == Search::Turned
                    ? pack.findWithinLevelOfAny(GetParam().isa, bases.front().data(), pixcore::GridTurnCount, span.first,
                                                span.end, target, hits.data(), which.data(), skipped)
                    : pack.findWithinLevel(GetParam().isa, 0, span.first, span.end, target, hits.data(), skipped);
                ASSERT_EQ(std::vector<int32_t>(hits.begin(), hits.begin() + count), expected)
                    << "value " << v << " span " << span.first << ".." << span.end << (skipped ? " skipping" : "");
                if (search == Search::Turned) {
                    ASSERT_EQ(std::vector<uint8_t>(which.begin(), which.begin() + count), expectedWhich);
                }
                found += count;
            }
        }
    }
    EXPECT_GE(found, 500);
}
