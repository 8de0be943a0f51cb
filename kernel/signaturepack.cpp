#include "signaturepack.h"

#include "batchrow.h"
#include "pixcore.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace pixcore::batch {
#ifdef PIXCORE_X86_BATCH
int32_t findRowSse2(const Row &row) noexcept;
int32_t findRowAvx2(const Row &row) noexcept;
int32_t findRowAvx512bw(const Row &row) noexcept;
#endif
} // namespace pixcore::batch

namespace {

using namespace pixcore::batch;

constexpr std::align_val_t BlockAlignment{64};

// The batch in the compiler's generic vectors, 8 entries at a time: whatever vector unit
// the target has (NEON, or none) runs it; on x86 the instruction-set files take over.
struct PortableLanes {
    using V = int16_t __attribute__((vector_size(16)));
    using Bytes8 = uint8_t __attribute__((vector_size(8)));
    using Count = V; // minus the number of distances above the limit
    static constexpr int Width = 8;

    static V min(V a, V b) { return a < b ? a : b; }
    static V max(V a, V b) { return a < b ? b : a; }
    static V add(V a, V b) { return a + b; }
    static V splat(int32_t value) { return V{} + static_cast<int16_t>(value); }
    static V absolute(V v) { return v < 0 ? -v : v; }

    static V distance(const uint8_t *block, int slot, int chunk, uint32_t redGreen, uint32_t blue)
    {
        V rg; // R, G of 8 entries, one byte pair per lane
        Bytes8 b;
        std::memcpy(&rg, block + 64 * slot + 16 * chunk, sizeof rg);
        std::memcpy(&b, block + BlueOffset + 32 * slot + 8 * chunk, sizeof b);
        constexpr bool RedLow = std::endian::native == std::endian::little;
        const V low = rg & 0xFF;
        const V high = (rg >> 8) & 0xFF;
        return absolute((RedLow ? low : high) - static_cast<int16_t>(redGreen & 0xFF))
            + absolute((RedLow ? high : low) - static_cast<int16_t>((redGreen >> 8) & 0xFF))
            + absolute(__builtin_convertvector(b, V) - static_cast<int16_t>(blue & 0xFFFF));
    }

    static Count noneCounted() { return V{}; }
    static Count countAbove(Count n, V d, V limit) { return n + (d > limit); }
    static uint32_t atMostTen(Count n)
    {
        uint32_t lanes = 0;
        for (int k = 0; k < Width; ++k)
            lanes |= uint32_t(n[k] > -11) << k;
        return lanes;
    }
};

int32_t findRowPortable(const Row &row) noexcept
{
    return findRow<PortableLanes>(row);
}

struct Implementation {
    pixcore::BatchIsa isa;
    RowFunction row;
};

// What this processor runs, slowest first, decided once.
struct Implementations {
    std::array<Implementation, 4> list{};
    std::array<pixcore::BatchIsa, 4> isas{};
    size_t size = 0;

    Implementations()
    {
        add(pixcore::BatchIsa::Portable, findRowPortable);
#ifdef PIXCORE_X86_BATCH
        add(pixcore::BatchIsa::Sse2, findRowSse2);
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx2"))
            add(pixcore::BatchIsa::Avx2, findRowAvx2);
        if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("bmi2"))
            add(pixcore::BatchIsa::Avx512bw, findRowAvx512bw);
#endif
    }
    void add(pixcore::BatchIsa isa, RowFunction row)
    {
        isas[size] = isa;
        list[size++] = {isa, row};
    }
    RowFunction find(pixcore::BatchIsa isa) const
    {
        for (size_t i = 0; i < size; ++i) {
            if (list[i].isa == isa)
                return list[i].row;
        }
        return list[size - 1].row;
    }
};

const Implementations &implementations()
{
    static const Implementations available;
    return available;
}

} // namespace

namespace pixcore {

std::span<const BatchIsa> availableBatchIsas() noexcept
{
    const Implementations &all = implementations();
    return {all.isas.data(), all.size};
}

const char *batchIsaName(BatchIsa isa) noexcept
{
    switch (isa) {
    case BatchIsa::Portable: return "portable";
    case BatchIsa::Sse2: return "sse2";
    case BatchIsa::Avx2: return "avx2";
    case BatchIsa::Avx512bw: return "avx512bw";
    }
    return "?";
}

SignaturePack::~SignaturePack()
{
    ::operator delete[](m_blocks, BlockAlignment);
}

SignaturePack::SignaturePack(SignaturePack &&other) noexcept
    : m_blocks(std::exchange(other.m_blocks, nullptr))
    , m_count(std::exchange(other.m_count, 0))
    , m_capacity(std::exchange(other.m_capacity, 0))
{
}

SignaturePack &SignaturePack::operator=(SignaturePack &&other) noexcept
{
    if (this != &other) {
        ::operator delete[](m_blocks, BlockAlignment);
        m_blocks = std::exchange(other.m_blocks, nullptr);
        m_count = std::exchange(other.m_count, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
    }
    return *this;
}

bool SignaturePack::assign(const int16_t *signatures, int32_t count) noexcept
{
    ::operator delete[](m_blocks, BlockAlignment);
    m_blocks = nullptr;
    m_count = 0;
    m_capacity = 0;
    if (count <= 0 || !signatures)
        return count == 0;
    return reserve(count) && append(signatures, count);
}

bool SignaturePack::reserve(int32_t capacity) noexcept
{
    if (capacity <= m_capacity)
        return true;
    const int64_t blockCount = (static_cast<int64_t>(capacity) + Entries - 1) / Entries;
    const size_t bytes = static_cast<size_t>(blockCount) * BlockBytes;
    auto *blocks = static_cast<uint8_t *>(::operator new[](bytes, BlockAlignment, std::nothrow));
    if (!blocks)
        return false;
    // Whole blocks move as they are; the lanes after the last entry compare as black.
    const size_t used = static_cast<size_t>((static_cast<int64_t>(m_count) + Entries - 1) / Entries) * BlockBytes;
    if (used > 0)
        std::memcpy(blocks, m_blocks, used);
    std::memset(blocks + used, 0, bytes - used);
    ::operator delete[](m_blocks, BlockAlignment);
    m_blocks = blocks;
    m_capacity = static_cast<int32_t>(std::min<int64_t>(blockCount * Entries, INT32_MAX));
    return true;
}

bool SignaturePack::append(const int16_t *signatures, int32_t count) noexcept
{
    if (count <= 0 || !signatures)
        return count == 0;
    for (int64_t v = 0; v < static_cast<int64_t>(count) * SignatureValues; ++v) {
        if (signatures[v] & ~0xFF) // outside 0..255
            return false;
    }
    if (count > INT32_MAX - m_count)
        return false;
    // Growing by half again keeps appending one catalogue at a time linear.
    if (m_count + count > m_capacity
        && !reserve(static_cast<int32_t>(std::min<int64_t>(
            std::max<int64_t>(m_count + int64_t(count), m_capacity + int64_t(m_capacity) / 2), INT32_MAX))))
        return false;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t j = m_count + i;
        const int16_t *signature = signatures + static_cast<int64_t>(i) * SignatureValues;
        uint8_t *block = m_blocks + static_cast<int64_t>(j / Entries) * BlockBytes;
        const int k = j % Entries;
        for (int c = 0; c < CellCount; ++c) {
            const int16_t *cell = signature + 3 * c;
            const int s = SlotOf[c];
            block[64 * s + 2 * k] = static_cast<uint8_t>(cell[0]);
            block[64 * s + 2 * k + 1] = static_cast<uint8_t>(cell[1]);
            block[BlueOffset + 32 * s + k] = static_cast<uint8_t>(cell[2]);
        }
    }
    m_count += count;
    return true;
}

void SignaturePack::truncate(int32_t count) noexcept
{
    for (int32_t j = std::max(count, 0); j < m_count; ++j) {
        uint8_t *block = m_blocks + static_cast<int64_t>(j / Entries) * BlockBytes;
        const int k = j % Entries;
        for (int s = 0; s < CellCount; ++s) {
            block[64 * s + 2 * k] = 0;
            block[64 * s + 2 * k + 1] = 0;
            block[BlueOffset + 32 * s + k] = 0;
        }
    }
    m_count = std::clamp(count, 0, m_count);
}

void SignaturePack::signature(int32_t index, int16_t *out) const noexcept
{
    const uint8_t *block = m_blocks + static_cast<int64_t>(index / Entries) * BlockBytes;
    const int k = index % Entries;
    for (int c = 0; c < CellCount; ++c) {
        const int s = SlotOf[c];
        out[3 * c] = block[64 * s + 2 * k];
        out[3 * c + 1] = block[64 * s + 2 * k + 1];
        out[3 * c + 2] = block[BlueOffset + 32 * s + k];
    }
}

int32_t SignaturePack::findWithinLevel(int32_t base, int32_t first, int32_t end, int32_t level, int32_t *hits,
                                       const uint8_t *skip) const noexcept
{
    const Implementations &all = implementations();
    return findWithinLevel(all.list[all.size - 1].isa, base, first, end, level, hits, skip);
}

namespace {

// Base b of a row: its colours repeated for the lanes, at slot s.
void setBase(Row &row, int b, int s, uint32_t red, uint32_t green, uint32_t blue)
{
    const uint32_t redGreen = red | green << 8;
    row.redGreen[b][s] = redGreen | redGreen << 16;
    row.blue[b][s] = blue | blue << 16;
}

} // namespace

int32_t SignaturePack::findWithinLevel(BatchIsa isa, int32_t base, int32_t first, int32_t end, int32_t level,
                                       int32_t *hits, const uint8_t *skip) const noexcept
{
    if (base < 0 || base >= m_count)
        return 0;
    Row row;
    const uint8_t *baseBlock = m_blocks + static_cast<int64_t>(base / Entries) * BlockBytes;
    const int k = base % Entries;
    for (int s = 0; s < CellCount; ++s)
        setBase(row, 0, s, baseBlock[64 * s + 2 * k], baseBlock[64 * s + 2 * k + 1], baseBlock[BlueOffset + 32 * s + k]);
    row.baseCount = 1;
    row.which = nullptr;
    return search(isa, row, first, end, level, hits, skip);
}

int32_t SignaturePack::findWithinLevelOfAny(const int16_t *bases, int32_t baseCount, int32_t first, int32_t end,
                                            int32_t level, int32_t *hits, uint8_t *which,
                                            const uint8_t *skip) const noexcept
{
    const Implementations &all = implementations();
    return findWithinLevelOfAny(all.list[all.size - 1].isa, bases, baseCount, first, end, level, hits, which, skip);
}

int32_t SignaturePack::findWithinLevelOfAny(BatchIsa isa, const int16_t *bases, int32_t baseCount, int32_t first,
                                            int32_t end, int32_t level, int32_t *hits, uint8_t *which,
                                            const uint8_t *skip) const noexcept
{
    if (!bases || baseCount < 1 || baseCount > MaxBases)
        return -1;
    Row row;
    for (int b = 0; b < baseCount; ++b) {
        const int16_t *signature = bases + static_cast<int64_t>(b) * SignatureValues;
        for (int c = 0; c < CellCount; ++c) {
            const int16_t *cell = signature + 3 * c;
            if ((cell[0] | cell[1] | cell[2]) & ~0xFF)
                return -1;
            setBase(row, b, SlotOf[c], cell[0], cell[1], cell[2]);
        }
    }
    row.baseCount = baseCount;
    row.which = which;
    return search(isa, row, first, end, level, hits, skip);
}

int32_t SignaturePack::search(BatchIsa isa, batch::Row &row, int32_t first, int32_t end, int32_t level,
                              int32_t *hits, const uint8_t *skip) const noexcept
{
    first = std::max(first, 0);
    end = std::min(end, m_count);
    if (first >= end || level < 0 || !hits)
        return 0;
    row.blocks = m_blocks;
    row.first = first;
    row.end = end;
    row.level = std::min(level, 765); // no check value of bytes exceeds 3 * 255
    row.skip = skip;
    row.hits = hits;
    return implementations().find(isa)(row);
}

} // namespace pixcore
