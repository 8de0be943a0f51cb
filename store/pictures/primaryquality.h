#pragma once
// Whether a JPEG shows an earlier, coarser compression, and that compression's quality.
//
// A picture decoded and saved again keeps the grid of its first quantisation: each of its
// low-frequency luminance coefficients was a multiple of the first step p, and requantised at
// the finer step s it lands within half a step (and a little rounding) of such a multiple.
// The values in between stay empty, where a picture compressed once holds a smooth, falling
// histogram. Per frequency, the step p whose empty values a smooth histogram of the same
// spread would fill most, while the picture holds least there, is that frequency's first
// step; the standard table (or its transpose, for a picture turned a quarter) that agrees
// with most of those steps gives the quality. A mirror or a quarter turn of a picture whose
// sides are whole blocks keeps the grid; scaling, cropping off the block grid and tone
// changes blur it, and those copies show none.

#include "sigboxcore_export.h"

#include <QtGlobal>

#include <array>

// The histograms the estimate reads: the low frequencies in zigzag order from the first AC.
struct PrimaryHistograms {
    static constexpr int Frequencies = 14;
    static constexpr int Values = 256; // |quantised value| 0 to 254; 255 holds all larger
    // Natural-order indices of the frequencies, zigzag positions 1 to 14.
    static constexpr std::array<int, Frequencies> Natural{1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4};
    std::array<std::array<quint32, Values>, Frequencies> counts{};

    void clear() { counts = {}; }
};

// The first step of frequency `index` (into Natural), requantised at `step`; 0 when none shows.
SIGBOXCORE_EXPORT int estimatePrimaryStep(const std::array<quint32, PrimaryHistograms::Values> &histogram, int step);

// The quality of the earlier compression, 1 to 99 and below `quality`; 0 when none shows.
// `steps` the picture's own luminance steps, natural order.
SIGBOXCORE_EXPORT int estimatePrimaryQuality(const PrimaryHistograms &histograms, const std::array<int, 64> &steps,
                                             int quality);
