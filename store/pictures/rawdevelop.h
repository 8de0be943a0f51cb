#pragma once
// A camera RAW file's bytes developed through LibRaw: its header, then one picture. Only the
// RAW helper program runs this; the program's own processes reach it through the RAW reader
// (rawimage.h), so that a file that upsets LibRaw takes down the helper alone.

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <memory>

class LibRaw;

class RawDevelopment
{
public:
    static constexpr qint64 MaxFileBytes = qint64(512) << 20;
    static constexpr int MaxSide = 1 << 15;
    static constexpr unsigned MaxRawMemoryMb = 1024;

    RawDevelopment();
    ~RawDevelopment();
    RawDevelopment(const RawDevelopment &) = delete;
    RawDevelopment &operator=(const RawDevelopment &) = delete;

    // LibRaw's view of the file; false when LibRaw cannot read it or it passes a limit.
    bool open(QByteArray bytes);

    QSize size() const { return m_size; } // the sensor picture as LibRaw develops it, before the turn
    double shape() const { return m_shape; }
    int flip() const { return m_flip; }    // LibRaw's turn numbering

    // The embedded preview when it shows the whole sensor picture at least as large as
    // `wanted` (at least the half-size picture when nothing is wanted), else the sensor data
    // developed at half size; as stored, not turned. Null when neither can be had.
    QImage picture(QSize wanted);

private:
    QImage preview(QSize wanted);
    QImage halfSize();

    QByteArray m_bytes; // LibRaw reads from it without a copy
    // LibRaw's processor is large, hence on the heap.
    std::unique_ptr<LibRaw> m_raw;
    QSize m_size;
    double m_shape = 1;
    int m_flip = 0;
};
