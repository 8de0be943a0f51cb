// A marker segment is passed by its length; entropy-coded data and stray bytes between
// segments are passed up to the next marker, as decoders do. Read forward in large pieces,
// so that a file of many megabytes costs a few reads.

#include "pictures/jpeg/jpegmarkers.h"

#include <QByteArray>
#include <QIODevice>

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

} // namespace

JpegEnding walkJpegMarkers(QIODevice &jpeg)
{
    ByteStream stream(jpeg);
    const JpegEnding ending = walkMarkers(stream);
    return stream.failed() ? JpegEnding::ReadError : ending;
}
