#pragma once
// The counts of a HEIF file's items and item references, read from its meta box before
// libheif parses it. libheif 1.15 has no limit of its own on them, and its parse grows with
// the square of the item count (16,384 items take tens of seconds) and its decode with the
// count of a grid's tiles, however small the tiles. A file over these limits, or whose
// boxes do not fit in one another, is not read at all.
//
// The limits are far above what cameras write: a 12 MP phone picture has 48 tiles and a
// handful of other items (thumbnail, Exif, depth, gain map), a 48 MP one 192 tiles, a 200 MP
// one 768.

#include <QByteArrayView>

namespace heifitems {

constexpr long long MaxItems = 2048; // item infos, item locations, property associations
constexpr long long MaxReferences = 4096; // all item references together
constexpr long long MaxTiles = 2048; // the images one derived image (a grid) is made of

} // namespace heifitems

bool heifItemsWithinLimits(QByteArrayView bytes);
