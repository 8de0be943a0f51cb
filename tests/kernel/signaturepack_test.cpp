#include <pixcore.h>
#include <signaturepack.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using Sig = std::array<int16_t, pixcore::SignatureValues>;
using pixcore::BatchIsa;

// The check value as defined: the 64 cell distances sorted, the 54th smallest minus the 7th.
int plainCheckValue(const Sig &a, const Sig &b)
{
    std::array<int, pixcore::Cells> d{};
    for (int c = 0; c < pixcore::Cells; ++c) {
        for (int k = 0; k < 3; ++k)
            d[c] += std::abs(a[3 * c + k] - b[3 * c + k]);
    }
    std::sort(d.begin(), d.end());
    return d[53] - d[6];
}

int16_t clampByte(int v)
{
    return static_cast<int16_t>(std::clamp(v, 0, 255));
}

Sig randomSig(std::mt19937 &rng, int low = 0, int high = 255)
{
    std::uniform_int_distribution<int> v(low, high);
    Sig s{};
    for (auto &x : s)
        x = static_cast<int16_t>(v(rng));
    return s;
}

// A signature whose check value against `base` is `target`: 64 cell distances with the
// 7th smallest at x and the 54th at x + target, the others below, between and above.
Sig withCheckValue(const Sig &base, int target, std::mt19937 &rng)
{
    const int x = static_cast<int>(rng() % 150);
    auto between = [&rng](int low, int high) { return low + static_cast<int>(rng() % (high - low + 1)); };
    std::vector<int> d;
    for (int i = 0; i < 6; ++i)
        d.push_back(between(0, x));
    d.push_back(x);
    for (int i = 0; i < 46; ++i)
        d.push_back(between(x, x + target));
    d.push_back(x + target);
    for (int i = 0; i < 10; ++i)
        d.push_back(between(x + target, 384));
    std::shuffle(d.begin(), d.end(), rng);
    Sig s = base;
    for (int c = 0; c < pixcore::Cells; ++c) {
        int rest = d[c];
        for (int k = 0; k < 3; ++k) { // every channel can move at least 128 either way
            const int v = base[3 * c + k];
            const int step = std::min({rest, std::max(v, 255 - v), k < 2 ? between(0, rest) : rest});
            s[3 * c + k] = static_cast<int16_t>(v + step <= 255 ? v + step : v - step);
            rest -= step;
        }
    }
    return s;
}

// Clusters of 32 entries: a root, then pictures alike and unlike it in every way the
// search meets, including check values just below, at and just above each of the three
// levels the root's rows are searched at. Seventeen clusters cover the levels 0..50.
constexpr int ClusterSize = 32;

std::array<int, 3> rowLevels(int entry)
{
    const int first = (entry / ClusterSize) % 17;
    return {first, first + 17, first + 34};
}

std::vector<Sig> makeCatalogue(int clusters, std::mt19937 &rng)
{
    std::vector<Sig> all;
    for (int cl = 0; cl < clusters; ++cl) {
        const std::array<int, 3> levels = rowLevels(cl * ClusterSize);
        int boundary = 0;
        Sig root;
        switch (cl % 4) {
        case 0: root = randomSig(rng); break;
        case 1: root = randomSig(rng, 60, 190); break; // room for unclipped shifts
        case 2: root.fill(static_cast<int16_t>(cl % 8 == 2 ? 0 : 255)); break;
        default:
            for (auto &v : root)
                v = static_cast<int16_t>(rng() % 2 ? 255 : 0);
        }
        all.push_back(root);
        for (int m = 1; m < ClusterSize; ++m) {
            Sig s = root;
            switch (m % 8) {
            case 0: break; // equal
            case 1: s = randomSig(rng); break;
            case 2: { // uniform shift, clipped at times
                const int shift = static_cast<int>(rng() % 121) - 60;
                for (auto &v : s)
                    v = clampByte(v + shift);
                break;
            }
            case 3: { // noise
                const int spread = 1 + static_cast<int>(rng() % 24);
                for (auto &v : s)
                    v = clampByte(v + static_cast<int>(rng() % (2 * spread + 1)) - spread);
                break;
            }
            case 4: // black against white in some cells
                for (int c = 0; c < pixcore::Cells; ++c) {
                    if (rng() % 6 == 0)
                        s[3 * c] = s[3 * c + 1] = s[3 * c + 2] = static_cast<int16_t>(rng() % 2 ? 255 : 0);
                }
                break;
            default: { // a level's boundary: one below, at, one above
                const int target = levels[boundary % 3] + (boundary / 3) % 3 - 1;
                s = withCheckValue(root, std::max(0, target), rng);
                ++boundary;
            }
            }
            all.push_back(s);
        }
    }
    return all;
}

struct Truth {
    std::vector<Sig> catalogue;
    std::vector<std::vector<int16_t>> values; // values[i][j - i - 1]: check value of (i, j)
    pixcore::SignaturePack pack;
};

const Truth &truth()
{
    static const Truth t = [] {
        Truth t;
        std::mt19937 rng(20240611);
        t.catalogue = makeCatalogue(45, rng); // 1440 entries, 1,036,080 pairs
        const int n = static_cast<int>(t.catalogue.size());
        t.values.resize(n);
        for (int i = 0; i < n; ++i) {
            for (int j = i + 1; j < n; ++j)
                t.values[i].push_back(static_cast<int16_t>(plainCheckValue(t.catalogue[i], t.catalogue[j])));
        }
        EXPECT_TRUE(t.pack.assign(t.catalogue.front().data(), n));
        return t;
    }();
    return t;
}

// Skip bytes for n entries: one entry in `every` skipped, at random.
std::vector<uint8_t> randomSkips(int n, int every, std::mt19937 &rng)
{
    std::vector<uint8_t> skip(n);
    for (auto &s : skip)
        s = rng() % every == 0;
    return skip;
}

bool available(BatchIsa isa)
{
    const auto isas = pixcore::availableBatchIsas();
    return std::find(isas.begin(), isas.end(), isa) != isas.end();
}

class SignaturePackIsa : public ::testing::TestWithParam<BatchIsa>
{
protected:
    void SetUp() override
    {
        if (!available(GetParam()))
            GTEST_SKIP() << pixcore::batchIsaName(GetParam()) << " is not available here";
    }
};

} // namespace

TEST_P(SignaturePackIsa, FindsExactlyThePairsTheSortingDefinitionFinds)
{
    // Every row of the catalogue, at three levels, answers in ascending order the pairs whose
    // sorted-distance check value is at most the level; every level meets values one below,
    // at and one above it.
    const Truth &t = truth();
    const int n = t.pack.count();
    std::vector<int32_t> hits(n);
    std::vector<int32_t> expected;
    std::array<std::array<long, 3>, 51> nearLevel{}; // check value level - 1, level, level + 1
    long pairs = 0, found = 0;
    for (int base = 0; base < n; ++base) {
        for (int level : rowLevels(base)) {
            expected.clear();
            for (int j = base + 1; j < n; ++j) {
                const int value = t.values[base][j - base - 1];
                if (std::abs(value - level) <= 1)
                    ++nearLevel[level][value - level + 1];
                if (value <= level)
                    expected.push_back(j);
            }
            const int32_t count = t.pack.findWithinLevel(GetParam(), base, base + 1, n, level, hits.data());
            const std::vector<int32_t> got(hits.begin(), hits.begin() + count);
            ASSERT_EQ(got, expected) << "base " << base << " level " << level;
            pairs += n - base - 1;
            found += count;
        }
    }
    EXPECT_GE(pairs, 3'000'000);
    EXPECT_GE(found, 30'000);
    for (int level = 0; level <= 50; ++level) {
        EXPECT_GE(nearLevel[level][0], level > 0 ? 5 : 0) << "level " << level;
        EXPECT_GE(nearLevel[level][1], 5) << "level " << level;
        EXPECT_GE(nearLevel[level][2], 5) << "level " << level;
    }
}

TEST_P(SignaturePackIsa, SpansSkipsAndLevelLimitsAreKept)
{
    // Spans split anywhere, skipped entries, clipped spans and out-of-range levels give the
    // answers of the whole row filtered accordingly.
    const Truth &t = truth();
    const int n = t.pack.count();
    std::mt19937 rng(3);
    const std::vector<uint8_t> skip = randomSkips(n, 3, rng);
    std::vector<int32_t> hits(n), pieces(n);
    for (int base = 0; base < n; base += 37) {
        const int level = rowLevels(base)[base % 3];
        std::vector<int32_t> expected;
        for (int j = 0; j < n; ++j) {
            const int value = j == base ? 0 : plainCheckValue(t.catalogue[base], t.catalogue[j]);
            if (value <= level && !skip[j])
                expected.push_back(j);
        }
        // The whole catalogue, clipped from a wider span, in pieces of random length.
        int32_t count = 0;
        for (int first = -5; first < n + 9;) {
            const int end = first + 1 + static_cast<int>(rng() % 100);
            count += t.pack.findWithinLevel(GetParam(), base, first, end, level, pieces.data() + count, skip.data());
            first = end;
        }
        ASSERT_EQ(std::vector<int32_t>(pieces.begin(), pieces.begin() + count), expected) << "base " << base;
        // Every entry not skipped is within the highest check value, none below level 0.
        count = t.pack.findWithinLevel(GetParam(), base, 0, n, 765, hits.data(), skip.data());
        EXPECT_EQ(count, std::count(skip.begin(), skip.end(), 0));
        EXPECT_EQ(t.pack.findWithinLevel(GetParam(), base, 0, n, 1 << 30, hits.data()), n);
        EXPECT_EQ(t.pack.findWithinLevel(GetParam(), base, 0, n, -1, hits.data()), 0);
    }
    EXPECT_EQ(t.pack.findWithinLevel(GetParam(), n, 0, n, 50, hits.data()), 0);
    EXPECT_EQ(t.pack.findWithinLevel(GetParam(), -1, 0, n, 50, hits.data()), 0);
}

TEST_P(SignaturePackIsa, SeveralOuterBasesFindTheFirstWithinTheLevel)
{
    // Up to eight bases given by value (roots of clusters, an entry's grid shifted, one alike
    // to nothing) find, in ascending order, every entry within the level of any of them,
    // each with the first such base, over spans and skips, as the sorting definition says.
    const Truth &t = truth();
    const int n = t.pack.count();
    std::mt19937 rng(5);
    const std::vector<uint8_t> skip = randomSkips(n, 5, rng);
    std::vector<int32_t> hits(n);
    std::vector<uint8_t> which(n);
    long found = 0, laterBase = 0;
    for (int row = 0; row < 24; ++row) {
        const int count = 1 + row % 8;
        std::vector<Sig> bases;
        for (int b = 0; b < count; ++b) {
            switch (rng() % 3) {
            case 0: bases.push_back(t.catalogue[(rng() % 45) * ClusterSize]); break;
            case 1: bases.push_back(randomSig(rng)); break;
            default: {
                Sig s = t.catalogue[rng() % n];
                for (auto &v : s)
                    v = clampByte(v + 3);
                bases.push_back(s);
            }
            }
        }
        const int level = static_cast<int>(rng() % 51);
        const int first = static_cast<int>(rng() % 200);
        const int end = n - static_cast<int>(rng() % 200);
        const bool skipping = row % 2 == 1;
        std::vector<int32_t> expected;
        std::vector<uint8_t> expectedWhich;
        for (int j = first; j < end; ++j) {
            if (skipping && skip[j])
                continue;
            for (int b = 0; b < count; ++b) {
                if (plainCheckValue(bases[b], t.catalogue[j]) <= level) {
                    expected.push_back(j);
                    expectedWhich.push_back(static_cast<uint8_t>(b));
                    laterBase += b > 0;
                    break;
                }
            }
        }
        const int32_t got = t.pack.findWithinLevelOfAny(GetParam(), bases.front().data(), count, first, end, level,
                                                        hits.data(), which.data(), skipping ? skip.data() : nullptr);
        ASSERT_EQ(std::vector<int32_t>(hits.begin(), hits.begin() + std::max(got, 0)), expected) << "row " << row;
        ASSERT_EQ(std::vector<uint8_t>(which.begin(), which.begin() + got), expectedWhich) << "row " << row;
        found += got;
    }
    EXPECT_GE(found, 300);
    EXPECT_GE(laterBase, 50) << "bases after the first should find entries too";
}

INSTANTIATE_TEST_SUITE_P(Isa, SignaturePackIsa,
                         ::testing::Values(BatchIsa::Portable, BatchIsa::Sse2, BatchIsa::Avx2, BatchIsa::Avx512bw),
                         [](const auto &info) { return std::string(pixcore::batchIsaName(info.param)); });

TEST(SignaturePack, OnlySignaturesOfBytesArePacked)
{
    // A value outside 0..255 (which no picture gives) leaves the pack empty; an empty pack finds nothing.
    std::mt19937 rng(1);
    std::vector<Sig> sigs = {randomSig(rng), randomSig(rng), randomSig(rng)};
    pixcore::SignaturePack pack;
    ASSERT_TRUE(pack.assign(sigs.front().data(), 3));
    EXPECT_EQ(pack.count(), 3);
    int32_t hits[3];
    EXPECT_EQ(pack.findWithinLevel(0, 0, 3, 0, hits), 1);
    for (int16_t wrong : {int16_t(-1), int16_t(256), int16_t(-32768)}) {
        sigs[2][100] = wrong;
        EXPECT_FALSE(pack.assign(sigs.front().data(), 3));
        EXPECT_EQ(pack.count(), 0);
        EXPECT_EQ(pack.findWithinLevel(0, 0, 3, 765, hits), 0);
    }
    // Outer bases are refused, not misread, when they are no signatures of bytes or too many.
    sigs[2][100] = 7;
    ASSERT_TRUE(pack.assign(sigs.front().data(), 3));
    EXPECT_EQ(pack.findWithinLevelOfAny(sigs.front().data(), 3, 0, 3, 765, hits), 3);
    EXPECT_EQ(pack.findWithinLevelOfAny(sigs.front().data(), 0, 0, 3, 765, hits), -1);
    std::vector<Sig> nine(9, sigs[0]);
    EXPECT_EQ(pack.findWithinLevelOfAny(nine.front().data(), 9, 0, 3, 765, hits), -1);
    nine[1][5] = 256;
    EXPECT_EQ(pack.findWithinLevelOfAny(nine.front().data(), 2, 0, 3, 765, hits), -1);
    pixcore::SignaturePack moved = std::move(pack);
    EXPECT_TRUE(moved.assign(sigs.front().data(), 2));
    EXPECT_EQ(moved.findWithinLevel(1, 0, 2, 765, hits), 2);
}

namespace {

// A pack built in pieces (growing past its room, a piece taken back, a bad piece refused)
// holds and finds what one built at once holds and finds.
TEST(SignaturePack, BuiltInPiecesAsAtOnce)
{
    std::mt19937 rng(7);
    std::vector<Sig> sigs(100);
    for (Sig &s : sigs)
        s = randomSig(rng, 100, 140);
    pixcore::SignaturePack whole, pieces;
    ASSERT_TRUE(whole.assign(sigs.front().data(), 100));
    ASSERT_TRUE(pieces.reserve(10));
    ASSERT_TRUE(pieces.append(sigs.front().data(), 33));
    ASSERT_TRUE(pieces.append(sigs[33].data(), 40));
    Sig bad = sigs[0];
    bad[191] = 300;
    EXPECT_FALSE(pieces.append(bad.data(), 1));
    ASSERT_TRUE(pieces.append(sigs[0].data(), 5)); // taken back below
    pieces.truncate(73);
    ASSERT_TRUE(pieces.append(sigs[73].data(), 27));
    ASSERT_EQ(pieces.count(), 100);
    std::vector<int32_t> a(100), b(100);
    for (int base : {0, 32, 72, 73, 99}) {
        Sig back{};
        pieces.signature(base, back.data());
        EXPECT_EQ(back, sigs[base]);
        const int32_t n = whole.findWithinLevel(base, 0, 100, 60, a.data());
        ASSERT_EQ(pieces.findWithinLevel(base, 0, 100, 60, b.data()), n);
        EXPECT_TRUE(std::equal(a.begin(), a.begin() + n, b.begin())) << base;
    }
}

} // namespace
