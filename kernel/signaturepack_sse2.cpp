// The batch comparison with SSE2, which every x86-64 processor has: 8 entries per register.
#include "batchrow.h"

#include <emmintrin.h>

namespace {

struct Sse2Lanes {
    using V = __m128i;
    using Count = __m128i; // minus the number of distances above the limit
    static constexpr int Width = 8;

    static V min(V a, V b) { return _mm_min_epi16(a, b); }
    static V max(V a, V b) { return _mm_max_epi16(a, b); }
    static V add(V a, V b) { return _mm_add_epi16(a, b); }
    static V splat(int32_t value) { return _mm_set1_epi16(static_cast<int16_t>(value)); }

    // |dR| + |dG| in bytes, then the two bytes of each lane added; |dB| in 16 bits.
    static V distance(const uint8_t *block, int slot, int chunk, uint32_t redGreen, uint32_t blue)
    {
        using namespace pixcore::batch;
        const V rg = _mm_load_si128(reinterpret_cast<const V *>(block + 64 * slot + 16 * chunk));
        const V baseRg = _mm_set1_epi32(static_cast<int32_t>(redGreen));
        const V rgDiff = _mm_sub_epi8(_mm_max_epu8(rg, baseRg), _mm_min_epu8(rg, baseRg));
        const V rgSum = _mm_add_epi16(_mm_and_si128(rgDiff, _mm_set1_epi16(0xFF)), _mm_srli_epi16(rgDiff, 8));
        const V b = _mm_unpacklo_epi8(
            _mm_loadl_epi64(reinterpret_cast<const V *>(block + BlueOffset + 32 * slot + 8 * chunk)), _mm_setzero_si128());
        const V baseB = _mm_set1_epi32(static_cast<int32_t>(blue));
        const V bDiff = _mm_sub_epi16(_mm_max_epi16(b, baseB), _mm_min_epi16(b, baseB));
        return _mm_add_epi16(rgSum, bDiff);
    }

    static Count noneCounted() { return _mm_setzero_si128(); }
    static Count countAbove(Count n, V d, V limit) { return _mm_add_epi16(n, _mm_cmpgt_epi16(d, limit)); }
    static uint32_t atMostTen(Count n)
    {
        const V pass = _mm_cmpgt_epi16(n, _mm_set1_epi16(-11));
        return static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(pass, _mm_setzero_si128()))) & 0xFFu;
    }
};

} // namespace

namespace pixcore::batch {

int32_t findRowSse2(const Row &row) noexcept
{
    return findRow<Sse2Lanes>(row);
}

} // namespace pixcore::batch
