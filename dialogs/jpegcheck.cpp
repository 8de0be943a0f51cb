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

#include <cstring>

namespace {
constexpr uchar Mark = 0xFF;
constexpr uchar StartOfImage = 0xD8;
constexpr uchar EndOfImage = 0xD9;

// The data read forward in large pieces.
class ByteStream
{
public:
    explicit ByteStream(QIODevice &device) : m_device(device) {}

    // The next byte; false at the end of the data.
    bool next(uchar &byte)
    {
        if (m_pos == m_buffer.size() && !fill())
            return false;
        byte = uchar(m_buffer.at(m_pos++));
        return true;
    }

    // Passes over n bytes; false when the data ends first.
    bool skip(qint64 n)
    {
        while (n > 0) {
            if (m_pos == m_buffer.size() && !fill())
                return false;
            const qint64 step = qMin<qint64>(n, m_buffer.size() - m_pos);
            m_pos += step;
            n -= step;
        }
        return true;
    }

    // Moves just past the next 0xFF byte; false when the data ends first.
    bool passNextMark()
    {
        for (;;) {
            if (m_pos == m_buffer.size() && !fill())
                return false;
            const char *from = m_buffer.constData() + m_pos;
            const void *hit = std::memchr(from, Mark, size_t(m_buffer.size() - m_pos));
            if (hit) {
                m_pos += static_cast<const char *>(hit) - from + 1;
                return true;
            }
            m_pos = m_buffer.size();
        }
    }

    // A read failed: the end seen was not the data's end.
    bool failed() const { return m_failed; }

private:
    bool fill()
    {
        // Pieces of up to 256 KiB, no larger than what is left.
        m_buffer.resize(qBound(qint64(1), m_device.bytesAvailable(), qint64(256 * 1024)));
        const qint64 got = m_device.read(m_buffer.data(), m_buffer.size());
        m_buffer.resize(qMax<qint64>(got, 0));
        m_pos = 0;
        if (got < 0)
            m_failed = true;
        return got > 0;
    }

    QIODevice &m_device;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_failed = false;
};

// A marker segment is passed by its length. Entropy-coded data after a start of scan runs
// to the next 0xFF that is followed by neither 0x00 nor a restart marker; stray bytes
// between segments are passed the same way, as decoders do.
JpegEnding walkMarkers(ByteStream &in)
{
    for (;;) {
        uchar marker = Mark;
        if (!in.passNextMark())
            return JpegEnding::CutOff;
        while (marker == Mark) { // fill bytes
            if (!in.next(marker))
                return JpegEnding::CutOff;
        }
        if (marker == EndOfImage)
            return JpegEnding::Complete;
        const bool standalone = marker == 0x00 || (marker >= 0xD0 && marker <= 0xD7)
            || marker == 0x01 || marker == StartOfImage;
        if (standalone)
            continue;
        uchar high = 0;
        uchar low = 0;
        if (!in.next(high) || !in.next(low))
            return JpegEnding::CutOff;
        const int length = high << 8 | low;
        if (length < 2)
            return JpegEnding::Unclear; // not a JPEG structure; the decoder will tell
        if (!in.skip(length - 2))
            return JpegEnding::CutOff;
    }
}

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

JpegEnding walkJpegMarkers(QIODevice &jpeg)
{
    ByteStream stream(jpeg);
    const JpegEnding ending = walkMarkers(stream);
    return stream.failed() ? JpegEnding::ReadError : ending;
}

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
