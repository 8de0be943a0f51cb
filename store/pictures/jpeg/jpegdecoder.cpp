#include "pictures/jpeg/jpegdecoder.h"

#include "pictures/jpeg/jpeglibrary.h"

#include <QImageIOHandler>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <jerror.h>
#include <jpegint.h>
}

static_assert(sizeof(JCOEF) == sizeof(qint16) && sizeof(JBLOCK) == 64 * sizeof(qint16));

struct JpegDecoder::State {
    jpeg_decompress_struct info{};
    JpegFailure failure{};
    bool created = false;
};

namespace {

const qint16 *blocksOf(const JBLOCKROW row)
{
    return reinterpret_cast<const qint16 *>(row);
}

// Every component's DC coefficients complete: what a 1/8 decode shows is all there.
bool dcComplete(const jpeg_decompress_struct &info)
{
    for (int c = 0; c < info.num_components; ++c) {
        if (info.coef_bits[c][0] != 0)
            return false;
    }
    return true;
}

// The picture of the scans read so far, into rows at `bits` of the decompressor's output size.
void readOutput(jpeg_decompress_struct &info, uchar *bits, qsizetype stride)
{
    jpeg_start_output(&info, info.input_scan_number);
    readJpegRows(info, bits, stride);
    jpeg_finish_output(&info);
}

// Reads scans until every component's DC coefficients are complete, or the file ends.
void consumeDcScans(jpeg_decompress_struct &info)
{
    for (;;) {
        const int got = jpeg_consume_input(&info);
        if (got == JPEG_SUSPENDED || got == JPEG_REACHED_EOI || (got == JPEG_SCAN_COMPLETED && dcComplete(info)))
            return;
    }
}

// Coefficients handed on as the decoder goes, for a picture of one sequential scan (most
// cameras' and editors' files): each component keeps only the rows of blocks being decoded,
// so no buffer of the whole picture is ever filled, faulted in and cleared. It stands in for
// the decompressor's virtual block arrays, which in that reading are written once, in order,
// a row of MCUs at a time; any other access is an error of the library's own.
class CoefficientStream
{
public:
    // The rows live in `coefficients`, sized here for every component's band.
    CoefficientStream(jpeg_decompress_struct &info, JpegBlockRows &sink, std::vector<qint16> &coefficients)
        : m_sink(sink)
    {
        size_t blocks = 0;
        for (int c = 0; c < info.num_components; ++c) {
            const jpeg_component_info &component = info.comp_info[c];
            const size_t sampling = size_t(std::max(1, component.h_samp_factor));
            blocks += (component.width_in_blocks + sampling - 1) / sampling * sampling
                      * size_t(std::max(0, component.v_samp_factor));
        }
        coefficients.resize(std::max(blocks * DCTSIZE2, coefficients.size()));
        m_free = reinterpret_cast<JBLOCKROW>(coefficients.data());
        m_freeBlocks = coefficients.size() / DCTSIZE2;
        info.client_data = this;
        info.mem->request_virt_barray = &CoefficientStream::request;
        info.mem->access_virt_barray = &CoefficientStream::access;
    }

    // Hands on the rows still held, once the decoder is done.
    void finish()
    {
        for (int c = 0; c < m_count; ++c)
            retire(m_bands[size_t(c)]);
    }

    // Whether the decoder ran out of data and the stream stopped there, every row handed on.
    bool ended() const { return m_ended; }

private:
    struct Band {
        std::array<JBLOCKROW, MAX_SAMP_FACTOR> rows{};
        JDIMENSION first = 0;  // the row of the component that rows[0] holds
        JDIMENSION height = 0; // rows held
        JDIMENSION width = 0;  // blocks a row
        int component = 0;
    };

    static CoefficientStream &of(j_common_ptr common) { return *static_cast<CoefficientStream *>(common->client_data); }

    [[noreturn]] static void fail(j_common_ptr common)
    {
        common->err->msg_code = JERR_BAD_VIRTUAL_ACCESS;
        common->err->error_exit(common);
        std::abort(); // error_exit leaves by a jump
    }

    // The decoder asks for one array a component, in the order of the components, each
    // holding a row of MCUs.
    static jvirt_barray_ptr request(j_common_ptr common, int, boolean, JDIMENSION width, JDIMENSION, JDIMENSION held)
    {
        CoefficientStream &stream = of(common);
        if (stream.m_count == MAX_COMPONENTS || held == 0 || held > MAX_SAMP_FACTOR
            || size_t(width) * held > stream.m_freeBlocks)
            fail(common);
        Band &band = stream.m_bands[size_t(stream.m_count)];
        band.component = stream.m_count++;
        band.width = width;
        band.height = held;
        for (JDIMENSION row = 0; row < held; ++row) {
            band.rows[row] = stream.m_free;
            stream.m_free += width;
            stream.m_freeBlocks -= width;
        }
        clear(band);
        return reinterpret_cast<jvirt_barray_ptr>(&band);
    }

    // The rows held, or the next rows in place of them (the held ones are handed on).
    static JBLOCKARRAY access(j_common_ptr common, jvirt_barray_ptr array, JDIMENSION first, JDIMENSION rows,
                              boolean writable)
    {
        Band &band = *reinterpret_cast<Band *>(array);
        if (rows > band.height)
            fail(common);
        if (first != band.first) {
            if (!writable || first != band.first + band.height)
                fail(common);
            CoefficientStream &stream = of(common);
            // A new row of MCUs starts with the first component's: the rows before are whole.
            if (band.component == 0 && outOfData(*reinterpret_cast<j_decompress_ptr>(common))) {
                stream.finish();
                stream.m_ended = true;
                common->err->error_exit(common);
            }
            stream.retire(band);
            clear(band);
            band.first = first;
        }
        return band.rows.data();
    }

    // Once the Huffman decoder has run out of data for good (the source is at its end, or at
    // a marker other than a restart, which the scan does not read past), it leaves every
    // later block as it finds it, zero: the rows still to come would hand on nothing, and a
    // few damaged bytes that claim a picture of gigapixels cost no more than they hold.
    static bool outOfData(const jpeg_decompress_struct &info)
    {
        const int marker = info.unread_marker;
        const bool restart = marker >= 0xD0 && marker <= 0xD7;
        return !info.arith_code && info.entropy && info.entropy->insufficient_data && marker >= 0xC0 && !restart;
    }

    static void clear(Band &band)
    {
        for (JDIMENSION row = 0; row < band.height; ++row)
            std::memset(band.rows[row], 0, band.width * sizeof(JBLOCK));
    }

    void retire(const Band &band)
    {
        for (JDIMENSION row = 0; row < band.height; ++row)
            m_sink.addRow(band.component, band.first + row, blocksOf(band.rows[row]));
    }

    JpegBlockRows &m_sink;
    bool m_ended = false;
    std::array<Band, MAX_COMPONENTS> m_bands{};
    int m_count = 0;
    JBLOCKROW m_free = nullptr;
    size_t m_freeBlocks = 0;
};

} // namespace

JpegDecoder::JpegDecoder(const QByteArray &data) : m_data(data), m_state(std::make_unique<State>()) {}

JpegDecoder::~JpegDecoder()
{
    if (m_state->created)
        jpeg_destroy_decompress(&m_state->info);
}

bool JpegDecoder::startsLikeJpeg(const QByteArray &data)
{
    return data.size() >= 2 && uchar(data[0]) == 0xFF && uchar(data[1]) == 0xD8;
}

bool JpegDecoder::readHeader()
{
    if (m_state->created || !startsLikeJpeg(m_data))
        return false;
    m_state->created = true;
    return readJpegHeader(m_state->info, m_state->failure, m_data);
}

int JpegDecoder::width() const
{
    return int(m_state->info.image_width);
}

int JpegDecoder::height() const
{
    return int(m_state->info.image_height);
}

int JpegDecoder::components() const
{
    return m_state->info.num_components;
}

JpegDecoder::Output JpegDecoder::output() const
{
    switch (m_state->info.out_color_space) {
    case JCS_RGB: return Output::Rgb;
    case JCS_GRAYSCALE: return Output::Grey;
    default: return Output::Other;
    }
}

bool JpegDecoder::arithmetic() const
{
    return m_state->info.arith_code;
}

bool JpegDecoder::ycbcr() const
{
    return m_state->info.jpeg_color_space == JCS_YCbCr;
}

const quint16 *JpegDecoder::quantSteps(int component) const
{
    const jpeg_decompress_struct &info = m_state->info;
    if (component < 0 || component >= info.num_components)
        return nullptr;
    const jpeg_component_info &named = info.comp_info[component];
    const JQUANT_TBL *table = named.quant_table;
    if (!table && named.quant_tbl_no >= 0 && named.quant_tbl_no < NUM_QUANT_TBLS)
        table = info.quant_tbl_ptrs[named.quant_tbl_no];
    return table ? table->quantval : nullptr;
}

unsigned JpegDecoder::blocksAcross(int component) const
{
    return m_state->info.comp_info[component].width_in_blocks;
}

unsigned JpegDecoder::blocksDown(int component) const
{
    return m_state->info.comp_info[component].height_in_blocks;
}

QImage JpegDecoder::decode(const Scaling &scaling)
{
    jpeg_decompress_struct &info = m_state->info;
    JpegFailure &failure = m_state->failure;
    requestRgb32(info, scaling.eighths);
    const bool progressive = info.progressive_mode;
    const bool dcOnly = scaling.dcOnlyAtEighth && scaling.eighths == 1 && progressive;
    const bool twice = !dcOnly && progressive && scaling.coarse;
    info.buffered_image = dcOnly || twice;
    if (dcOnly)
        info.do_block_smoothing = FALSE;
    const bool limited = scaling.readerLimits;
    if (const int limit = QImageReader::allocationLimit(); limited && limit > 0)
        info.mem->max_memory_to_use = long(limit) * 4 * 1024 * 1024;
    QImage image;
    if (jpegStep(failure, [&info] { jpeg_calc_output_dimensions(&info); })) {
        const QSize size(int(info.output_width), int(info.output_height));
        if (limited)
            QImageIOHandler::allocateImage(size, QImage::Format_RGB32, &image);
        else
            image = QImage(size, QImage::Format_RGB32);
    }
    uchar *const bits = image.isNull() ? nullptr : image.bits();
    const qsizetype stride = image.bytesPerLine();
    if (!bits)
        return {};
    if (dcOnly || twice) {
        if (!jpegStep(failure, [&info, bits, stride] {
                jpeg_start_decompress(&info);
                consumeDcScans(info);
                readOutput(info, bits, stride);
            }))
            return {};
        if (dcOnly)
            return image; // the rest of the file is not wanted
        if (!scaling.coarse(image))
            return {};
        const bool decoded = jpegStep(failure, [&info, bits, stride] {
            for (int got = 0; got != JPEG_REACHED_EOI && got != JPEG_SUSPENDED;)
                got = jpeg_consume_input(&info);
            readOutput(info, bits, stride);
            jpeg_finish_decompress(&info);
        });
        return decoded ? image : QImage();
    }
    const bool decoded = jpegStep(failure, [&info, bits, stride] {
        jpeg_start_decompress(&info);
        readJpegRows(info, bits, stride);
        jpeg_finish_decompress(&info);
    });
    return decoded ? image : QImage();
}

std::optional<bool> JpegDecoder::hasMultipleScans()
{
    jpeg_decompress_struct &info = m_state->info;
    bool scans = false;
    if (!jpegStep(m_state->failure, [&info, &scans] { scans = jpeg_has_multiple_scans(&info); }))
        return std::nullopt;
    return scans;
}

bool JpegDecoder::readCoefficients(JpegBlockRows &rows, long memoryBytes)
{
    jpeg_decompress_struct &info = m_state->info;
    JpegFailure &failure = m_state->failure;
    // A few damaged bytes may claim a picture of gigapixels: beyond the limit the library
    // fails (it has no files to swap to) instead of clearing memory for it.
    info.mem->max_memory_to_use = memoryBytes;
    jvirt_barray_ptr *arrays = nullptr;
    if (!jpegStep(failure, [&info, &arrays] { arrays = jpeg_read_coefficients(&info); }) || !arrays)
        return false;
    return jpegStep(failure, [&info, arrays, &rows] {
        for (int c = 0; c < info.num_components; ++c) {
            const jpeg_component_info &component = info.comp_info[c];
            for (JDIMENSION row = 0; row < component.height_in_blocks; ++row) {
                JBLOCKARRAY line
                    = info.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&info), arrays[c], row, 1, FALSE);
                rows.addRow(c, row, blocksOf(line[0]));
            }
        }
    });
}

bool JpegDecoder::streamCoefficients(JpegBlockRows &rows, std::vector<qint16> &workspace)
{
    jpeg_decompress_struct &info = m_state->info;
    CoefficientStream stream(info, rows, workspace);
    const bool read = jpegStep(m_state->failure, [&info] { jpeg_read_coefficients(&info); })
                      || info.input_iMCU_row >= info.total_iMCU_rows;
    if (stream.ended())
        return true;
    if (read)
        stream.finish();
    return read;
}
