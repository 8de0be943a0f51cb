#pragma once
// A picture decoded for showing: upright, turned and mirrored as its EXIF orientation says
// (as Qt's reader, and so the viewer, shows it), and decoded at about the size it is shown.
//
// A colour or grey JPEG is decoded by libjpeg straight from memory at the smallest 1/8 step
// of its size that is not below the wanted scale, then shrunk smoothly to it. At 1/8 every
// 8 x 8 block becomes one pixel, its DC coefficient alone; a progressive JPEG's DC scans
// come first in the file, so at that step its decoding stops once they are in, the same
// picture without entropy-decoding the rest. Decoded larger, a progressive JPEG can give a
// coarse picture from those first scans, before the rest is read. Other formats go through
// Qt's readers. Whatever the scale asked, the picture is decoded small enough to fit Qt's
// allocation limit, which is left as it is; a reader that cannot decode smaller than the
// whole (no scaled reading) refuses a picture beyond it, and the picture stays null.
// Re-entrant: safe on any thread.

#include "sigboxcore_export.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>

struct UprightPicture {
    QImage image;   // upright, at `scale` of `size`; null when the file does not decode
    QSize size;     // the whole picture upright, in pixels
    double scale = 0;
};

// `scaleFor` is asked, once the upright size is known, for the scale wanted (at most 1);
// `coarse`, when given, gets the coarse picture first where there is one, and says whether
// the decode is still wanted (if not, the picture stays null).
SIGBOXCORE_EXPORT UprightPicture decodeUprightPicture(const QString &path,
                                                      const std::function<double(QSize)> &scaleFor,
                                                      const std::function<bool(UprightPicture)> &coarse = {});
