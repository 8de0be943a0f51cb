#pragma once
// The batch comparison before its first stage, for benchmarks to set the kernel beside in
// the same run: the same packed signatures, every pair's 64 distances. x86-64 only.

#include <pixcore.h>

#include <cstdint>
#include <memory>

namespace previous {

class Pack
{
public:
    // `count` signatures of 192 values 0..255, one after another.
    Pack(const int16_t *signatures, int32_t count);
    int32_t count() const { return m_count; }
    // As SignaturePack::findWithinLevel (no skips), with AVX-512BW when `avx512` (the
    // kernel's default where the processor has it), else AVX2.
    int32_t findWithinLevel(bool avx512, int32_t base, int32_t first, int32_t end, int32_t level, int32_t *hits) const;

private:
    struct Free {
        void operator()(uint8_t *p) const;
    };
    std::unique_ptr<uint8_t, Free> m_blocks;
    std::unique_ptr<int16_t[]> m_signatures;
    int32_t m_count = 0;
};

} // namespace previous
