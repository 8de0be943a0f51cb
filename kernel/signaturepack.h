#pragma once
// Batch comparison for the similarity search: one base signature against many candidates
// at once, answering which are within the level. No Qt. A built pack is read-only, so any
// number of threads may search it at once, each with its own output array.
//
// Usage: the grouping's row for base f, candidates f + 1 .. N - 1 not yet grouped.
//
//     std::vector<std::array<int16_t, 192>> signatures = ...;  // the catalogue's, N of them
//     pixcore::SignaturePack pack;
//     if (!pack.assign(signatures.front().data(), N))
//         ...;                                    // a value outside 0..255: not a catalogue
//     std::vector<uint8_t> grouped(N);            // 1 = already placed in a group
//     std::vector<int32_t> hits(N);               // one per thread
//     const int32_t n = pack.findWithinLevel(f, f + 1, N, level, hits.data(), grouped.data());
//     for (int32_t k = 0; k < n; ++k)
//         place(hits[k]);                         // ascending entry indexes
//
// Rows of different bases may run on several threads at once over the same pack, each
// with its own `hits`, while nobody writes `grouped`. A base that is no entry of the pack,
// or several of them (a picture's grid turned and mirrored), go to findWithinLevelOfAny. A caller that must stay responsive
// splits a row into spans ([f + 1, f + 4097), [f + 4097, f + 8193), ...): the hits of
// consecutive spans follow each other in ascending order.

#include "pixcore_export.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace pixcore {

namespace batch {
struct Row;
}

// The ways the batch can run; each gives the same answers.
enum class BatchIsa : uint8_t {
    Portable, // the compiler's generic vectors, 8 candidates at a time (any processor)
    Sse2,     // 8 candidates per register
    Avx2,     // 16 candidates per register
    Avx512bw, // 32 candidates per register
};

// The ways this build can run on this processor, slowest first; the last is the default.
PIXCORE_EXPORT std::span<const BatchIsa> availableBatchIsas() noexcept;
PIXCORE_EXPORT const char *batchIsaName(BatchIsa isa) noexcept;

// A packed copy of a catalogue's signatures. The catalogue keeps 192 int16 values per
// entry (R, G, B per cell, cells row by row); the pack holds them as bytes in blocks of
// 32 entries side by side, so that one load brings one cell of 8, 16 or 32 entries
// (6,144 bytes per block: 192 per entry, half of what the catalogue holds).
class PIXCORE_EXPORT SignaturePack
{
public:
    // Entries per block of the packed layout.
    static constexpr int32_t BlockEntries = 32;

    SignaturePack() noexcept = default;
    ~SignaturePack();
    SignaturePack(SignaturePack &&other) noexcept;
    SignaturePack &operator=(SignaturePack &&other) noexcept;
    SignaturePack(const SignaturePack &) = delete;
    SignaturePack &operator=(const SignaturePack &) = delete;

    // Packs `count` signatures of 192 values each, stored one after another (as a
    // std::vector of std::array<int16_t, 192> holds them); entry i is signatures[192 i ..].
    // Returns false and leaves the pack empty when a value lies outside 0..255 (no picture
    // gives such a signature; GetCheckValuePX still compares those) or memory runs out.
    bool assign(const int16_t *signatures, int32_t count) noexcept;
    // Building piece by piece (a collection read catalogue after catalogue): room for
    // `capacity` entries in all, so that appending up to there moves nothing.
    bool reserve(int32_t capacity) noexcept;
    // Packs `count` more signatures after the last entry. Returns false and changes nothing
    // when a value lies outside 0..255 or memory runs out.
    bool append(const int16_t *signatures, int32_t count) noexcept;
    // Drops the entries from `count` on (a build that failed half-way takes back its part).
    void truncate(int32_t count) noexcept;
    // Entry `index`'s 192 values, unpacked into `out`; index within 0 .. count() - 1.
    void signature(int32_t index, int16_t *out) const noexcept;
    int32_t count() const noexcept { return m_count; }

    // The entries j in first .. end - 1 whose check value with entry `base` is at most
    // `level` (checkValue(base, j) <= level, the base's signature first), skipping those
    // with skip[j] != 0 (`skip` has count() bytes, or is null to skip none). Writes the
    // indexes in ascending order to `hits`, which has room for end - first of them, and
    // returns how many it wrote. A negative level finds nothing, one of 765 or more finds
    // every entry (765 is the largest check value); the base itself is found when it lies
    // in the span. The span is clipped to 0 .. count(); a base outside the
    // pack finds nothing. Allocates nothing; `skip` must not change during the call.
    int32_t findWithinLevel(int32_t base, int32_t first, int32_t end, int32_t level, int32_t *hits,
                            const uint8_t *skip = nullptr) const noexcept;
    // The same on a chosen instruction set (tests, benchmarks); one that this processor
    // or build lacks runs as the default.
    int32_t findWithinLevel(BatchIsa isa, int32_t base, int32_t first, int32_t end, int32_t level,
                            int32_t *hits, const uint8_t *skip = nullptr) const noexcept;

    // The most bases findWithinLevelOfAny compares at once.
    static constexpr int32_t MaxBases = 8;

    // The entries j in first .. end - 1 within the level of any of `baseCount` base
    // signatures given by value (`bases`: 192 values each, one after another, like the
    // catalogue's): checkValue(base b, j) <= level for some b, trying b = 0, 1, ... in
    // order. Writes the hits in ascending order to `hits` as findWithinLevel does and, when
    // `which` is not null, the first such b of each hit to `which` (room for end - first).
    // Returns how many it wrote, or -1 when baseCount is outside 1 .. MaxBases or a base
    // value lies outside 0..255. Skips, spans and levels as findWithinLevel.
    int32_t findWithinLevelOfAny(const int16_t *bases, int32_t baseCount, int32_t first, int32_t end, int32_t level,
                                 int32_t *hits, uint8_t *which = nullptr, const uint8_t *skip = nullptr) const noexcept;
    int32_t findWithinLevelOfAny(BatchIsa isa, const int16_t *bases, int32_t baseCount, int32_t first, int32_t end,
                                 int32_t level, int32_t *hits, uint8_t *which = nullptr,
                                 const uint8_t *skip = nullptr) const noexcept;

private:
    // The row's bases are set; the rest of it and the search are the same for both kinds.
    int32_t search(BatchIsa isa, batch::Row &row, int32_t first, int32_t end, int32_t level, int32_t *hits,
                   const uint8_t *skip) const noexcept;

    uint8_t *m_blocks = nullptr; // 64-byte aligned, whole blocks
    int32_t m_count = 0;
    int32_t m_capacity = 0; // entries the blocks have room for
};

} // namespace pixcore
