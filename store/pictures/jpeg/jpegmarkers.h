#pragma once
// The markers of JPEG data walked from the start, without decoding: how the data end.

#include "sigboxcore_export.h"

class QIODevice;

// How JPEG data ends when its markers are walked.
enum class JpegEnding {
    Complete,  // the walk met the end-of-image marker, whatever follows it
    CutOff,    // the data ran out before the end-of-image marker
    Unclear,   // not a JPEG structure (a segment length below 2): the decoder will tell
    ReadError, // a read failed, so the end seen was not the data's end
};

// Walks the markers from the device's current position, which is just past the
// start-of-image marker.
SIGBOXCORE_EXPORT JpegEnding walkJpegMarkers(QIODevice &jpeg);
