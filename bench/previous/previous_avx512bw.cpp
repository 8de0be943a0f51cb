// The previous batch comparison with AVX-512BW: 32 entries per register. Compiled with -mavx512bw.
#include "previousrow.h"

#include <immintrin.h>

namespace {

struct Avx512Lanes {
    using V = __m512i;
    using Count = __m512i; // the number of distances above the limit
    static constexpr int Width = 32;

    static V min(V a, V b) { return _mm512_min_epi16(a, b); }
    static V max(V a, V b) { return _mm512_max_epi16(a, b); }
    static V add(V a, V b) { return _mm512_add_epi16(a, b); }
    static V splat(int32_t value) { return _mm512_set1_epi16(static_cast<int16_t>(value)); }

    // |dR| + |dG| in bytes, added pairwise into 16 bits; |dB| in 16 bits.
    static V distance(const uint8_t *block, int cell, int, uint32_t redGreen, uint32_t blue)
    {
        using namespace previousbatch;
        const V rg = _mm512_load_si512(block + 64 * cell);
        const V baseRg = _mm512_set1_epi32(static_cast<int32_t>(redGreen));
        const V rgDiff = _mm512_sub_epi8(_mm512_max_epu8(rg, baseRg), _mm512_min_epu8(rg, baseRg));
        const V rgSum = _mm512_maddubs_epi16(rgDiff, _mm512_set1_epi8(1));
        const V b = _mm512_cvtepu8_epi16(_mm256_load_si256(reinterpret_cast<const __m256i *>(block + BlueOffset + 32 * cell)));
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

namespace previousbatch {

int32_t previousRowAvx512bw(const Row &row) noexcept
{
    return findRow<Avx512Lanes>(row);
}

} // namespace previousbatch
