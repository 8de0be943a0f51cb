#pragma once
// Colour-grid kernel: reduces a drawn picture to a grid of average colours and
// measures how far apart two such grids are. No Qt here: the surface is a plain view.

#include <stdint.h>
#include "pixcore_export.h"

#ifdef __cplusplus
extern "C" {
#endif

// A read-only view of a 32-bit RGB image: each pixel is one word 0xAARRGGBB
// (the layout of QImage::Format_RGB32), rows are `stride` words apart.
typedef struct PixcoreSurface {
    const uint32_t *pixels;
    int32_t width;
    int32_t height;
    int32_t stride;
} PixcoreSurface;

// Stores the configuration and allocates the work buffer (one int per cell).
// Returns the buffer, or null when it could not be allocated.
PIXCORE_EXPORT int32_t *PixcoreInitialize(int32_t pictureWidth, int32_t pictureHeight,
                                          int32_t cellWidth, int32_t cellHeight);
PIXCORE_EXPORT void PixcoreTerminate(void);
// Fills `signature` (3 values per cell, rows 8 cells apart) with the cells' average colours.
PIXCORE_EXPORT void GetRGB(const PixcoreSurface *surface, int16_t *signature);
// The check value of two signatures: 0 for identical pictures, smaller means more alike.
PIXCORE_EXPORT int32_t GetCheckValuePX(const int16_t *a, const int16_t *b);

// The colour of pixel (x, y) with red in the lowest byte, green and blue above it;
// 0xFFFFFFFF outside the surface.
PIXCORE_EXPORT uint32_t PixcoreGetPixel(const PixcoreSurface *surface, int32_t x, int32_t y);

#ifdef __cplusplus
}

namespace pixcore {

inline constexpr int GridSize = 8;
inline constexpr int Cells = GridSize * GridSize;
inline constexpr int SignatureValues = Cells * 3;

// Re-entrant forms for the fixed 8 x 8 grid of 8 x 8-pixel cells. They share no
// buffer, so threads may call them at once; results equal the C entry points'.
PIXCORE_EXPORT int32_t checkValue(const int16_t *a, const int16_t *b) noexcept;
// checkValue(a, b) <= level, answered early for most dissimilar pairs: the fastest test
// of one pair. A search over many pairs is faster still with SignaturePack (signaturepack.h).
PIXCORE_EXPORT bool withinLevel(const int16_t *a, const int16_t *b, int32_t level) noexcept;
PIXCORE_EXPORT void averageGrid(const PixcoreSurface &surface, int16_t *signature) noexcept;

// The eight ways to turn or mirror a square grid, in the order a search tries them: turns
// clockwise, mirroring left to right (before the turn).
enum class GridTurn : uint8_t {
    Identity,
    Turn90,
    Turn180,
    Turn270,
    Mirror,
    MirrorTurn90,
    MirrorTurn180,
    MirrorTurn270,
};
inline constexpr int GridTurnCount = 8;

// The signature of the picture turned or mirrored: every picture is stretched to a square
// before its grid is taken, so a turned picture's grid is the grid turned, cell for cell.
// `out` must not be `signature`.
PIXCORE_EXPORT void turnSignature(const int16_t *signature, GridTurn turn, int16_t *out) noexcept;
// The signature of the picture made grey: each cell's luma (299 R + 587 G + 114 B) / 1000,
// truncated, in all three of its values. `out` may be `signature`.
PIXCORE_EXPORT void greySignature(const int16_t *signature, int16_t *out) noexcept;

} // namespace pixcore
#endif
