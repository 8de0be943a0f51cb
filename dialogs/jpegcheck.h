#pragma once
// The viewer's check of a picture file: does it start like a JPEG picture, and is a
// cut-off one mended? No window here, so the tests and the fuzzers reach it directly.

#include <QString>

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
JpegEnding walkJpegMarkers(QIODevice &jpeg);

// True when the file starts with the JPEG start-of-image marker. A writable file whose
// markers run out before the end-of-image marker gets the two bytes 0xFF 0xD9 appended;
// no other file is ever changed.
bool CheckJpegFile(const QString &path);
