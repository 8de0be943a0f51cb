// The batch comparison with AVX-512BW: 32 entries per register. Compiled with -mavx512bw -mbmi2.
#include "batchrow.h"

#include <immintrin.h>

namespace {

// Halved distances held as bytes, for the first stage over two blocks at once. Their lanes
// come in the order the packing of two 16-bit registers leaves: in each quarter of the
// register, 8 entries of the first block, then the same 8 of the second.
struct Avx512Bytes {
    using V = __m512i;
    using Count = __m512i;

    static V min(V a, V b) { return _mm512_min_epu8(a, b); }
    static V max(V a, V b) { return _mm512_max_epu8(a, b); }
    static V add(V a, V b) { return _mm512_adds_epu8(a, b); }
    static V splat(int32_t value) { return _mm512_set1_epi8(static_cast<char>(value)); }

    // ceil(|a - b| / 2) in each byte.
    static V halfDifference(V a, V b)
    {
        return _mm512_avg_epu8(_mm512_sub_epi8(_mm512_max_epu8(a, b), _mm512_min_epu8(a, b)), _mm512_setzero_si512());
    }

    static V distance(const uint8_t *block, int slot, uint32_t redGreen, uint32_t blue)
    {
        using namespace pixcore::batch;
        const V baseRg = _mm512_set1_epi32(static_cast<int32_t>(redGreen));
        const V ones = _mm512_set1_epi8(1);
        const V first = _mm512_maddubs_epi16(halfDifference(_mm512_load_si512(block + 64 * slot), baseRg), ones);
        const V second = _mm512_maddubs_epi16(halfDifference(_mm512_load_si512(block + BlockBytes + 64 * slot), baseRg), ones);
        const V rg = _mm512_packus_epi16(first, second);
        const V b = _mm512_permutex2var_epi64(
            _mm512_castsi256_si512(_mm256_load_si256(reinterpret_cast<const __m256i *>(block + BlueOffset + 32 * slot))),
            _mm512_set_epi64(11, 3, 10, 2, 9, 1, 8, 0),
            _mm512_castsi256_si512(
                _mm256_load_si256(reinterpret_cast<const __m256i *>(block + BlockBytes + BlueOffset + 32 * slot))));
        return _mm512_adds_epu8(rg, halfDifference(b, _mm512_set1_epi8(static_cast<char>(blue & 0xFF))));
    }

    static Count noneCounted() { return _mm512_setzero_si512(); }
    static Count countAbove(Count n, V d, V limit)
    {
        return _mm512_mask_add_epi8(n, _mm512_cmpgt_epu8_mask(d, limit), n, _mm512_set1_epi8(1));
    }
    static uint64_t atMostTen(Count n) { return _mm512_cmple_epu8_mask(n, _mm512_set1_epi8(10)); }
    // The lanes of each block, in entry order.
    static void split(uint64_t lanes, uint32_t &first, uint32_t &second)
    {
        first = static_cast<uint32_t>(_pext_u64(lanes, 0x00FF00FF00FF00FFull));
        second = static_cast<uint32_t>(_pext_u64(lanes, 0xFF00FF00FF00FF00ull));
    }
};

struct Avx512Lanes {
    using V = __m512i;
    using Count = __m512i; // the number of distances above the limit
    static constexpr int Width = 32;
    using Bytes = Avx512Bytes;

    static V min(V a, V b) { return _mm512_min_epi16(a, b); }
    static V max(V a, V b) { return _mm512_max_epi16(a, b); }
    static V add(V a, V b) { return _mm512_add_epi16(a, b); }
    static V splat(int32_t value) { return _mm512_set1_epi16(static_cast<int16_t>(value)); }

    // |dR| + |dG| in bytes, added pairwise into 16 bits; |dB| in 16 bits.
    static V distance(const uint8_t *block, int slot, int, uint32_t redGreen, uint32_t blue)
    {
        using namespace pixcore::batch;
        const V rg = _mm512_load_si512(block + 64 * slot);
        const V baseRg = _mm512_set1_epi32(static_cast<int32_t>(redGreen));
        const V rgDiff = _mm512_sub_epi8(_mm512_max_epu8(rg, baseRg), _mm512_min_epu8(rg, baseRg));
        const V rgSum = _mm512_maddubs_epi16(rgDiff, _mm512_set1_epi8(1));
        const V b = _mm512_cvtepu8_epi16(_mm256_load_si256(reinterpret_cast<const __m256i *>(block + BlueOffset + 32 * slot)));
        const V bDiff = _mm512_abs_epi16(_mm512_sub_epi16(b, _mm512_set1_epi32(static_cast<int32_t>(blue))));
        return _mm512_add_epi16(rgSum, bDiff);
    }

    static Count noneCounted() { return _mm512_setzero_si512(); }
    static Count countAbove(Count n, V d, V limit)
    {
        return _mm512_mask_add_epi16(n, _mm512_cmpgt_epi16_mask(d, limit), n, _mm512_set1_epi16(1));
    }
    static uint32_t atMostTen(Count n) { return _mm512_cmple_epi16_mask(n, _mm512_set1_epi16(10)); }
};

} // namespace

namespace pixcore::batch {

int32_t findRowAvx512bw(const Row &row) noexcept
{
    return findRow<Avx512Lanes>(row);
}

} // namespace pixcore::batch
