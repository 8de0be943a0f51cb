#pragma once
// The reference the batch comparison is measured against: a bare AVX2 loop over packed
// signatures, 16 candidates per register, distances by channel, a selection network for
// the ranks 7 and 54 of the 64 distances (Batcher's odd-even merge sort, cut to the
// comparators those two ranks need), no early exit. Benchmarks only; x86-64 only.

#include <pixcore.h>

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace bareloop {

#define BARELOOP_AVX2 __attribute__((target("avx2")))

// The reference's own packed copy: 16 entries per block, value v of entry k at 16 v + k.
struct ReferencePack {
    static constexpr int Entries = 16;
    static constexpr int BlockBytes = pixcore::SignatureValues * Entries;
    struct alignas(64) Line {
        uint8_t bytes[64];
    };
    std::vector<Line> blocks;
    int count = 0;

    // `count` signatures of 192 values 0..255, one after another.
    ReferencePack(const int16_t *signatures, int entries) : count(entries)
    {
        blocks.resize((size_t(entries) + Entries - 1) / Entries * BlockBytes / sizeof(Line));
        auto *bytes = reinterpret_cast<uint8_t *>(blocks.data());
        for (size_t j = 0; j < size_t(entries); ++j) {
            for (int v = 0; v < pixcore::SignatureValues; ++v)
                bytes[j / Entries * BlockBytes + Entries * v + j % Entries]
                    = static_cast<uint8_t>(signatures[j * pixcore::SignatureValues + v]);
        }
    }
};

// Batcher's odd-even merge sort of 64 values: 543 comparators. The compiler drops those
// whose outputs never reach ranks 6 and 53 (the rest is about 440).
constexpr int SortComparators = 543;
constexpr std::array<std::array<int8_t, 2>, SortComparators> batcherPairs()
{
    std::array<std::array<int8_t, 2>, SortComparators> pairs{};
    int n = 0;
    for (int p = 1; p < 64; p *= 2) {
        for (int k = p; k >= 1; k /= 2) {
            for (int j = k % p; j <= 63 - k; j += 2 * k) {
                for (int i = 0; i <= std::min(k - 1, 63 - j - k); ++i) {
                    if ((i + j) / (2 * p) == (i + j + k) / (2 * p))
                        pairs[n++] = {static_cast<int8_t>(i + j), static_cast<int8_t>(i + j + k)};
                }
            }
        }
    }
    return pairs;
}
inline constexpr auto BatcherPairs = batcherPairs();

BARELOOP_AVX2 inline void compareSwap(__m256i &a, __m256i &b)
{
    const __m256i low = _mm256_min_epi16(a, b);
    b = _mm256_max_epi16(a, b);
    a = low;
}

// 16 pairs: which have element 53 minus element 6 of the sorted distances at most the level.
BARELOOP_AVX2 inline uint32_t referenceBlock(const uint8_t *block, const __m256i *base, __m256i level)
{
    __m256i d[64];
#pragma GCC unroll 64
    for (int c = 0; c < 64; ++c) {
        __m256i sum = _mm256_setzero_si256();
#pragma GCC unroll 3
        for (int k = 0; k < 3; ++k) {
            const __m256i v = _mm256_cvtepu8_epi16(
                _mm_load_si128(reinterpret_cast<const __m128i *>(block + 16 * (3 * c + k))));
            sum = _mm256_add_epi16(sum, _mm256_abs_epi16(_mm256_sub_epi16(v, base[3 * c + k])));
        }
        d[c] = sum;
    }
#pragma GCC unroll 543
    for (int p = 0; p < SortComparators; ++p)
        compareSwap(d[BatcherPairs[p][0]], d[BatcherPairs[p][1]]);
    const __m256i above = _mm256_cmpgt_epi16(_mm256_sub_epi16(d[53], d[6]), level);
    const uint32_t bytes = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_packs_epi16(above, _mm256_setzero_si256())));
    return ~((bytes & 0xFFu) | ((bytes >> 8) & 0xFF00u)) & 0xFFFFu;
}

// Base `base` against entries first .. end - 1: the indexes within the level, ascending.
BARELOOP_AVX2 inline int referenceRow(const ReferencePack &pack, int base, int first, int end, int level, int32_t *hits)
{
    const auto *bytes = reinterpret_cast<const uint8_t *>(pack.blocks.data());
    __m256i baseValues[pixcore::SignatureValues];
    for (int v = 0; v < pixcore::SignatureValues; ++v)
        baseValues[v] = _mm256_set1_epi16(bytes[base / 16 * ReferencePack::BlockBytes + 16 * v + base % 16]);
    const __m256i limit = _mm256_set1_epi16(static_cast<int16_t>(level));
    int found = 0;
    for (int start = first - first % 16; start < end; start += 16) {
        uint32_t pass = referenceBlock(bytes + start / 16 * ReferencePack::BlockBytes, baseValues, limit);
        if (start < first)
            pass &= ~0u << (first - start);
        if (end - start < 16)
            pass &= (1u << (end - start)) - 1;
        for (; pass != 0; pass &= pass - 1)
            hits[found++] = start + __builtin_ctz(pass);
    }
    return found;
}

#undef BARELOOP_AVX2

} // namespace bareloop
