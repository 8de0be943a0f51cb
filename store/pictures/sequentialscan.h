#pragma once
// The coefficients of a JPEG of one sequential, Huffman-coded scan, counted straight from its
// entropy-coded data as the picture facts count them. The facts need every coefficient's
// value but never a block of them, an inverse transform or a pixel, so this decodes the codes
// and counts as it goes, without a branch on the value: it costs about two thirds of the
// library's decoding alone. Anything but well-formed data of that kind (a bad code, a
// missing or misnumbered restart marker, data ending early, a table it does not take) is
// left to the library: the caller then reads the picture through libjpeg, which has its own
// ways with damaged data, so the facts are the same either way.

#include "sigboxcore_export.h"

#include <QtGlobal>

#include <cstddef>

extern "C" {
#include <cstdio>
#include <jpeglib.h>
}

// Where the counts go, as the facts' meter keeps them (natural order, 64 frequencies).
struct CoefficientTally {
    const qint16 *weak = nullptr; // a luminance AC value of at most this size is not counted
    const qint16 *top = nullptr;  // sizes from this one are counted as this one
    const size_t *offset = nullptr; // where a frequency's counts by size begin in `sizes`
    quint32 *sizes = nullptr;
    qint64 *dcSum = nullptr;        // the sum of |DC| of components 1 and 2, at [1] and [2]
};

// Counts the luminance AC values and sums the chroma DC values of the picture whose header
// `info` has read, from the entropy-coded data at `data` (the bytes after the scan's header).
// False, with the tally partly written, when the data are not a sequential scan of every
// component that this reader takes whole.
SIGBOXCORE_EXPORT bool tallySequentialScan(const jpeg_decompress_struct &info, const JOCTET *data, size_t size,
                         const CoefficientTally &tally);
