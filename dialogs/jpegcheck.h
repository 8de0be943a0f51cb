#pragma once
// The viewer's check of a picture file: does it start like a JPEG picture, and is a
// cut-off one mended? No window here, so the tests and the fuzzers reach it directly.

#include "pictures/jpeg/jpegmarkers.h"

#include <QString>

// True when the file starts with the JPEG start-of-image marker. A writable file whose
// markers run out before the end-of-image marker gets the two bytes 0xFF 0xD9 appended;
// no other file is ever changed.
bool CheckJpegFile(const QString &path);
