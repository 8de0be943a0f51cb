#include <pixcore.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

namespace {

using Sig = std::array<int16_t, pixcore::SignatureValues>;

Sig uniform(int r, int g, int b)
{
    Sig s{};
    for (int i = 0; i < pixcore::Cells; ++i) {
        s[3 * i] = static_cast<int16_t>(r);
        s[3 * i + 1] = static_cast<int16_t>(g);
        s[3 * i + 2] = static_cast<int16_t>(b);
    }
    return s;
}

Sig randomSig(std::mt19937 &rng)
{
    std::uniform_int_distribution<int> v(0, 255);
    Sig s{};
    for (auto &x : s)
        x = static_cast<int16_t>(v(rng));
    return s;
}

// A 64 x 64 RGB32 surface filled with one colour.
struct Surface {
    std::vector<uint32_t> pixels = std::vector<uint32_t>(64 * 64);
    PixcoreSurface view() const { return {pixels.data(), 64, 64, 64}; }
    void fill(uint32_t argb) { std::fill(pixels.begin(), pixels.end(), argb); }
    void set(int x, int y, uint32_t argb) { pixels[y * 64 + x] = argb; }
};

class Kernel : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_NE(PixcoreInitialize(64, 64, 8, 8), nullptr); }
    void TearDown() override { PixcoreTerminate(); }
};

} // namespace

TEST_F(Kernel, IdenticalAndUniformlyShiftedSignaturesScoreZero)
{
    // Identical pictures and a uniform colour shift without clipping both count as alike.
    std::mt19937 rng(7);
    const Sig a = randomSig(rng);
    EXPECT_EQ(GetCheckValuePX(a.data(), a.data()), 0);
    Sig base = uniform(100, 100, 100);
    for (int i = 0; i < pixcore::SignatureValues; ++i)
        base[i] = static_cast<int16_t>(50 + (i * 37) % 100);
    Sig shifted = base;
    for (auto &v : shifted)
        v = static_cast<int16_t>(v + 40);
    EXPECT_EQ(GetCheckValuePX(base.data(), shifted.data()), 0);
    EXPECT_EQ(pixcore::checkValue(base.data(), shifted.data()), 0);
}

class KernelBlackWhite : public Kernel, public ::testing::WithParamInterface<int>
{
};

TEST_P(KernelBlackWhite, TenOpposedCellsAreTrimmedTheEleventhCounts)
{
    // k cells black against white: the ten largest distances never count, the eleventh does.
    const int k = GetParam();
    const Sig a = uniform(0, 0, 0);
    Sig b = a;
    for (int cell = 0; cell < k; ++cell)
        b[3 * cell] = b[3 * cell + 1] = b[3 * cell + 2] = 255;
    const int expected = k <= 10 ? 0 : 765;
    EXPECT_EQ(GetCheckValuePX(a.data(), b.data()), expected);
    EXPECT_EQ(pixcore::checkValue(a.data(), b.data()), expected);
}

INSTANTIATE_TEST_SUITE_P(Cells, KernelBlackWhite, ::testing::Range(0, 13));

TEST_F(Kernel, CheckValueIsTheSpreadBetweenTheSeventhAndFiftyFourthSmallest)
{
    // With distances 0, 1, ..., 63 in shuffled cells, the value is element 53 minus element 6.
    Sig a{}, b{};
    std::vector<int> order(64);
    for (int i = 0; i < 64; ++i)
        order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(3));
    for (int cell = 0; cell < 64; ++cell)
        b[3 * cell] = static_cast<int16_t>(order[cell]);
    EXPECT_EQ(GetCheckValuePX(a.data(), b.data()), 53 - 6);
}

TEST_F(Kernel, ReentrantCheckValueMatchesTheEntryPointOnRandomAndDamagedInput)
{
    // The thread-safe comparison gives the same value as the C entry point, symmetric and bounded.
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> wild(-32768, 32767);
    for (int round = 0; round < 5000; ++round) {
        Sig a = randomSig(rng), b = randomSig(rng);
        if (round % 4 == 1) { // nearly alike: small distances, the histogram path's hard cases
            b = a;
            for (auto &v : b)
                v = static_cast<int16_t>(std::clamp(v + static_cast<int>(rng() % 9) - 4, 0, 255));
        }
        if (round % 50 == 7) { // values no picture produces, as a damaged catalogue may hold
            for (auto &v : b)
                v = static_cast<int16_t>(wild(rng));
        }
        const int32_t expected = GetCheckValuePX(a.data(), b.data());
        ASSERT_EQ(pixcore::checkValue(a.data(), b.data()), expected) << "round " << round;
        for (int level : {0, expected - 1, expected, 50, 63, 64, 100})
            ASSERT_EQ(pixcore::withinLevel(a.data(), b.data(), level), expected <= level) << "level " << level;
        ASSERT_EQ(GetCheckValuePX(b.data(), a.data()), expected);
        ASSERT_GE(expected, 0);
        if (round % 50 != 7) {
            ASSERT_LE(expected, 765);
        }
    }
}

struct TruncationCase {
    const char *name;
    int redPixels; // pixels of red 255 in cell (1, 0); the other pixels of the cell have red 0
    int16_t red;   // the cell's stored red
};

class KernelTruncation : public Kernel, public ::testing::WithParamInterface<TruncationCase>
{
};

TEST_P(KernelTruncation, GridAveragesEachCellTruncated)
{
    // A cell's average is the channel sum divided by 64 and truncated, channels in R, G, B order.
    const TruncationCase c = GetParam();
    Surface s;
    s.fill(0xFF00FF10); // red 0, green 255, blue 16
    for (int i = 0; i < c.redPixels; ++i)
        s.set(8 + i % 8, i / 8, 0xFFFF0000 | 0x00FF10);
    Sig sig{};
    const PixcoreSurface view = s.view();
    GetRGB(&view, sig.data());
    EXPECT_EQ(sig[3 * 1], c.red); // cell (1, 0)
    EXPECT_EQ(sig[3 * 1 + 1], 255);
    EXPECT_EQ(sig[3 * 1 + 2], 16);
    EXPECT_EQ(sig[0], 0);         // cell (0, 0) red
    Sig fast{};
    pixcore::averageGrid(view, fast.data());
    EXPECT_EQ(fast, sig);
}

INSTANTIATE_TEST_SUITE_P(Cells, KernelTruncation,
                         ::testing::Values(TruncationCase{"onePixelOf255Gives3Not4", 1, 3},
                                           TruncationCase{"sixtyThreeOf255Gives251", 63, 251},
                                           TruncationCase{"allSixtyFourGive255", 64, 255}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(Kernel, UniformSurfaceGivesItsColourInEveryCell)
{
    // A one-colour surface gives that colour in all 64 cells, from both grid functions.
    Surface s;
    s.fill(0xFF123456);
    Sig sig{}, fast{};
    const PixcoreSurface view = s.view();
    GetRGB(&view, sig.data());
    pixcore::averageGrid(view, fast.data());
    EXPECT_EQ(sig, uniform(0x12, 0x34, 0x56));
    EXPECT_EQ(fast, sig);
}

TEST_F(Kernel, PixelReaderPutsRedInTheLowestByte)
{
    // The pixel colour has red lowest, then green, then blue; outside the surface it is invalid.
    Surface s;
    s.fill(0xFF112233);
    const PixcoreSurface view = s.view();
    EXPECT_EQ(PixcoreGetPixel(&view, 3, 4), 0x00332211u);
    EXPECT_EQ(PixcoreGetPixel(&view, 64, 0), 0xFFFFFFFFu);
    EXPECT_EQ(PixcoreGetPixel(&view, -1, 0), 0xFFFFFFFFu);
}

struct GridConfig {
    const char *name;
    int32_t pictureWidth, pictureHeight, cellWidth, cellHeight;
};

class KernelOversizeGrid : public ::testing::TestWithParam<GridConfig>
{
protected:
    void SetUp() override
    {
        const GridConfig c = GetParam();
        ASSERT_NE(PixcoreInitialize(c.pictureWidth, c.pictureHeight, c.cellWidth, c.cellHeight), nullptr);
    }
    void TearDown() override { PixcoreTerminate(); }
    // 16 x 16 cells, rows 8 cells apart, reach element 3 * (8 * 15 + 15) + 2.
    static constexpr int Reach = 3 * (8 * 15 + 15) + 3;
};

TEST_P(KernelOversizeGrid, OnlyTheSignaturesEightByEightCellsAreComparedAndFilled)
{
    // A grid configured larger than 8 x 8 cells reads, compares and writes only a signature's 64 cells.
    std::mt19937 rng(5);
    Sig a = randomSig(rng), b = randomSig(rng);
    const int32_t expected = pixcore::checkValue(a.data(), b.data());
    // Exactly sized copies let AddressSanitizer see a read past them.
    const std::vector<int16_t> exactA(a.begin(), a.end()), exactB(b.begin(), b.end());
    EXPECT_EQ(GetCheckValuePX(exactA.data(), exactB.data()), expected);
    // Equal signatures followed by black against white: anything read past 192 values shows.
    std::vector<int16_t> paddedA(Reach, 0), paddedB(Reach, 255);
    std::copy(a.begin(), a.end(), paddedA.begin());
    std::copy(a.begin(), a.end(), paddedB.begin());
    EXPECT_EQ(GetCheckValuePX(paddedA.data(), paddedB.data()), 0);
    // Without the work buffer the comparison falls back to its own 64 cells.
    PixcoreTerminate();
    EXPECT_EQ(GetCheckValuePX(exactA.data(), exactB.data()), expected);

    // A surface as large as the configuration fills 64 cells and nothing after them.
    const GridConfig c = GetParam();
    std::vector<uint32_t> pixels(static_cast<size_t>(c.pictureWidth) * c.pictureHeight, 0xFF336699);
    const PixcoreSurface view{pixels.data(), c.pictureWidth, c.pictureHeight, c.pictureWidth};
    std::vector<int16_t> filled(Reach, -1);
    GetRGB(&view, filled.data());
    const Sig colour = uniform(0x33, 0x66, 0x99);
    EXPECT_TRUE(std::equal(colour.begin(), colour.end(), filled.begin()));
    EXPECT_TRUE(std::all_of(filled.begin() + pixcore::SignatureValues, filled.end(), [](int16_t v) { return v == -1; }));
}

INSTANTIATE_TEST_SUITE_P(Configurations, KernelOversizeGrid,
                         ::testing::Values(GridConfig{"sixteenBySixteenCells", 128, 128, 8, 8},
                                           GridConfig{"sixteenRows", 64, 128, 8, 8},
                                           GridConfig{"sixteenColumns", 128, 64, 8, 8},
                                           GridConfig{"smallCells", 64, 64, 4, 4}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(KernelLifecycle, ComparisonBeforeInitialisationOrAfterTerminationDoesNotCrash)
{
    // Without a work buffer the comparison still answers instead of writing through null.
    PixcoreTerminate();
    const Sig a = uniform(1, 2, 3), b = uniform(1, 2, 3);
    EXPECT_EQ(GetCheckValuePX(a.data(), b.data()), 0);
    EXPECT_NE(PixcoreInitialize(64, 64, 8, 8), nullptr);
    EXPECT_NE(PixcoreInitialize(64, 64, 8, 8), nullptr); // a second initialisation replaces the buffer
    PixcoreTerminate();
}

TEST(KernelGrey, EachCellBecomesItsLumaTruncated)
{
    // The grey signature holds (299 R + 587 G + 114 B) / 1000, truncated, in all three values.
    const int cases[][4] = {{255, 255, 255, 255}, {0, 0, 0, 0}, {10, 0, 0, 2}, {0, 0, 9, 1},
                            {0, 255, 0, 149}, {200, 100, 50, 124}, {1, 1, 1, 1}, {3, 3, 4, 3}};
    Sig in{};
    for (int c = 0; c < pixcore::Cells; ++c)
        for (int k = 0; k < 3; ++k)
            in[3 * c + k] = static_cast<int16_t>(cases[c % 8][k]);
    Sig out{};
    pixcore::greySignature(in.data(), out.data());
    for (int c = 0; c < pixcore::Cells; ++c)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(out[3 * c + k], cases[c % 8][3]) << "cell " << c;
    pixcore::greySignature(in.data(), in.data()); // in place
    EXPECT_EQ(in, out);
}
