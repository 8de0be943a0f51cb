#include "pictures/rawimage.h"

#include "pictures/jpeg/jpegdecoder.h"

#include <QIODevice>
#include <QImage>
#include <QImageReader>
#include <QVariant>

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

// LibRaw's turn numbering (its "flip") as the EXIF orientation, then as Qt's.
QImageIOHandler::Transformations transformationOf(int flip)
{
    switch (flip) {
    case 1: return QImageIOHandler::TransformationMirror;
    case 2: return QImageIOHandler::TransformationFlip;
    case 3: return QImageIOHandler::TransformationRotate180;
    case 4: return QImageIOHandler::TransformationFlipAndRotate90;
    case 5: return QImageIOHandler::TransformationRotate270;
    case 6: return QImageIOHandler::TransformationRotate90;
    case 7: return QImageIOHandler::TransformationMirrorAndRotate90;
    default: return QImageIOHandler::TransformationNone;
    }
}

// LibRaw reports damaged data on stderr unless told otherwise; a damaged file is a
// failed read here, nothing to print.
void ignoreDataError(void *, const char *, const int) {}
void ignoreMemoryError(void *, const char *, const char *) {}

} // namespace

bool isRawFormat(const QByteArray &format)
{
    for (const char *extension : RawExtensions) {
        if (format.compare(extension, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

struct RawImageHandler::File {
    QByteArray bytes; // LibRaw reads from it without a copy
    // Thread-safe LibRaw (libraw_r): one processor per file, so readers on other threads
    // share nothing. It is large, hence on the heap.
    std::unique_ptr<LibRaw> raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    // Kept from the header: the reader asks for the turn after the picture is read and
    // LibRaw's buffers are gone.
    QSize size;   // the sensor picture as LibRaw develops it, before the turn
    double shape = 1;
    QImageIOHandler::Transformations turn;

    // The embedded preview when it shows the whole sensor picture at least as large as
    // `wanted`, at least the half-size picture when nothing is wanted, else null; decoded
    // at the smallest eighth that covers `wanted`, whole when nothing is.
    QImage preview(QSize wanted);
    // The sensor data developed at half size, as stored (not turned).
    QImage halfSize();
};

QImage RawImageHandler::File::preview(QSize wanted)
{
    const libraw_thumbnail_t &thumbnail = raw->imgdata.thumbnail;
    const QSize listed(thumbnail.twidth, thumbnail.theight);
    // Shown at its own size (the viewer), a preview smaller than the half-size picture
    // would show less than the sensor has.
    const QSize least = wanted.isValid() ? wanted : size / 2;
    // Checked on the size the header lists before anything is unpacked, and again on the
    // size the preview turns out to have, as the header may not tell the truth.
    const auto fits = [this, least](QSize candidate) {
        if (candidate.width() < MinPreviewSide || candidate.height() < MinPreviewSide || candidate.width() > MaxSide
            || candidate.height() > MaxSide)
            return false;
        if (candidate.width() < least.width() || candidate.height() < least.height())
            return false;
        const double own = double(candidate.width()) / candidate.height();
        return std::abs(own - shape) <= ShapeTolerance * shape;
    };
    if (!fits(listed) || thumbnail.tlength == 0 || qint64(thumbnail.tlength) > bytes.size())
        return {};
    if (raw->unpack_thumb() != LIBRAW_SUCCESS || !thumbnail.thumb)
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

QImage RawImageHandler::File::halfSize()
{
    // LibRaw's 16-bit, 4-channel working picture against Qt's limit: half the size of a
    // mosaic, the whole of three channels already developed. The sensor data itself is
    // bounded by max_raw_memory_mb.
    const int step = raw->imgdata.idata.filters != 0 ? 2 : 1;
    if (!withinAllocationLimit(qint64(size.width() / step + 1) * (size.height() / step + 1) * 8))
        return {};
    libraw_output_params_t &params = raw->imgdata.params;
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
    if (raw->unpack() != LIBRAW_SUCCESS || raw->dcraw_process() != LIBRAW_SUCCESS)
        return {};
    int width = 0;
    int height = 0;
    int colors = 0;
    int bits = 0;
    raw->get_mem_image_format(&width, &height, &colors, &bits);
    const QSize developed(width, height);
    if (developed.isEmpty() || width > MaxSide || height > MaxSide || colors != 3 || bits != 8)
        return {};
    QImage image;
    if (!QImageIOHandler::allocateImage(developed, QImage::Format_RGB888, &image))
        return {};
    if (raw->copy_mem_image(image.bits(), int(image.bytesPerLine()), 0) != LIBRAW_SUCCESS)
        return {};
    return image;
}

RawImageHandler::RawImageHandler() = default;
RawImageHandler::~RawImageHandler() = default;

bool RawImageHandler::canRead(QIODevice *device)
{
    if (!device)
        return false;
    const QByteArray head = device->peek(16);
    return head.startsWith("FUJIFILMCCD-RAW") || head.startsWith("IIRO") || head.startsWith("IIRS")
        || head.startsWith("MMOR") || head.startsWith(QByteArray("IIU\0", 4)) || head.mid(4, 8) == "ftypcrx ";
}

bool RawImageHandler::canRead() const
{
    if (!open())
        return false;
    if (format().isEmpty())
        setFormat("raw");
    return true;
}

bool RawImageHandler::open() const
{
    if (m_file)
        return true;
    if (m_failed || !device())
        return false;
    m_failed = true;
    const qint64 length = device()->size();
    if (length <= 0 || length > MaxFileBytes)
        return false;
    auto file = std::make_unique<File>();
    file->bytes = device()->readAll();
    if (file->bytes.isEmpty() || file->bytes.size() > MaxFileBytes)
        return false;
    LibRaw &raw = *file->raw;
    raw.set_dataerror_handler(ignoreDataError, nullptr);
    raw.set_memerror_handler(ignoreMemoryError, nullptr);
    raw.imgdata.params.max_raw_memory_mb = MaxRawMemoryMb;
    if (raw.open_buffer(file->bytes.data(), size_t(file->bytes.size())) != LIBRAW_SUCCESS)
        return false;
    const libraw_image_sizes_t &sizes = raw.imgdata.sizes;
    file->size = QSize(sizes.width, sizes.height);
    if (file->size.isEmpty() || sizes.width > MaxSide || sizes.height > MaxSide || sizes.raw_width == 0
        || sizes.raw_height == 0)
        return false;
    // The sensor data LibRaw unpacks, 16 bits a sample, within Qt's limit as every
    // decoded picture is.
    const int samples = raw.imgdata.idata.filters != 0 ? 1 : 4;
    if (!withinAllocationLimit(qint64(sizes.raw_width) * sizes.raw_height * 2 * samples))
        return false;
    file->shape = double(sizes.width) / (sizes.height * (sizes.pixel_aspect > 0 ? sizes.pixel_aspect : 1.0));
    file->turn = transformationOf(sizes.flip);
    m_file = std::move(file);
    m_failed = false;
    return true;
}

bool RawImageHandler::read(QImage *image)
{
    if (!image || !open() || !m_file->raw)
        return false;
    const QSize wanted = m_scaledSize.isValid() && !m_scaledSize.isEmpty() ? m_scaledSize : QSize();
    QImage picture = m_file->preview(wanted);
    if (picture.isNull())
        picture = m_file->halfSize();
    // One picture a handler: LibRaw's buffers and the file's bytes go now, not when the
    // reader does.
    m_file->raw.reset();
    m_file->bytes = QByteArray();
    if (picture.isNull())
        return false;
    if (wanted.isValid() && picture.size() != wanted)
        picture = picture.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    *image = picture;
    return true;
}

QVariant RawImageHandler::option(ImageOption option) const
{
    switch (option) {
    case Size:
        return open() ? QVariant(m_file->size) : QVariant();
    case ScaledSize:
        return m_scaledSize;
    case ImageFormat:
        return open() ? QVariant(QImage::Format_RGB888) : QVariant();
    case ImageTransformation:
        return open() ? QVariant(int(m_file->turn)) : QVariant();
    default:
        return QVariant();
    }
}

void RawImageHandler::setOption(ImageOption option, const QVariant &value)
{
    if (option == ScaledSize)
        m_scaledSize = value.toSize();
}

bool RawImageHandler::supportsOption(ImageOption option) const
{
    return option == Size || option == ScaledSize || option == ImageFormat || option == ImageTransformation;
}

QImageIOPlugin::Capabilities RawImagePlugin::capabilities(QIODevice *device, const QByteArray &format) const
{
    if (isRawFormat(format) || format == "raw")
        return CanRead;
    if (!format.isEmpty() || !device || !device->isOpen() || !device->isReadable())
        return {};
    return RawImageHandler::canRead(device) ? CanRead : Capabilities();
}

QImageIOHandler *RawImagePlugin::create(QIODevice *device, const QByteArray &format) const
{
    auto *handler = new RawImageHandler;
    handler->setDevice(device);
    handler->setFormat(format);
    return handler;
}
