// The batch comparison with AVX2: 16 entries per register. Compiled with -mavx2.
#include "batchrow.h"

#include <immintrin.h>

namespace {

struct Avx2Lanes {
    using V = __m256i;
    using Count = __m256i; // minus the number of distances above the limit
    static constexpr int Width = 16;

    static V min(V a, V b) { return _mm256_min_epi16(a, b); }
    static V max(V a, V b) { return _mm256_max_epi16(a, b); }
    static V add(V a, V b) { return _mm256_add_epi16(a, b); }
    static V splat(int32_t value) { return _mm256_set1_epi16(static_cast<int16_t>(value)); }

    // |dR| + |dG| in bytes, added pairwise into 16 bits; |dB| in 16 bits.
    static V distance(const uint8_t *block, int slot, int chunk, uint32_t redGreen, uint32_t blue)
    {
        using namespace pixcore::batch;
        const V rg = _mm256_load_si256(reinterpret_cast<const V *>(block + 64 * slot + 32 * chunk));
        const V baseRg = _mm256_set1_epi32(static_cast<int32_t>(redGreen));
        const V rgDiff = _mm256_sub_epi8(_mm256_max_epu8(rg, baseRg), _mm256_min_epu8(rg, baseRg));
        const V rgSum = _mm256_maddubs_epi16(rgDiff, _mm256_set1_epi8(1));
        const V b = _mm256_cvtepu8_epi16(
            _mm_load_si128(reinterpret_cast<const __m128i *>(block + BlueOffset + 32 * slot + 16 * chunk)));
        const V bDiff = _mm256_abs_epi16(_mm256_sub_epi16(b, _mm256_set1_epi32(static_cast<int32_t>(blue))));
        return _mm256_add_epi16(rgSum, bDiff);
    }

    static Count noneCounted() { return _mm256_setzero_si256(); }
    static Count countAbove(Count n, V d, V limit) { return _mm256_add_epi16(n, _mm256_cmpgt_epi16(d, limit)); }
    static uint32_t atMostTen(Count n)
    {
        const V pass = _mm256_cmpgt_epi16(n, _mm256_set1_epi16(-11));
        // One byte per lane; packing works within each half of the register.
        const uint32_t bytes = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_packs_epi16(pass, _mm256_setzero_si256())));
        return (bytes & 0xFFu) | ((bytes >> 8) & 0xFF00u);
    }
};

} // namespace

namespace pixcore::batch {

int32_t findRowAvx2(const Row &row) noexcept
{
    return findRow<Avx2Lanes>(row);
}

} // namespace pixcore::batch
