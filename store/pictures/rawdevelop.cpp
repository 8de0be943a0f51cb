#include "pictures/rawdevelop.h"

#include "pictures/jpeg/jpegdecoder.h"

#include <QImageIOHandler>
#include <QImageReader>

#include <cmath>
#include <cstring>

#include <libraw/libraw.h>

namespace {

// A preview smaller than this on either side says too little for a signature.
constexpr int MinPreviewSide = 64;
// How far the preview's shape may stray from the sensor picture's: the rounding of a
// preview a few hundred pixels wide, never a letter-box or a crop.
constexpr double ShapeTolerance = 0.02;

bool withinAllocationLimit(qint64 bytes)
{
    const qint64 limit = qint64(QImageReader::allocationLimit()) * 1024 * 1024;
    return limit == 0 || bytes <= limit;
}

// LibRaw reports damaged data on stderr unless told otherwise; a damaged file is a
// failed read here, nothing to print.
void ignoreDataError(void *, const char *, const int) {}
void ignoreMemoryError(void *, const char *, const char *) {}

} // namespace

RawDevelopment::RawDevelopment() = default;
RawDevelopment::~RawDevelopment() = default;

bool RawDevelopment::open(QByteArray bytes)
{
    if (bytes.isEmpty() || bytes.size() > MaxFileBytes)
        return false;
    m_bytes = std::move(bytes);
    // Thread-safe LibRaw (libraw_r), as every reader has its own.
    m_raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    LibRaw &raw = *m_raw;
    raw.set_dataerror_handler(ignoreDataError, nullptr);
    raw.set_memerror_handler(ignoreMemoryError, nullptr);
    raw.imgdata.params.max_raw_memory_mb = MaxRawMemoryMb;
    // LibRaw only reads the buffer; through constData a mapped file is not copied.
    if (raw.open_buffer(const_cast<char *>(m_bytes.constData()), size_t(m_bytes.size())) != LIBRAW_SUCCESS)
        return false;
    const libraw_image_sizes_t &sizes = raw.imgdata.sizes;
    m_size = QSize(sizes.width, sizes.height);
    if (m_size.isEmpty() || sizes.width > MaxSide || sizes.height > MaxSide || sizes.raw_width == 0
        || sizes.raw_height == 0)
        return false;
    // The sensor data LibRaw unpacks, 16 bits a sample, within Qt's limit as every
    // decoded picture is.
    const int samples = raw.imgdata.idata.filters != 0 ? 1 : 4;
    if (!withinAllocationLimit(qint64(sizes.raw_width) * sizes.raw_height * 2 * samples))
        return false;
    m_shape = double(sizes.width) / (sizes.height * (sizes.pixel_aspect > 0 ? sizes.pixel_aspect : 1.0));
    m_flip = sizes.flip;
    return true;
}

QImage RawDevelopment::picture(QSize wanted)
{
    if (!m_raw)
        return {};
    QImage image = preview(wanted);
    if (image.isNull())
        image = halfSize();
    // One picture a file: LibRaw's buffers and the file's bytes go now.
    m_raw.reset();
    m_bytes = QByteArray();
    return image;
}

QImage RawDevelopment::preview(QSize wanted)
{
    const libraw_thumbnail_t &thumbnail = m_raw->imgdata.thumbnail;
    const QSize listed(thumbnail.twidth, thumbnail.theight);
    // Shown at its own size (the viewer), a preview smaller than the half-size picture
    // would show less than the sensor has.
    const QSize least = wanted.isValid() ? wanted : m_size / 2;
    // Checked on the size the header lists before anything is unpacked, and again on the
    // size the preview turns out to have, as the header may not tell the truth.
    const auto fits = [this, least](QSize candidate) {
        if (candidate.width() < MinPreviewSide || candidate.height() < MinPreviewSide || candidate.width() > MaxSide
            || candidate.height() > MaxSide)
            return false;
        if (candidate.width() < least.width() || candidate.height() < least.height())
            return false;
        const double own = double(candidate.width()) / candidate.height();
        return std::abs(own - m_shape) <= ShapeTolerance * m_shape;
    };
    if (!fits(listed) || thumbnail.tlength == 0 || qint64(thumbnail.tlength) > m_bytes.size())
        return {};
    if (m_raw->unpack_thumb() != LIBRAW_SUCCESS || !thumbnail.thumb)
        return {};
    if (thumbnail.tformat == LIBRAW_THUMBNAIL_JPEG) {
        // Through the program's one JPEG reader, at the smallest eighth that still covers
        // what is wanted. A preview is stored as the sensor is: its own EXIF turn, if any,
        // is not applied, the RAW's is.
        const QByteArray jpeg = QByteArray::fromRawData(thumbnail.thumb, qsizetype(thumbnail.tlength));
        JpegDecoder decoder(jpeg);
        if (!decoder.readHeader() || !fits(QSize(decoder.width(), decoder.height())))
            return {};
        const auto scaled = [&decoder](int eighths) {
            return QSize((decoder.width() * eighths + 7) / 8, (decoder.height() * eighths + 7) / 8);
        };
        JpegDecoder::Scaling scaling;
        scaling.readerLimits = true;
        while (wanted.isValid() && scaling.eighths > 1 && scaled(scaling.eighths - 1).width() >= wanted.width()
               && scaled(scaling.eighths - 1).height() >= wanted.height())
            --scaling.eighths;
        const QImage image = decoder.decode(scaling);
        // The eighth decoded is measured against what is wanted, not against the whole.
        const QSize decoded = wanted.isValid() ? wanted : QSize(decoder.width(), decoder.height());
        return image.width() >= decoded.width() && image.height() >= decoded.height() ? image : QImage();
    }
    // Else 8-bit RGB, as some cameras and DNG writers keep a small preview.
    QImage image;
    if (thumbnail.tformat != LIBRAW_THUMBNAIL_BITMAP || thumbnail.tcolors != 3
        || qint64(thumbnail.tlength) < qint64(listed.width()) * listed.height() * 3
        || !QImageIOHandler::allocateImage(listed, QImage::Format_RGB888, &image))
        return {};
    for (int y = 0; y < listed.height(); ++y)
        std::memcpy(image.scanLine(y), thumbnail.thumb + qsizetype(y) * listed.width() * 3, size_t(listed.width()) * 3);
    return image;
}

QImage RawDevelopment::halfSize()
{
    // LibRaw's 16-bit, 4-channel working picture against Qt's limit: half the size of a
    // mosaic, the whole of three channels already developed. The sensor data itself is
    // bounded by max_raw_memory_mb.
    const int step = m_raw->imgdata.idata.filters != 0 ? 2 : 1;
    if (!withinAllocationLimit(qint64(m_size.width() / step + 1) * (m_size.height() / step + 1) * 8))
        return {};
    libraw_output_params_t &params = m_raw->imgdata.params;
    params.half_size = 1;
    params.use_camera_wb = 1;
    params.user_flip = 0;
    params.output_bps = 8;
    params.output_color = 1;
    // sRGB's own curve, as a JPEG holds its colours, at the exposure the camera recorded:
    // a brightening that follows the picture's own highlights would tell a dim scene from
    // its JPEG by how dim it is.
    params.gamm[0] = 1 / 2.4;
    params.gamm[1] = 12.92;
    params.no_auto_bright = 1;
    params.adjust_maximum_thr = 0; // the white level the file gives, not the brightest pixel
    if (m_raw->unpack() != LIBRAW_SUCCESS || m_raw->dcraw_process() != LIBRAW_SUCCESS)
        return {};
    int width = 0;
    int height = 0;
    int colors = 0;
    int bits = 0;
    m_raw->get_mem_image_format(&width, &height, &colors, &bits);
    const QSize developed(width, height);
    if (developed.isEmpty() || width > MaxSide || height > MaxSide || colors != 3 || bits != 8)
        return {};
    QImage image;
    if (!QImageIOHandler::allocateImage(developed, QImage::Format_RGB888, &image))
        return {};
    if (m_raw->copy_mem_image(image.bits(), int(image.bytesPerLine()), 0) != LIBRAW_SUCCESS)
        return {};
    return image;
}

