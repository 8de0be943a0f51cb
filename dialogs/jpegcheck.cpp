// Only a file that is really cut off gets the end-of-image marker. Not ending in that
// marker does not make a file incomplete: phones and cameras store a complete picture
// followed by a video, a second picture or their own data. So the file's markers are
// walked from the start: a walk that runs out of file before the end marker means the
// file was cut off; a walk that meets the end marker means it is complete, whatever
// follows. The repair only ever appends the two bytes 0xFF 0xD9; the file is never
// rewritten, and a failed append leaves it at its old length.

#include "jpegcheck.h"

#include <QFile>
#include <QFileInfo>

namespace {
constexpr uchar Mark = 0xFF;
constexpr uchar StartOfImage = 0xD8;
constexpr uchar EndOfImage = 0xD9;

// Appends the end-of-image marker to a file of the given length. False when writing
// failed; the file then has its old length again.
bool appendEndMarker(const QString &path, qint64 length)
{
    // A file its owner made read-only is shown as it is, even to a user who could write it.
    const QFileDevice::Permissions anyWrite =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (!(QFile::permissions(path) & anyWrite))
        return true;
    QFile file(path);
    // A file that cannot be opened for writing is shown without the repair.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly))
        return true;
    if (file.size() != length)
        return true; // changed since it was read: not ours to mend now
    const char endMarker[2] = {char(Mark), char(EndOfImage)};
    if (file.write(endMarker, 2) == 2 && file.flush())
        return true;
    file.resize(length);
    return false;
}
} // namespace

bool CheckJpegFile(const QString &path)
{
    // A normal file only: a folder, pipe or device under a picture's name is none.
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 length = file.size();
    if (length < 2)
        return false;
    char head[2];
    if (file.read(head, 2) != 2 || uchar(head[0]) != Mark || uchar(head[1]) != StartOfImage)
        return false;

    char tail[2];
    if (!file.seek(length - 2) || file.read(tail, 2) != 2)
        return false;
    if (uchar(tail[0]) == Mark && uchar(tail[1]) == EndOfImage)
        return true;

    if (!file.seek(2))
        return false;
    const JpegEnding ending = walkJpegMarkers(file);
    if (ending == JpegEnding::ReadError)
        return false;
    file.close();
    if (ending != JpegEnding::CutOff)
        return true;
    return appendEndMarker(path, length);
}
