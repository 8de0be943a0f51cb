#include "previouskernel.h"

#include "previousrow.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace previousbatch {
int32_t previousRowAvx2(const Row &row) noexcept;
int32_t previousRowAvx512bw(const Row &row) noexcept;
} // namespace previousbatch

namespace previous {

using namespace previousbatch;

void Pack::Free::operator()(uint8_t *p) const
{
    ::operator delete[](p, std::align_val_t{64});
}

Pack::Pack(const int16_t *signatures, int32_t count) : m_count(count)
{
    const size_t bytes = static_cast<size_t>((count + Entries - 1) / Entries) * BlockBytes;
    m_blocks.reset(static_cast<uint8_t *>(::operator new[](bytes, std::align_val_t{64})));
    std::memset(m_blocks.get(), 0, bytes);
    m_signatures.reset(new int16_t[static_cast<size_t>(count) * pixcore::SignatureValues]);
    std::copy(signatures, signatures + static_cast<size_t>(count) * pixcore::SignatureValues, m_signatures.get());
    for (int32_t j = 0; j < count; ++j) {
        uint8_t *block = m_blocks.get() + static_cast<size_t>(j / Entries) * BlockBytes;
        const int k = j % Entries;
        const int16_t *s = signatures + static_cast<size_t>(j) * pixcore::SignatureValues;
        for (int c = 0; c < CellCount; ++c) {
            block[64 * c + 2 * k] = static_cast<uint8_t>(s[3 * c]);
            block[64 * c + 2 * k + 1] = static_cast<uint8_t>(s[3 * c + 1]);
            block[BlueOffset + 32 * c + k] = static_cast<uint8_t>(s[3 * c + 2]);
        }
    }
}

int32_t Pack::findWithinLevel(bool avx512, int32_t base, int32_t first, int32_t end, int32_t level,
                              int32_t *hits) const
{
    Row row{};
    const int16_t *s = m_signatures.get() + static_cast<size_t>(base) * pixcore::SignatureValues;
    for (int c = 0; c < CellCount; ++c) {
        const uint32_t redGreen = static_cast<uint32_t>(s[3 * c] | s[3 * c + 1] << 8);
        row.redGreen[0][c] = redGreen | redGreen << 16;
        row.blue[0][c] = static_cast<uint32_t>(s[3 * c + 2] | s[3 * c + 2] << 16);
    }
    row.blocks = m_blocks.get();
    row.baseCount = 1;
    row.first = std::max(first, 0);
    row.end = std::min(end, m_count);
    row.level = std::clamp(level, 0, 765);
    row.hits = hits;
    if (row.first >= row.end)
        return 0;
    return avx512 ? previousRowAvx512bw(row) : previousRowAvx2(row);
}

} // namespace previous
