#pragma once
// The batch comparison's inner loop, written once for every instruction set. Each
// instruction-set file includes this with its own compiler flags, so all of it has
// internal linkage and nothing here may call a library function that is not inlined.

#include "signaturepack.h"

#include <array>
#include <cstdint>

namespace pixcore::batch {

// Packed layout of one block of 32 entries (6,144 bytes, 64-byte aligned), the cells in
// 64 slots in the order the distances are taken in (slot s holds cell StageOrder[s]):
//   bytes    0 .. 4095: slot s at 64 s: R, G of entry k at 64 s + 2 k, 64 s + 2 k + 1
//   bytes 4096 .. 6143: slot s at 4096 + 32 s: B of entry k at 4096 + 32 s + k
// so a register of W 16-bit lanes reads R, G of W entries in one load and B in another, and
// a stage that reads the first slots reads the first bytes of each half, no others.
inline constexpr int Entries = 32;
inline constexpr int CellCount = 64;
inline constexpr int BlueOffset = CellCount * 2 * Entries;
inline constexpr int BlockBytes = CellCount * 3 * Entries;

// The order the distances are taken in: a checkerboard's black cells first, their rows
// in the order 0, 4, 2, 6, 1, 5, 3, 7, then the white cells likewise. Each prefix of
// whole groups of 8 is spread over the picture, so a dissimilar pair shows itself early.
constexpr std::array<uint8_t, CellCount> stageOrder()
{
    constexpr int Rows[8] = {0, 4, 2, 6, 1, 5, 3, 7};
    std::array<uint8_t, CellCount> order{};
    int n = 0;
    for (int colour = 0; colour < 2; ++colour) {
        for (int r : Rows) {
            for (int q = 0; q < 8; ++q) {
                if ((r + q) % 2 == colour)
                    order[n++] = static_cast<uint8_t>(8 * r + q);
            }
        }
    }
    return order;
}
inline constexpr std::array<uint8_t, CellCount> StageOrder = stageOrder();

// The slot of each cell.
constexpr std::array<uint8_t, CellCount> slotOf()
{
    std::array<uint8_t, CellCount> slot{};
    for (int s = 0; s < CellCount; ++s)
        slot[StageOrder[s]] = static_cast<uint8_t>(s);
    return slot;
}
inline constexpr std::array<uint8_t, CellCount> SlotOf = slotOf();

inline constexpr int MaxBases = SignaturePack::MaxBases;

// One search row: the bases' colours repeated for the lanes, by slot, the span, the output.
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

} // namespace pixcore::batch

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


// The 7th smallest of two ascending runs a, b (each at least 7 long): the 7 smallest of
// both are min(a[i], b[6 - i]), so the 7th is the largest of those.
template <class L>
inline typename L::V seventhSmallest(const typename L::V *a, const typename L::V *b)
{
    typename L::V seventh = L::min(a[0], b[6]);
#pragma GCC unroll 6
    for (int i = 1; i < 7; ++i)
        seventh = L::max(seventh, L::min(a[i], b[6 - i]));
    return seventh;
}

// Lanes where at most ten of the first `cells` distances exceed `limit`.
template <class L>
inline auto atMostTenAbove(const typename L::V *d, int cells, typename L::V limit)
{
    typename L::Count above = L::noneCounted();
#pragma GCC unroll 64
    for (int c = 0; c < cells; ++c)
        above = L::countAbove(above, d[c], limit);
    return L::atMostTen(above);
}

// Lanes whose pair with base `b` is within the level, for the W entries of `chunk`
// (0 .. 32 / W - 1) of a block. The check value is the 54th smallest distance minus the
// 7th smallest, so it is at most the level exactly when at least 54 distances are at most
// the 7th smallest plus the level: counting those needs only one rank, not two.
//
// Most pairs are rejected before all 64 distances are read. For any k >= 18 of the
// distances, their 11th largest minus their 7th smallest is at most the check value (the
// 7th smallest of all is at most the 7th smallest of the k, the 54th smallest of all at
// least the 11th largest of the k), so a register where that already exceeds the level in
// every lane is done. The groups of 8 are sorted and merged one after another, so the 7
// smallest of the first groups carry on into the later stages.
//
// `stop` tells how far the register went: 0 rejected by the looser bound, 1 by the first
// stage, 2 by the second, 3 all 64 distances read.
template <class L, int QuickCells, int FirstGroups, int SecondGroups>
inline uint32_t passingLanes(const pixcore::batch::Row &row, int b, const uint8_t *block, int chunk, uint32_t waiting,
                             int &stop)
{
    using V = typename L::V;
    V d[pixcore::batch::CellCount];
    V lowest[7];
    const V level = L::splat(row.level);
    auto sortedGroup = [&](int g, bool known, V *group) {
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i) {
            const int c = 8 * g + i;
            if (!known)
                d[c] = L::distance(block, c, chunk, row.redGreen[b][c], row.blue[b][c]);
            group[i] = d[8 * g + i];
        }
        sortEight<L>(group);
    };
    auto merge = [&](const V *group) {
        V merged[7];
        lowestSeven<L>(lowest, group, merged);
#pragma GCC unroll 7
        for (int i = 0; i < 7; ++i)
            lowest[i] = merged[i];
    };
    auto addGroup = [&](int g, bool known) {
        V group[8];
        sortedGroup(g, known, group);
        if (g == 0) {
#pragma GCC unroll 7
            for (int i = 0; i < 7; ++i)
                lowest[i] = group[i];
        } else {
            merge(group);
        }
    };
    if (QuickCells > 0) {
        // Before any sorting, a looser bound on the first QuickCells: the largest of the
        // minimums of 7 disjoint subsets is one of 7 different distances, so it is at least
        // their 7th smallest, and the bound stays a lower bound of the check value.
#pragma GCC unroll 64
        for (int i = 0; i < QuickCells; ++i) {
            d[i] = L::distance(block, i, chunk, row.redGreen[b][i], row.blue[b][i]);
        }
        V upper{};
#pragma GCC unroll 7
        for (int part = 0; part < 7; ++part) {
            V least = d[part * QuickCells / 7];
#pragma GCC unroll 8
            for (int i = part * QuickCells / 7 + 1; i < (part + 1) * QuickCells / 7; ++i)
                least = L::min(least, d[i]);
            upper = part == 0 ? least : L::max(upper, least);
        }
        stop = 0;
        if ((atMostTenAbove<L>(d, QuickCells, L::add(upper, level)) & waiting) == 0)
            return 0;
    }
    if constexpr (FirstGroups >= 2 && FirstGroups < 8) {
        // The first stage needs only the 7th smallest of its distances; the merge in order
        // waits until the register is not rejected.
#pragma GCC unroll 8
        for (int g = 0; g < FirstGroups - 1; ++g)
            addGroup(g, 8 * g < QuickCells);
        V last[8];
        sortedGroup(FirstGroups - 1, 8 * (FirstGroups - 1) < QuickCells, last);
        const V seventh = seventhSmallest<L>(lowest, last);
        stop = 1;
        if ((atMostTenAbove<L>(d, 8 * FirstGroups, L::add(seventh, level)) & waiting) == 0)
            return 0;
        merge(last);
    } else {
#pragma GCC unroll 8
        for (int g = 0; g < FirstGroups; ++g)
            addGroup(g, 8 * g < QuickCells);
        stop = 1;
        if (FirstGroups < 8 && (atMostTenAbove<L>(d, 8 * FirstGroups, L::add(lowest[6], level)) & waiting) == 0)
            return 0;
    }
#pragma GCC unroll 8
    for (int g = FirstGroups; g < SecondGroups; ++g)
        addGroup(g, 8 * g < QuickCells);
    stop = 2;
    if (SecondGroups > FirstGroups && SecondGroups < 8
        && (atMostTenAbove<L>(d, 8 * SecondGroups, L::add(lowest[6], level)) & waiting) == 0)
        return 0;
#pragma GCC unroll 8
    for (int g = SecondGroups; g < 8; ++g)
        addGroup(g, 8 * g < QuickCells);
    stop = 3;
    return atMostTenAbove<L>(d, pixcore::batch::CellCount, L::add(lowest[6], level)) & waiting;
}

// The lanes of two consecutive blocks (64 entries) that a first stage on the first
// 8 Groups slots cannot reject for base `b`, on halved distances held as bytes, twice the
// lanes of the 16-bit stage for the sorting and counting: h = ceil(|dR| / 2) + ceil(|dG| / 2)
// + ceil(|dB| / 2), at most 255. Each h lies in [d / 2, d / 2 + 3 / 2] or is 255, below that,
// so with H the 11th largest h minus the 7th smallest, the check value is at least 2 H - 3:
// a pair within the level has H <= (level + 3) / 2. (Distances held whole, at most 255,
// would bound as well, but between pictures that share nothing they mostly are 255.)
// Levels up to 120 (the limit is a byte).
template <class B, int Groups>
inline void pairStage(const pixcore::batch::Row &row, int b, const uint8_t *block, uint32_t &first, uint32_t &second)
{
    using V = typename B::V;
    V d[8 * Groups];
    V lowest[7];
#pragma GCC unroll 8
    for (int g = 0; g < Groups; ++g) {
        V group[8];
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i) {
            const int s = 8 * g + i;
            d[s] = B::distance(block, s, row.redGreen[b][s], row.blue[b][s]);
            group[i] = d[s];
        }
        sortEight<B>(group);
        if (g == 0) {
#pragma GCC unroll 7
            for (int i = 0; i < 7; ++i)
                lowest[i] = group[i];
        } else if (g < Groups - 1) {
            V merged[7];
            lowestSeven<B>(lowest, group, merged);
#pragma GCC unroll 7
            for (int i = 0; i < 7; ++i)
                lowest[i] = merged[i];
        } else {
            const V limit = B::add(seventhSmallest<B>(lowest, group), B::splat((row.level + 3) / 2));
            B::split(atMostTenAbove<B>(d, 8 * Groups, limit), first, second);
        }
    }
}

// Which entries of [first, end) are candidates: inside the span and not skipped.
inline uint32_t openLanes(const pixcore::batch::Row &row, int32_t start)
{
    uint32_t lanes = ~0u;
    if (start < row.first)
        lanes &= ~0u << (row.first - start);
    if (row.end - start < pixcore::batch::Entries)
        lanes &= (1u << (row.end - start)) - 1;
    if (row.skip) {
        const int32_t from = start < row.first ? row.first : start;
        const int32_t to = row.end - start < pixcore::batch::Entries ? row.end : start + pixcore::batch::Entries;
        for (int32_t j = from; j < to; ++j)
            lanes &= ~(uint32_t(row.skip[j] != 0) << (j - start));
    }
    return lanes;
}

// The whole row for lane operations L (W = L::Width lanes per register), with two ways
// of reading a register's distances. The lead way goes straight to the exact bound on
// the first 8 LeadGroups distances, then on 8 LeadSecond: between pictures that share
// nothing (the most pairs of a large catalogue) it rejects nearly every register there,
// and the looser bound before it would almost never reject all the lanes at once. The
// full way is the looser bound on QuickCells distances (none when 0), then FirstGroups
// and SecondGroups groups of 8: it pays where many pairs are alike in part. The row
// takes the lead way while its first stage keeps rejecting, else the full way, trying
// the lead way again on every 16th register. With PairGroups (lanes that have bytes only),
// the stage on halved distances held as bytes, two blocks at once, comes before either way
// while it keeps rejecting both blocks, and what it leaves takes the full way. All give the
// same answers; only the time differs. An entry is compared with the bases in order until
// one is within the level.
template <class L, int LeadGroups, int LeadSecond, int QuickCells, int FirstGroups, int SecondGroups, int PairGroups = 0>
int32_t findRowStaged(const pixcore::batch::Row &row) noexcept
{
    using namespace pixcore::batch;
    constexpr int Chunks = Entries / L::Width;
    constexpr uint32_t ChunkLanes = L::Width == 32 ? ~0u : (1u << L::Width) - 1;
    int32_t found = 0;
    uint8_t which[Entries];
    // Above 0 the lead way pays: +1 for each register its first stage rejected, -3 for
    // each it did not (what the full way would then have saved, roughly). The same for
    // the pair stage, counted by pairs of blocks.
    int leadScore = 0;
    uint32_t registers = 0;
    int pairScore = 0;
    uint32_t pairs = 0;
    uint32_t kept[2][MaxBases]; // what the pair stage left, per block of the pair and base
    bool pairRead = false;      // kept holds this pair of blocks
    for (int32_t start = row.first - row.first % Entries; start < row.end; start += Entries) {
        const bool secondOfPair = (start / Entries) % 2 == 1;
        if (!secondOfPair)
            pairRead = false;
        const uint32_t open = openLanes(row, start);
        if (open == 0)
            continue;
        const uint8_t *block = row.blocks + static_cast<int64_t>(start / Entries) * BlockBytes;
        if constexpr (PairGroups > 0) {
            // The second block must hold entries of the span for its bytes to be there.
            if (!secondOfPair && start + Entries < row.end && (pairScore >= 0 || (pairs++ & 15) == 0)) {
                const uint32_t openSecond = openLanes(row, start + Entries);
                uint32_t left = 0;
                for (int b = 0; b < row.baseCount; ++b) {
                    pairStage<typename L::Bytes, PairGroups>(row, b, block, kept[0][b], kept[1][b]);
                    left |= (kept[0][b] & open) | (kept[1][b] & openSecond);
                }
                pairScore = left == 0 ? (pairScore < 16 ? pairScore + 1 : 16) : (pairScore > -16 ? pairScore - 3 : -16);
                pairRead = true;
            }
        }
        const uint32_t *left = pairRead ? kept[secondOfPair ? 1 : 0] : nullptr;
        uint32_t pass = 0;
        for (int chunk = 0; chunk < Chunks; ++chunk) {
            uint32_t waiting = (open >> (chunk * L::Width)) & ChunkLanes;
            for (int b = 0; b < row.baseCount && waiting != 0; ++b) {
                uint32_t passed;
                int stop = 3;
                if (left) {
                    const uint32_t candidates = waiting & (left[b] >> (chunk * L::Width)) & ChunkLanes;
                    if (candidates == 0)
                        continue;
                    passed = passingLanes<L, QuickCells, FirstGroups, SecondGroups>(row, b, block, chunk, candidates, stop);
                } else if (leadScore >= 0 || (registers++ & 15) == 0) {
                    passed = passingLanes<L, 0, LeadGroups, LeadSecond>(row, b, block, chunk, waiting, stop);
                    leadScore = stop == 1 ? (leadScore < 16 ? leadScore + 1 : 16) : (leadScore > -16 ? leadScore - 3 : -16);
                } else {
                    passed = passingLanes<L, QuickCells, FirstGroups, SecondGroups>(row, b, block, chunk, waiting, stop);
                }
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

// The stages that reject the most for their cost, by level (measured on photo-like and
// random catalogues): a low level is decided by few cells, a high one needs more, and
// past about 120 too few pairs are rejected early to pay for the extra count. With 32
// lanes a register, from level 16 on the looser bound before the full way rejects too
// seldom to pay for itself, on photos most of all (measured on AVX-512BW; at level 10 it
// still pays on random signatures). The stage on bytes pays from level 36 on, where the
// 16-bit one needs 32 cells; below, on 24 cells, its wider slack rejects too few pairs.
template <class L>
constexpr int pairGroups(int groups)
{
    if constexpr (requires { typename L::Bytes; })
        return groups;
    return 0;
}

template <class L>
int32_t findRow(const pixcore::batch::Row &row) noexcept
{
    if constexpr (L::Width == 32) {
        if (row.level > 15 && row.level <= 35)
            return findRowStaged<L, 3, 4, 0, 4, 5>(row);
        if (row.level > 35 && row.level <= 120)
            return findRowStaged<L, 4, 5, 0, 5, 5, pairGroups<L>(4)>(row);
    }
    if (row.level <= 15)
        return findRowStaged<L, 3, 5, 24, 3, 5>(row);
    if (row.level <= 35)
        return findRowStaged<L, 3, 4, 32, 4, 4>(row);
    if (row.level <= 120)
        return findRowStaged<L, 4, 5, 40, 5, 5>(row);
    return findRowStaged<L, 8, 8, 0, 8, 8>(row);
}

} // namespace
