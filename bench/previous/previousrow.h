#pragma once
// The batch comparison as the kernel ran it before its first stage (every pair's 64
// distances, the sorted groups merged as a tree), kept for the benchmarks to measure the
// kernel against in the same run. Same packed layout as SignaturePack.

#include <cstdint>

namespace previousbatch {

// Packed layout of one block of 32 entries (6,144 bytes, 64-byte aligned):
//   bytes    0 .. 4095: cell c at 64 c: R, G of entry k at 64 c + 2 k, 64 c + 2 k + 1
//   bytes 4096 .. 6143: cell c at 4096 + 32 c: B of entry k at 4096 + 32 c + k
// so a register of W 16-bit lanes reads R, G of W entries in one load and B in another.
inline constexpr int Entries = 32;
inline constexpr int CellCount = 64;
inline constexpr int BlueOffset = CellCount * 2 * Entries;
inline constexpr int BlockBytes = CellCount * 3 * Entries;

inline constexpr int MaxBases = 8;

// One search row: the bases' colours repeated for the lanes, the span, the output.
struct Row {
    const uint8_t *blocks;
    uint32_t redGreen[MaxBases][CellCount]; // R | G << 8, twice
    uint32_t blue[MaxBases][CellCount];     // B as a 16-bit lane, twice
    int32_t baseCount;                      // 1 .. MaxBases
    int32_t first;
    int32_t end;
    int32_t level;       // 0 .. 765
    const uint8_t *skip; // null: none
    int32_t *hits;
    uint8_t *which; // null: not wanted; else the first base within the level, per hit
};

using RowFunction = int32_t (*)(const Row &row) noexcept;

} // namespace previousbatch

namespace {

// One comparator of the networks below: a takes the smaller value, b the larger.
template <class L>
inline void order(typename L::V &a, typename L::V &b)
{
    const typename L::V low = L::min(a, b);
    b = L::max(a, b);
    a = low;
}

// Sorts 8 values with the 19 comparators of the smallest known network. Only the 7
// smallest are used afterwards; the compiler drops what only feeds the largest.
template <class L>
inline void sortEight(typename L::V *v)
{
    constexpr int Pairs[19][2] = {{0, 2}, {1, 3}, {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6},
                                  {3, 7}, {0, 1}, {2, 3}, {4, 5}, {6, 7}, {2, 4}, {3, 5},
                                  {1, 4}, {3, 6}, {1, 2}, {3, 4}, {5, 6}};
#pragma GCC unroll 19
    for (int p = 0; p < 19; ++p)
        order<L>(v[Pairs[p][0]], v[Pairs[p][1]]);
}

// The 7 smallest of two ascending runs a, b (each at least 7 long), ascending. The 7
// smallest of both are min(a[i], b[6 - i]); that sequence rises then falls, and 9
// comparators of a bitonic sorter put it in order.
template <class L>
inline void lowestSeven(const typename L::V *a, const typename L::V *b, typename L::V *out)
{
#pragma GCC unroll 7
    for (int i = 0; i < 7; ++i)
        out[i] = L::min(a[i], b[6 - i]);
    constexpr int Pairs[9][2] = {{0, 4}, {1, 5}, {2, 6}, {0, 2}, {3, 5}, {4, 6}, {1, 2}, {3, 4}, {5, 6}};
#pragma GCC unroll 9
    for (int p = 0; p < 9; ++p)
        order<L>(out[Pairs[p][0]], out[Pairs[p][1]]);
}

// The 7th smallest of 64 values, lane by lane, without sorting them: eight sorted
// groups of 8, then their 7 smallest merged pairwise (about 460 min/max operations).
template <class L>
inline typename L::V seventhSmallest(const typename L::V *d)
{
    using V = typename L::V;
    V group[8][8];
#pragma GCC unroll 8
    for (int g = 0; g < 8; ++g) {
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i)
            group[g][i] = d[8 * g + i];
        sortEight<L>(group[g]);
    }
    V sixteen[4][7];
#pragma GCC unroll 4
    for (int i = 0; i < 4; ++i)
        lowestSeven<L>(group[2 * i], group[2 * i + 1], sixteen[i]);
    V thirtyTwo[2][7];
    lowestSeven<L>(sixteen[0], sixteen[1], thirtyTwo[0]);
    lowestSeven<L>(sixteen[2], sixteen[3], thirtyTwo[1]);
    // The 7 smallest of all are min(thirtyTwo[0][i], thirtyTwo[1][6 - i]); the largest of them.
    V seventh = L::min(thirtyTwo[0][0], thirtyTwo[1][6]);
#pragma GCC unroll 6
    for (int i = 1; i < 7; ++i)
        seventh = L::max(seventh, L::min(thirtyTwo[0][i], thirtyTwo[1][6 - i]));
    return seventh;
}

// Lanes whose pair with base `b` is within the level, for the W entries of `chunk`
// (0 .. 32 / W - 1) of a block. The check value is the 54th smallest distance minus the 7th smallest, so
// it is at most the level exactly when at least 54 distances are at most the 7th
// smallest plus the level: counting those needs only one rank, not two.
template <class L>
inline uint32_t passingLanes(const previousbatch::Row &row, int b, const uint8_t *block, int chunk)
{
    using V = typename L::V;
    V d[previousbatch::CellCount];
#pragma GCC unroll 64
    for (int c = 0; c < previousbatch::CellCount; ++c)
        d[c] = L::distance(block, c, chunk, row.redGreen[b][c], row.blue[b][c]);
    const V limit = L::add(seventhSmallest<L>(d), L::splat(row.level));
    typename L::Count above = L::noneCounted();
#pragma GCC unroll 64
    for (int c = 0; c < previousbatch::CellCount; ++c)
        above = L::countAbove(above, d[c], limit);
    return L::atMostTen(above);
}

// Which entries of [first, end) are candidates: inside the span and not skipped.
inline uint32_t openLanes(const previousbatch::Row &row, int32_t start)
{
    uint32_t lanes = ~0u;
    if (start < row.first)
        lanes &= ~0u << (row.first - start);
    if (row.end - start < previousbatch::Entries)
        lanes &= (1u << (row.end - start)) - 1;
    if (row.skip) {
        const int32_t from = start < row.first ? row.first : start;
        const int32_t to = row.end - start < previousbatch::Entries ? row.end : start + previousbatch::Entries;
        for (int32_t j = from; j < to; ++j)
            lanes &= ~(uint32_t(row.skip[j] != 0) << (j - start));
    }
    return lanes;
}

// The whole row for lane operations L (W = L::Width lanes per register). An entry is
// compared with the bases in order until one is within the level.
template <class L>
int32_t findRow(const previousbatch::Row &row) noexcept
{
    using namespace previousbatch;
    constexpr int Chunks = Entries / L::Width;
    constexpr uint32_t ChunkLanes = L::Width == 32 ? ~0u : (1u << L::Width) - 1;
    int32_t found = 0;
    uint8_t which[Entries];
    for (int32_t start = row.first - row.first % Entries; start < row.end; start += Entries) {
        const uint32_t open = openLanes(row, start);
        if (open == 0)
            continue;
        const uint8_t *block = row.blocks + static_cast<int64_t>(start / Entries) * BlockBytes;
        uint32_t pass = 0;
        for (int chunk = 0; chunk < Chunks; ++chunk) {
            uint32_t waiting = (open >> (chunk * L::Width)) & ChunkLanes;
            for (int b = 0; b < row.baseCount && waiting != 0; ++b) {
                const uint32_t passed = passingLanes<L>(row, b, block, chunk) & waiting;
                waiting &= ~passed;
                pass |= passed << (chunk * L::Width);
                if (row.which) {
                    for (uint32_t lanes = passed; lanes != 0; lanes &= lanes - 1)
                        which[chunk * L::Width + __builtin_ctz(lanes)] = static_cast<uint8_t>(b);
                }
            }
        }
        for (; pass != 0; pass &= pass - 1) {
            const int lane = __builtin_ctz(pass);
            if (row.which)
                row.which[found] = which[lane];
            row.hits[found++] = start + lane;
        }
    }
    return found;
}

} // namespace
