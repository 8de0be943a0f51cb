#include "pixcore.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace {

// The process-wide configuration; these values are in place before initialisation.
struct Config {
    int32_t pictureWidth = 64;
    int32_t pictureHeight = 64;
    int32_t cellWidth = 8;
    int32_t cellHeight = 8;
    int32_t upperTrim = 15; // percent, fixed
    int32_t lowerTrim = 10; // percent, fixed
};

Config g_config;
int32_t *g_buffer = nullptr;

// A signature holds 8 x 8 cells, rows 8 cells apart: a larger configured grid is cut to
// those, so neither the signatures nor the work buffer are ever read or written past.
int32_t gridExtent(int32_t pictureSize, int32_t cellSize)
{
    return cellSize > 0 ? std::clamp(pictureSize / cellSize, 0, pixcore::GridSize) : 0;
}
int32_t columns() { return gridExtent(g_config.pictureWidth, g_config.cellWidth); }
int32_t rows() { return gridExtent(g_config.pictureHeight, g_config.cellHeight); }

inline int32_t cellDistance(const int16_t *a, const int16_t *b, int offset)
{
    return std::abs(a[offset] - b[offset]) + std::abs(a[offset + 1] - b[offset + 1])
        + std::abs(a[offset + 2] - b[offset + 2]);
}

// The rank-th smallest of 64 distances below 1024, without sorting them all:
// a 64-bucket histogram finds the bucket, then only that bucket's few values are ordered.
int32_t smallRank(const int32_t *d, const uint8_t *hist, int rank)
{
    int bucket = 0;
    int before = 0;
    while (before + hist[bucket] <= rank)
        before += hist[bucket++];
    int32_t members[pixcore::Cells];
    int n = 0;
    for (int i = 0; i < pixcore::Cells; ++i) {
        if ((d[i] >> 4) == bucket) {
            int32_t v = d[i];
            int k = n++;
            for (; k > 0 && members[k - 1] > v; --k)
                members[k] = members[k - 1];
            members[k] = v;
        }
    }
    return members[rank - before];
}

void distances(const int16_t *a, const int16_t *b, int32_t *d)
{
    // Channel differences first, in one straight loop the compiler vectorises; then per cell.
    int32_t diff[pixcore::SignatureValues];
    for (int i = 0; i < pixcore::SignatureValues; ++i)
        diff[i] = std::abs(a[i] - b[i]);
    for (int i = 0; i < pixcore::Cells; ++i)
        d[i] = diff[3 * i] + diff[3 * i + 1] + diff[3 * i + 2];
}

inline uint32_t argbToColorRef(uint32_t argb)
{
    return ((argb >> 16) & 0xFF) | (argb & 0xFF00) | ((argb & 0xFF) << 16);
}

// The 8 x 8 grid of 8 x 8-pixel cells; `pixel` answers in the red-lowest layout.
template <typename PixelReader>
void fillGrid(int16_t *signature, PixelReader pixel)
{
    for (int r = 0; r < pixcore::GridSize; ++r) {
        for (int q = 0; q < pixcore::GridSize; ++q) {
            int32_t red = 0, green = 0, blue = 0;
            for (int x = q * 8; x < q * 8 + 8; ++x) {
                for (int y = r * 8; y < r * 8 + 8; ++y) {
                    const uint32_t c = pixel(x, y);
                    red += c & 0xFF;
                    green += (c >> 8) & 0xFF;
                    blue += (c >> 16) & 0xFF;
                }
            }
            int16_t *cell = signature + 3 * (8 * r + q);
            cell[0] = static_cast<int16_t>(red / 64);
            cell[1] = static_cast<int16_t>(green / 64);
            cell[2] = static_cast<int16_t>(blue / 64);
        }
    }
}

} // namespace

extern "C" {

int32_t *PixcoreInitialize(int32_t pictureWidth, int32_t pictureHeight, int32_t cellWidth, int32_t cellHeight)
{
    g_config.pictureWidth = pictureWidth;
    g_config.pictureHeight = pictureHeight;
    g_config.cellWidth = cellWidth;
    g_config.cellHeight = cellHeight;
    // A second initialisation replaces the buffer instead of leaking it.
    delete[] g_buffer;
    g_buffer = new (std::nothrow) int32_t[std::max(columns() * rows(), 1)];
    return g_buffer;
}

void PixcoreTerminate(void)
{
    delete[] g_buffer;
    g_buffer = nullptr;
}

uint32_t PixcoreGetPixel(const PixcoreSurface *surface, int32_t x, int32_t y)
{
    if (!surface || !surface->pixels || x < 0 || y < 0 || x >= surface->width || y >= surface->height)
        return 0xFFFFFFFFu;
    return argbToColorRef(surface->pixels[static_cast<int64_t>(y) * surface->stride + x]);
}

void GetRGB(const PixcoreSurface *surface, int16_t *signature)
{
    const int32_t rowCount = rows();
    const int32_t columnCount = columns();
    if (rowCount <= 0)
        return;
    const int32_t cw = g_config.cellWidth, ch = g_config.cellHeight;
    for (int32_t r = 0; r < rowCount; ++r) {
        for (int32_t q = 0; q < columnCount; ++q) {
            int32_t red = 0, green = 0, blue = 0, count = 0;
            for (int32_t x = q * cw; x < (q + 1) * cw; ++x) {
                for (int32_t y = r * ch; y < (r + 1) * ch; ++y) {
                    const uint32_t c = PixcoreGetPixel(surface, x, y);
                    red += c & 0xFF;
                    green += (c >> 8) & 0xFF;
                    blue += (c >> 16) & 0xFF;
                    ++count;
                }
            }
            if (count == 0)
                continue;
            int16_t *cell = signature + 3 * (8 * r + q);
            cell[0] = static_cast<int16_t>(red / count);
            cell[1] = static_cast<int16_t>(green / count);
            cell[2] = static_cast<int16_t>(blue / count);
        }
    }
}

int32_t GetCheckValuePX(const int16_t *a, const int16_t *b)
{
    const int32_t rowCount = rows();
    const int32_t columnCount = columns();
    // Without a buffer (called before initialisation) a local one keeps the call safe.
    int32_t local[pixcore::Cells];
    int32_t *work = g_buffer ? g_buffer : local;
    int32_t n = 0;
    for (int32_t r = 0; r < rowCount; ++r) {
        for (int32_t q = 0; q < columnCount; ++q)
            work[n++] = cellDistance(a, b, 3 * (8 * r + q));
    }
    if (n == 0)
        return 0;
    std::sort(work, work + n);
    const int32_t upper = static_cast<int32_t>(n - n * (g_config.upperTrim * 0.01));
    const int32_t lower = static_cast<int32_t>(n * (g_config.lowerTrim * 0.01));
    return work[std::clamp(upper - 1, 0, n - 1)] - work[std::clamp(lower, 0, n - 1)];
}

} // extern "C"

namespace pixcore {

int32_t checkValue(const int16_t *a, const int16_t *b) noexcept
{
    int32_t d[Cells];
    distances(a, b, d);
    uint32_t all = 0;
    for (int i = 0; i < Cells; ++i)
        all |= static_cast<uint32_t>(d[i]);
    // 54th smallest minus 7th smallest (64 cells, trims of 15 and 10 percent).
    if (all >= 1024) { // values outside 0..255 only come from damaged catalogues
        std::sort(d, d + Cells);
        return d[53] - d[6];
    }
    uint8_t hist[Cells] = {};
    for (int i = 0; i < Cells; ++i)
        ++hist[d[i] >> 4];
    return smallRank(d, hist, 53) - smallRank(d, hist, 6);
}

bool withinLevel(const int16_t *a, const int16_t *b, int32_t level) noexcept
{
    if (level < 0)
        return false;
    if (level >= 64)
        return checkValue(a, b) <= level;
    // The 48 middle distances (ranks 6 to 53) of a similar pair lie within `level` < 64 of
    // each other, so within two neighbouring buckets 64 wide: most pairs fail that at once.
    int32_t d[Cells];
    distances(a, b, d);
    // Sixteen 8-bit counters packed in two registers: no memory round trip per count.
    uint64_t low = 0, high = 0;
    for (int i = 0; i < Cells; ++i) {
        const uint32_t bucket = std::min<uint32_t>(static_cast<uint32_t>(d[i]) >> 6, 15);
        const uint64_t one = uint64_t(1) << (8 * (bucket & 7));
        low += bucket < 8 ? one : 0;
        high += bucket < 8 ? 0 : one;
    }
    uint8_t coarse[17] = {};
    for (int i = 0; i < 8; ++i) {
        coarse[i] = static_cast<uint8_t>(low >> (8 * i));
        coarse[i + 8] = static_cast<uint8_t>(high >> (8 * i));
    }
    bool possible = false;
    for (int i = 0; i < 16 && !possible; ++i)
        possible = coarse[i] + coarse[i + 1] >= 48;
    return possible && checkValue(a, b) <= level;
}

void averageGrid(const PixcoreSurface &surface, int16_t *signature) noexcept
{
    if (surface.pixels && surface.width >= 64 && surface.height >= 64) {
        fillGrid(signature, [&surface](int x, int y) {
            return argbToColorRef(surface.pixels[static_cast<int64_t>(y) * surface.stride + x]);
        });
    } else { // a surface too small reads white outside, as the pixel reader does
        fillGrid(signature, [&surface](int x, int y) { return PixcoreGetPixel(&surface, x, y); });
    }
}

void turnSignature(const int16_t *signature, GridTurn turn, int16_t *out) noexcept
{
    constexpr int Last = GridSize - 1;
    const int turns = static_cast<int>(turn) % 4;
    const bool mirror = static_cast<int>(turn) >= 4;
    for (int y = 0; y < GridSize; ++y) {
        for (int x = 0; x < GridSize; ++x) {
            // Back from the turned cell (x, y) to the cell it came from: undo the turns
            // (each a quarter clockwise), then the mirroring.
            int u = x, v = y;
            for (int t = 0; t < turns; ++t) {
                const int w = u;
                u = v;
                v = Last - w;
            }
            if (mirror)
                u = Last - u;
            for (int k = 0; k < 3; ++k)
                out[3 * (GridSize * y + x) + k] = signature[3 * (GridSize * v + u) + k];
        }
    }
}

void greySignature(const int16_t *signature, int16_t *out) noexcept
{
    for (int c = 0; c < Cells; ++c) {
        const int16_t *cell = signature + 3 * c;
        const auto luma = static_cast<int16_t>((299 * cell[0] + 587 * cell[1] + 114 * cell[2]) / 1000);
        out[3 * c] = out[3 * c + 1] = out[3 * c + 2] = luma;
    }
}

} // namespace pixcore
