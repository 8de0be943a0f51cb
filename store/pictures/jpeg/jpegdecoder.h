#pragma once
// JPEG data in memory read through libjpeg-turbo: the header, the picture at a scale, the
// quantised coefficients. Every reader of JPEG files in the program goes through here, so
// the library's set-up, its memory limits and its way out on an error (a jump that unwinds
// nothing) live in one place and no caller sees the library's types.

#include "sigboxcore_export.h"

#include <QByteArray>
#include <QImage>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Takes a picture's quantised coefficients a row of blocks at a time, in any order of
// components: `blocks` holds the row's blocks one after another, 64 values each in natural
// order; the padding blocks past the picture's edge may follow.
class JpegBlockRows
{
public:
    virtual ~JpegBlockRows() = default;
    virtual void addRow(int component, unsigned row, const qint16 *blocks) = 0;
};

class SIGBOXCORE_EXPORT JpegDecoder
{
public:
    // What the library turns the picture into when nothing else is asked for.
    enum class Output { Rgb, Grey, Other };

    // How a picture is decoded.
    struct Scaling {
        int eighths = 8; // of the stored size, 1 to 8
        // The image within Qt's readers' allocation limit, and the library's own memory within a
        // few times it, so that a header claiming a huge picture fails instead of being filled.
        bool readerLimits = false;
        // A progressive picture at 1/8 from its DC scans alone, unsmoothed: all that size
        // shows, exactly, without reading the rest of the file.
        bool dcOnlyAtEighth = false;
        // For a progressive picture decoded larger than 1/8: called with the picture of its
        // DC scans first; the decode goes on in the same memory when it returns true.
        std::function<bool(const QImage &)> coarse;
    };

    // Over `data`, which must outlive the decoder.
    explicit JpegDecoder(const QByteArray &data);
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder &) = delete;
    JpegDecoder &operator=(const JpegDecoder &) = delete;

    // Whether the data start with the JPEG start-of-image marker.
    static bool startsLikeJpeg(const QByteArray &data);

    // Reads the header; warnings of damaged data stay silent, so reading goes on. False when
    // the data do not start like a JPEG or the header cannot be read. Everything below asks
    // for a header read.
    bool readHeader();

    int width() const;  // as stored
    int height() const;
    int components() const;
    Output output() const;
    bool ycbcr() const; // the colour is stored as YCbCr
    bool arithmetic() const; // arithmetic-coded, not Huffman-coded
    // A component's quantisation steps (64, natural order): the table latched for its scan,
    // else the one its frame names; null when the file holds no such table.
    const quint16 *quantSteps(int component) const;
    // A component's blocks across and down, without padding.
    unsigned blocksAcross(int component) const;
    unsigned blocksDown(int component) const;

    // Decodes the picture once, each pixel as QImage::Format_RGB32 holds it; null when it fails.
    QImage decode(const Scaling &scaling);

    // Whether the picture has more than one scan; nothing when the library fails on it.
    std::optional<bool> hasMultipleScans();
    // Every coefficient, read by the library into its own buffer of at most `memoryBytes` (a
    // picture of many scans adds to every block with each), then handed to `rows`; false when
    // the library fails, nothing then handed.
    bool readCoefficients(JpegBlockRows &rows, long memoryBytes);
    // The coefficients of a picture of one scan, handed to `rows` as the library decodes them,
    // kept meanwhile in `workspace` (only the rows being decoded), which the caller may keep
    // for the next picture. What fails after the last row takes nothing from the rows, which
    // are all handed over then; false, with some handed, when the library fails before. Once
    // a Huffman-coded picture's data run out, the rows left (all zero) are not handed.
    bool streamCoefficients(JpegBlockRows &rows, std::vector<qint16> &workspace);

private:
    struct State;
    const QByteArray &m_data;
    std::unique_ptr<State> m_state;
};
