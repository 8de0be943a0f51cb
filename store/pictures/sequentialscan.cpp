#include "pictures/sequentialscan.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Codes up to this length, with their value's bits when these fit too, are decoded by one
// look-up; longer ones bit by bit.
constexpr int LookupBits = 10;

// A thread's copy of the data is kept for its next picture up to this size.
constexpr size_t KeptBytes = 16 * 1024 * 1024;

// Zero bytes after the data, more than the most bits a damaged MCU can take before the
// reader sees it has run past the end (ten blocks of 64 codes of 31 bits), and the eight
// bytes a refill reads.
constexpr size_t PaddingBytes = 4096;

// The order of the coefficients in the data (zigzag) to their place in the block.
constexpr std::array<quint8, 64> NaturalOrder{
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The value of `bits`, the `size` bits after a code: the upper half positive, the lower half
// negative.
inline int extend(int bits, int size)
{
    return bits < (1 << (size - 1)) ? bits - (1 << size) + 1 : bits;
}

// The scan's bits with the stuffed zero after each 0xFF taken out, split where restart
// markers stood, and zero bytes after them.
struct EntropyData {
    std::vector<quint8> bytes;
    std::vector<size_t> ends; // where each interval's bytes end: at a restart marker, or at the end
    std::vector<int> markers; // the restart marker's number there, -1 at the end

    void read(const JOCTET *data, size_t size)
    {
        bytes.resize(size + PaddingBytes);
        ends.clear();
        markers.clear();
        size_t out = 0;
        size_t at = 0;
        while (at < size) {
            const auto *mark = static_cast<const JOCTET *>(std::memchr(data + at, 0xFF, size - at));
            const size_t plain = mark ? size_t(mark - data) : size;
            std::memcpy(bytes.data() + out, data + at, plain - at);
            out += plain - at;
            if (!mark)
                break;
            // 0xFF 0x00 is a data byte 0xFF; 0xFF followed by anything else a marker, which
            // may come after more 0xFF of filling.
            size_t next = plain + 1;
            while (next < size && data[next] == 0xFF)
                ++next;
            if (next < size && data[next] == 0) {
                bytes[out++] = 0xFF;
            } else if (next < size && data[next] >= JPEG_RST0 && data[next] <= JPEG_RST0 + 7) {
                ends.push_back(out);
                markers.push_back(data[next] - JPEG_RST0);
            } else {
                break; // the end of the scan
            }
            at = next + 1;
        }
        ends.push_back(out);
        markers.push_back(-1);
        std::memset(bytes.data() + out, 0, PaddingBytes);
    }
};

// Bits read from the top of a 64-bit buffer, refilled eight bytes at a time without a test
// of each byte (the bytes are unstuffed and padded).
struct BitStream {
    const quint8 *begin = nullptr;
    const quint8 *at = nullptr;
    quint64 buffer = 0;
    int count = 0; // bits held, from the top

    // At least 56 bits held after it.
    void refill()
    {
        buffer |= qFromBigEndian<quint64>(at) >> count;
        at += (63 - count) >> 3;
        count |= 56;
    }
    quint32 peek(int bits) const { return quint32(buffer >> (64 - bits)); }
    void skip(int bits)
    {
        buffer <<= bits;
        count -= bits;
    }
    int take(int bits)
    {
        const int value = int(peek(bits));
        skip(bits);
        return value;
    }
    size_t used() const { return size_t(at - begin) * 8 - size_t(count); }
    void restartAt(size_t byte)
    {
        at = begin + byte;
        buffer = 0;
        count = 0;
    }
};

// A Huffman table as the data are decoded with it: a table of every code up to LookupBits
// long, and the canonical limits of the longer ones.
class HuffmanTable
{
public:
    // Look-up entries: value << 16 | symbol << 8 | flags | the bits to drop at once.
    static constexpr quint32 ValueFollows = 0x40; // the drop is the code; its value's bits follow
    static constexpr quint32 LongCode = 0x80;     // nothing dropped; the code is longer

    // False for a table the library would not take either, or a DC table with sizes above 15.
    bool build(const JHUFF_TBL &table, bool dc)
    {
        std::array<quint16, 256> codes{};
        std::array<quint8, 256> lengths{};
        int count = 0;
        int code = 0;
        for (int length = 1; length <= 16; ++length) {
            const int here = table.bits[length];
            if (count + here > 256)
                return false;
            m_valueOffset[size_t(length)] = count - code;
            for (int i = 0; i < here; ++i) {
                codes[size_t(count)] = quint16(code++);
                lengths[size_t(count++)] = quint8(length);
            }
            // A code of all ones is not a code.
            if (here > 0 && code >= (1 << length))
                return false;
            m_maxCode[size_t(length)] = here > 0 ? code - 1 : -1;
            code <<= 1;
        }
        std::copy_n(table.huffval, count, m_symbols.begin());
        m_fast.fill(LongCode);
        for (int i = 0; i < count; ++i) {
            const int symbol = table.huffval[i];
            const int size = dc ? symbol : symbol & 15;
            if (size > 15)
                return false;
            const int length = lengths[size_t(i)];
            if (length > LookupBits)
                continue;
            const int first = codes[size_t(i)] << (LookupBits - length);
            for (int fill = 0; fill < 1 << (LookupBits - length); ++fill) {
                quint32 entry = quint32(symbol) << 8;
                if (length + size <= LookupBits) {
                    const int bits = fill >> (LookupBits - length - size) & ((1 << size) - 1);
                    entry |= quint32(quint16(size == 0 ? 0 : extend(bits, size))) << 16 | quint32(length + size);
                } else {
                    entry |= ValueFollows | quint32(length);
                }
                m_fast[size_t(first + fill)] = entry;
            }
        }
        return true;
    }

    // The next symbol and, from the bits after it, its value. The stream holds at least 31
    // bits; false for bits that are no code.
    bool decode(BitStream &bits, int sizeMask, int &symbol, int &value) const
    {
        const quint32 entry = m_fast[bits.peek(LookupBits)];
        bits.skip(int(entry & 63));
        symbol = int(entry >> 8 & 0xFF);
        value = qint16(entry >> 16);
        if (entry & (ValueFollows | LongCode)) [[unlikely]] {
            if ((entry & LongCode) && !decodeLong(bits, symbol))
                return false;
            const int size = symbol & sizeMask;
            value = size == 0 ? 0 : extend(bits.take(size), size);
        }
        return true;
    }

private:
    bool decodeLong(BitStream &bits, int &symbol) const
    {
        const int code16 = int(bits.peek(16));
        for (int length = LookupBits + 1; length <= 16; ++length) {
            const int code = code16 >> (16 - length);
            if (code <= m_maxCode[size_t(length)]) {
                bits.skip(length);
                symbol = m_symbols[size_t(code + m_valueOffset[size_t(length)])];
                return true;
            }
        }
        return false;
    }

    std::array<quint32, 1 << LookupBits> m_fast{};
    std::array<int, 17> m_maxCode{};
    std::array<int, 17> m_valueOffset{};
    std::array<quint8, 256> m_symbols{};
};

// What a thread keeps for its next picture: the decoding tables by the numbers the file
// gives them (some 40 KiB) and the unstuffed data.
struct ScanWorkspace {
    std::array<HuffmanTable, NUM_HUFF_TBLS> dc;
    std::array<HuffmanTable, NUM_HUFF_TBLS> ac;
    EntropyData data;
};

// What a block of the MCU is and what is kept of it.
struct McuBlock {
    enum Kind { Luma, Chroma, Other };
    Kind kind = Other;
    int component = 0; // in the frame
    int slot = 0;      // in the scan, for the DC prediction
    JDIMENSION across = 0; // the component's blocks an MCU, and this one's place among them
    JDIMENSION down = 0;
    JDIMENSION x = 0;
    JDIMENSION y = 0;
    JDIMENSION width = 0; // the component's blocks in the picture
    JDIMENSION height = 0;
    const HuffmanTable *dc = nullptr;
    const HuffmanTable *ac = nullptr;
};

class ScanTally
{
public:
    ScanTally(const jpeg_decompress_struct &info, const CoefficientTally &tally, ScanWorkspace &workspace)
        : m_info(info), m_tally(tally), m_workspace(workspace)
    {
    }

    bool run(const JOCTET *data, size_t size)
    {
        if (!plan())
            return false;
        EntropyData &entropy = m_workspace.data;
        entropy.read(data, size);
        BitStream bits;
        bits.begin = bits.at = entropy.bytes.data();
        size_t interval = 0;
        size_t end = entropy.ends.front() * 8;
        std::array<int, MAX_COMPS_IN_SCAN> predictions{};
        unsigned sinceRestart = 0;
        for (JDIMENSION row = 0; row < m_rows; ++row) {
            const bool lastRow = row + 1 == m_rows;
            for (JDIMENSION column = 0; column < m_columns; ++column) {
                if (m_info.restart_interval != 0 && sinceRestart == m_info.restart_interval) {
                    // Only the last byte's padding may be left before the marker, which must
                    // be the next in turn.
                    const size_t used = bits.used();
                    if (used > end || end - used >= 8 || entropy.markers[interval] != int(interval & 7))
                        return false;
                    bits.restartAt(entropy.ends[interval++]);
                    end = entropy.ends[interval] * 8;
                    predictions.fill(0);
                    sinceRestart = 0;
                }
                const bool edge = lastRow || column + 1 == m_columns;
                for (int b = 0; b < m_blockCount; ++b) {
                    const McuBlock &block = m_blocks[size_t(b)];
                    // Blocks past the picture's edge that fill the last MCUs are decoded, not kept.
                    const bool inside = !edge
                                        || (block.across * column + block.x < block.width
                                            && block.down * row + block.y < block.height);
                    int &prediction = predictions[size_t(block.slot)];
                    if (!decodeDc(bits, block, prediction))
                        return false;
                    if (block.kind == McuBlock::Luma && inside) {
                        if (!decodeAc<true>(bits, *block.ac))
                            return false;
                    } else {
                        if (block.kind == McuBlock::Chroma && inside)
                            m_tally.dcSum[block.component] += std::abs(int(JCOEF(prediction)));
                        if (!decodeAc<false>(bits, *block.ac))
                            return false;
                    }
                }
                ++sinceRestart;
                // Past the data: damaged, or cut short.
                if (bits.used() > end)
                    return false;
            }
        }
        return true;
    }

private:
    // The scan's MCUs and their blocks, as the library lays them out; false for a scan this
    // reader does not take.
    bool plan()
    {
        const jpeg_decompress_struct &info = m_info;
        if (info.progressive_mode || info.arith_code || info.data_precision != 8 || info.Ss != 0
            || info.Se != DCTSIZE2 - 1 || info.Ah != 0 || info.Al != 0 || info.comps_in_scan < 1
            || info.comps_in_scan > MAX_COMPS_IN_SCAN || info.comps_in_scan != info.num_components
            || info.max_h_samp_factor < 1 || info.max_v_samp_factor < 1)
            return false;
        m_blockCount = 0;
        const bool interleaved = info.comps_in_scan > 1;
        std::array<bool, NUM_HUFF_TBLS> dcBuilt{};
        std::array<bool, NUM_HUFF_TBLS> acBuilt{};
        for (int slot = 0; slot < info.comps_in_scan; ++slot) {
            const jpeg_component_info *component = info.cur_comp_info[slot];
            if (!component)
                return false;
            // The library refuses a picture one of whose quantisation tables is missing.
            if (component->quant_tbl_no < 0 || component->quant_tbl_no >= NUM_QUANT_TBLS
                || !info.quant_tbl_ptrs[component->quant_tbl_no])
                return false;
            const HuffmanTable *dc = table(info.dc_huff_tbl_ptrs, component->dc_tbl_no, true, m_workspace.dc, dcBuilt);
            const HuffmanTable *ac = table(info.ac_huff_tbl_ptrs, component->ac_tbl_no, false, m_workspace.ac, acBuilt);
            if (!dc || !ac)
                return false;
            const int across = interleaved ? component->h_samp_factor : 1;
            const int down = interleaved ? component->v_samp_factor : 1;
            if (across < 1 || down < 1 || m_blockCount + across * down > D_MAX_BLOCKS_IN_MCU)
                return false;
            const int index = component->component_index;
            const McuBlock::Kind kind = index == 0                ? McuBlock::Luma
                                        : index == 1 || index == 2 ? McuBlock::Chroma
                                                                   : McuBlock::Other;
            for (int y = 0; y < down; ++y) {
                for (int x = 0; x < across; ++x) {
                    m_blocks[size_t(m_blockCount++)]
                        = {kind,           index,
                           slot,           JDIMENSION(across),
                           JDIMENSION(down), JDIMENSION(x),
                           JDIMENSION(y),  component->width_in_blocks,
                           component->height_in_blocks, dc,
                           ac};
                }
            }
        }
        if (interleaved) {
            m_columns = (info.image_width + 8 * info.max_h_samp_factor - 1) / (8 * info.max_h_samp_factor);
            m_rows = (info.image_height + 8 * info.max_v_samp_factor - 1) / (8 * info.max_v_samp_factor);
        } else {
            m_columns = info.cur_comp_info[0]->width_in_blocks;
            m_rows = info.cur_comp_info[0]->height_in_blocks;
        }
        for (size_t z = 0; z < DCTSIZE2; ++z) {
            const int k = NaturalOrder[z];
            m_frequencies[z] = {m_tally.weak[k], m_tally.top[k], m_tally.offset[k]};
        }
        return m_columns > 0 && m_rows > 0;
    }

    // The decoding table of the file's table `number`, built once a picture; null when the
    // file has none such.
    static const HuffmanTable *table(JHUFF_TBL *const *files, int number, bool dc,
                                     std::array<HuffmanTable, NUM_HUFF_TBLS> &tables,
                                     std::array<bool, NUM_HUFF_TBLS> &built)
    {
        if (number < 0 || number >= NUM_HUFF_TBLS || !files[number])
            return nullptr;
        if (!built[size_t(number)]) {
            if (!tables[size_t(number)].build(*files[number], dc))
                return nullptr;
            built[size_t(number)] = true;
        }
        return &tables[size_t(number)];
    }

    static bool decodeDc(BitStream &bits, const McuBlock &block, int &prediction)
    {
        bits.refill();
        int symbol = 0;
        int value = 0;
        if (!block.dc->decode(bits, 0xFF, symbol, value))
            return false;
        // As the library adds: wrapping, kept as a 16-bit coefficient.
        prediction = int(unsigned(prediction) + unsigned(value));
        return true;
    }

    // The block's AC values, counted into the sizes when `Count`. Every value is counted, the
    // weak ones at size 0, which is never read: a test would be a branch the processor cannot
    // foresee.
    template <bool Count>
    bool decodeAc(BitStream &bits, const HuffmanTable &ac)
    {
        quint32 *sizes = m_tally.sizes;
        for (int z = 1; z < DCTSIZE2; ++z) {
            if (bits.count < 31)
                bits.refill();
            int symbol = 0;
            int value = 0;
            if (!ac.decode(bits, 15, symbol, value))
                return false;
            const int run = symbol >> 4;
            if ((symbol & 15) == 0) {
                if (run != 15)
                    break; // the end of the block
                z += 15;   // sixteen zeros
                continue;
            }
            z += run;
            if (z >= DCTSIZE2)
                return false;
            if constexpr (Count) {
                const Frequency &frequency = m_frequencies[size_t(z)];
                const int magnitude = std::abs(value);
                const int size = std::min(frequency.top, magnitude) & -int(magnitude > frequency.weak);
                ++sizes[frequency.offset + size_t(size)];
            }
        }
        return true;
    }

    struct Frequency {
        int weak = 0;
        int top = 0;
        size_t offset = 0;
    };

    const jpeg_decompress_struct &m_info;
    const CoefficientTally &m_tally;
    ScanWorkspace &m_workspace;
    std::array<McuBlock, D_MAX_BLOCKS_IN_MCU> m_blocks{};
    std::array<Frequency, DCTSIZE2> m_frequencies{}; // by the order in the data
    int m_blockCount = 0;
    JDIMENSION m_columns = 0;
    JDIMENSION m_rows = 0;
};

} // namespace

bool tallySequentialScan(const jpeg_decompress_struct &info, const JOCTET *data, size_t size,
                         const CoefficientTally &tally)
{
    thread_local const auto workspace = std::make_unique<ScanWorkspace>();
    const bool counted = ScanTally(info, tally, *workspace).run(data, size);
    if (workspace->data.bytes.capacity() > KeptBytes)
        workspace->data.bytes = std::vector<quint8>(); // grown by a very large file: let go
    return counted;
}
