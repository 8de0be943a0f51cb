#include "pictures/heifimage.h"

#include <QIODevice>
#include <QImage>
#include <QImageReader>
#include <QVariant>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include <libheif/heif.h>

namespace {

struct ContextFree {
    void operator()(heif_context *context) const { heif_context_free(context); }
};
struct HandleRelease {
    void operator()(heif_image_handle *handle) const { heif_image_handle_release(handle); }
};
struct ImageRelease {
    void operator()(heif_image *image) const { heif_image_release(image); }
};
struct OptionsFree {
    void operator()(heif_decoding_options *options) const { heif_decoding_options_free(options); }
};
using Handle = std::unique_ptr<heif_image_handle, HandleRelease>;

// Far beyond any photo; a hostile header asking for more is refused before any decoding.
constexpr int MaxSide = 1 << 15;
// Up to this size a scaled read averages the decoded planes instead of shrinking RGB.
constexpr int MaxShrunkSide = 512;

QSize sizeOf(const heif_image_handle *handle)
{
    return QSize(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
}

bool decodable(QSize size)
{
    if (size.isEmpty() || size.width() > MaxSide || size.height() > MaxSide)
        return false;
    // The same limit as Qt's own readers (the viewer raises it for panoramas).
    const qint64 limit = qint64(QImageReader::allocationLimit()) * 1024 * 1024;
    return limit == 0 || qint64(size.width()) * size.height() * 4 <= limit;
}

QImage decode(const heif_image_handle *handle)
{
    if (!decodable(sizeOf(handle)))
        return {};
    const bool alpha = heif_image_handle_has_alpha_channel(handle);
    const std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
    options->convert_hdr_to_8bit = 1; // 10-bit phone pictures come out as 8 bits a channel
    heif_image *decoded = nullptr;
    const heif_error error = heif_decode_image(handle, &decoded, heif_colorspace_RGB,
                                               alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                                               options.get());
    const std::unique_ptr<heif_image, ImageRelease> image(decoded);
    if (error.code != heif_error_Ok || !image)
        return {};
    const int channels = alpha ? 4 : 3;
    int stride = 0;
    const uint8_t *pixels = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const QSize size(heif_image_get_width(image.get(), heif_channel_interleaved),
                     heif_image_get_height(image.get(), heif_channel_interleaved));
    if (!pixels || !decodable(size) || heif_image_get_bits_per_pixel(image.get(), heif_channel_interleaved) != 8 * channels
        || stride < size.width() * channels)
        return {};
    QImage result;
    if (!QImageIOHandler::allocateImage(size, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888, &result))
        return {};
    for (int y = 0; y < size.height(); ++y)
        std::memcpy(result.scanLine(y), pixels + qsizetype(y) * stride, size_t(size.width()) * channels);
    return result;
}

// A picture shrunk straight from its decoded Y, Cb and Cr planes: each plane averaged over
// the part of it each pixel of `target` covers, and only those averages turned into RGB.
// The turn is affine, so this differs from shrinking the RGB picture only by rounding and
// clipping, without the RGB picture, its conversion and its copies. Null where the planes
// are not 8-bit Y, Cb and Cr of a known matrix: the caller decodes RGB then.
QImage decodeShrunk(const heif_image_handle *handle, QSize target)
{
    if (!decodable(sizeOf(handle)) || target.isEmpty() || heif_image_handle_has_alpha_channel(handle))
        return {};
    const std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
    options->convert_hdr_to_8bit = 1;
    heif_image *decoded = nullptr;
    const heif_error error = heif_decode_image(handle, &decoded, heif_colorspace_YCbCr, heif_chroma_undefined,
                                               options.get());
    const std::unique_ptr<heif_image, ImageRelease> image(decoded);
    if (error.code != heif_error_Ok || !image || heif_image_get_colorspace(image.get()) != heif_colorspace_YCbCr)
        return {};
    // The matrix and range the file states, else libheif's own default (BT.601, full range).
    double kr = 0.299;
    double kb = 0.114;
    bool full = true;
    heif_color_profile_nclx *nclx = nullptr;
    if (heif_image_get_nclx_color_profile(image.get(), &nclx).code == heif_error_Ok && nclx) {
        full = nclx->full_range_flag != 0;
        switch (nclx->matrix_coefficients) {
        case heif_matrix_coefficients_ITU_R_BT_709_5: kr = 0.2126; kb = 0.0722; break;
        case heif_matrix_coefficients_ITU_R_BT_2020_2_non_constant_luminance: kr = 0.2627; kb = 0.0593; break;
        case heif_matrix_coefficients_unspecified:
        case heif_matrix_coefficients_ITU_R_BT_470_6_System_B_G:
        case heif_matrix_coefficients_ITU_R_BT_601_6: break;
        default: heif_nclx_color_profile_free(nclx); return {};
        }
        heif_nclx_color_profile_free(nclx);
    }
    const heif_channel channels[3] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
    // The sums of one row of target pixels, kept per thread from picture to picture.
    thread_local std::vector<double> sums;
    std::array<std::vector<double>, 3> planes; // each plane's averages at the target size
    const int tw = target.width();
    const int th = target.height();
    for (int c = 0; c < 3; ++c) {
        int stride = 0;
        const uint8_t *plane = heif_image_get_plane_readonly(image.get(), channels[c], &stride);
        const int w = heif_image_get_width(image.get(), channels[c]);
        const int h = heif_image_get_height(image.get(), channels[c]);
        if (!plane || w < 1 || h < 1 || heif_image_get_bits_per_pixel_range(image.get(), channels[c]) != 8)
            return {};
        planes[size_t(c)].assign(size_t(tw) * size_t(th), 0.0);
        // Area weights: target pixel i covers source [i w / tw, (i + 1) w / tw).
        const double sx = double(w) / tw;
        const double sy = double(h) / th;
        sums.assign(size_t(tw), 0.0);
        for (int ty = 0; ty < th; ++ty) {
            std::fill(sums.begin(), sums.end(), 0.0);
            const double y0 = ty * sy;
            const double y1 = (ty + 1) * sy;
            for (int y = int(y0); y < std::min(h, int(std::ceil(y1))); ++y) {
                const double wy = std::min(y1, y + 1.0) - std::max(y0, double(y));
                const uint8_t *row = plane + qsizetype(y) * stride;
                for (int tx = 0; tx < tw; ++tx) {
                    const double x0 = tx * sx;
                    const double x1 = (tx + 1) * sx;
                    double line = 0;
                    for (int x = int(x0); x < std::min(w, int(std::ceil(x1))); ++x)
                        line += row[x] * (std::min(x1, x + 1.0) - std::max(x0, double(x)));
                    sums[size_t(tx)] += line * wy;
                }
            }
            for (int tx = 0; tx < tw; ++tx)
                planes[size_t(c)][size_t(ty) * size_t(tw) + size_t(tx)] = sums[size_t(tx)] / (sx * sy);
        }
    }
    QImage result(target, QImage::Format_RGB32);
    const double kg = 1 - kr - kb;
    const auto clip = [](double v) { return std::clamp(int(std::lround(v)), 0, 255); };
    for (int ty = 0; ty < th; ++ty) {
        auto *line = reinterpret_cast<QRgb *>(result.scanLine(ty));
        for (int tx = 0; tx < tw; ++tx) {
            const size_t i = size_t(ty) * size_t(tw) + size_t(tx);
            double y = planes[0][i];
            double cb = planes[1][i] - 128;
            double cr = planes[2][i] - 128;
            if (!full) {
                y = (y - 16) * 255 / 219;
                cb = cb * 255 / 224;
                cr = cr * 255 / 224;
            }
            line[tx] = qRgb(clip(y + 2 * (1 - kr) * cr), clip(y - (2 * kb * (1 - kb) * cb + 2 * kr * (1 - kr) * cr) / kg),
                            clip(y + 2 * (1 - kb) * cb));
        }
    }
    return result;
}

// The smallest of the file's thumbnails that still covers `wanted`, or null. One of
// another shape is passed over: it was cut or turned otherwise than the picture.
Handle thumbnailCovering(const heif_image_handle *primary, QSize wanted)
{
    const int count = heif_image_handle_get_number_of_thumbnails(primary);
    if (count <= 0 || wanted.isEmpty())
        return {};
    std::vector<heif_item_id> ids(size_t(count), 0);
    const int listed = heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    const QSize whole = sizeOf(primary);
    const double shape = double(whole.width()) / whole.height();
    Handle best;
    for (int i = 0; i < listed; ++i) {
        heif_image_handle *found = nullptr;
        if (heif_image_handle_get_thumbnail(primary, ids[size_t(i)], &found).code != heif_error_Ok || !found)
            continue;
        Handle thumbnail(found);
        const QSize size = sizeOf(thumbnail.get());
        if (size.width() < wanted.width() || size.height() < wanted.height() || size.width() >= whole.width()
            || std::abs(double(size.width()) / size.height() - shape) > 0.02 * shape)
            continue;
        if (!best || size.width() < sizeOf(best.get()).width())
            best = std::move(thumbnail);
    }
    return best;
}

} // namespace

void initHeifLibrary()
{
    struct Library {
        Library() { heif_init(nullptr); }
        ~Library() { heif_deinit(); }
    };
    static const Library library;
}

struct HeifImageHandler::File {
    QByteArray bytes; // libheif reads from it without a copy
    std::unique_ptr<heif_context, ContextFree> context;
    Handle primary;
};

HeifImageHandler::HeifImageHandler() = default;
HeifImageHandler::~HeifImageHandler() = default;

bool HeifImageHandler::canRead(QIODevice *device)
{
    if (!device)
        return false;
    const QByteArray head = device->peek(32);
    return heif_check_filetype(reinterpret_cast<const uint8_t *>(head.constData()), int(head.size()))
        == heif_filetype_yes_supported;
}

bool HeifImageHandler::canRead() const
{
    if (m_file)
        return true;
    if (m_failed || !canRead(device()))
        return false;
    const QByteArray head = device()->peek(32);
    setFormat(QByteArray(heif_get_file_mime_type(reinterpret_cast<const uint8_t *>(head.constData()), int(head.size())))
                      == "image/avif"
                  ? "avif"
                  : "heic");
    return true;
}

bool HeifImageHandler::open() const
{
    if (m_file)
        return true;
    if (m_failed || !canRead(device()))
        return false;
    m_failed = true;
    initHeifLibrary();
    auto file = std::make_unique<File>();
    file->bytes = device()->readAll();
    file->context.reset(heif_context_alloc());
    if (!file->context)
        return false;
    heif_context_set_maximum_image_size_limit(file->context.get(), MaxSide);
    if (heif_context_read_from_memory_without_copy(file->context.get(), file->bytes.constData(), size_t(file->bytes.size()),
                                                   nullptr)
            .code
        != heif_error_Ok)
        return false;
    heif_image_handle *primary = nullptr;
    if (heif_context_get_primary_image_handle(file->context.get(), &primary).code != heif_error_Ok || !primary)
        return false;
    file->primary.reset(primary);
    if (sizeOf(primary).isEmpty())
        return false;
    m_file = std::move(file);
    m_failed = false;
    return true;
}

bool HeifImageHandler::read(QImage *image)
{
    if (!image || !open())
        return false;
    QImage picture;
    if (m_scaledSize.isValid()) {
        if (const Handle thumbnail = thumbnailCovering(m_file->primary.get(), m_scaledSize))
            picture = decode(thumbnail.get());
    }
    // Shrunk to a signature's or a thumbnail's size, the planes are enough. Pictures are
    // read one per core then, so libheif's own threads would only contend with the others.
    // Only shrinking, and by at least half, so that even subsampled colour planes are
    // averaged, never stretched.
    const QSize whole = sizeOf(m_file->primary.get());
    if (picture.isNull() && m_scaledSize.isValid() && m_scaledSize.width() <= MaxShrunkSide
        && m_scaledSize.height() <= MaxShrunkSide && whole.width() >= 2 * m_scaledSize.width()
        && whole.height() >= 2 * m_scaledSize.height()) {
        heif_context_set_max_decoding_threads(m_file->context.get(), 1);
        picture = decodeShrunk(m_file->primary.get(), m_scaledSize);
    }
    if (picture.isNull())
        picture = decode(m_file->primary.get());
    if (picture.isNull())
        return false;
    if (m_scaledSize.isValid() && !m_scaledSize.isEmpty() && picture.size() != m_scaledSize)
        picture = picture.scaled(m_scaledSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    *image = picture;
    return true;
}

QVariant HeifImageHandler::option(ImageOption option) const
{
    switch (option) {
    case Size:
        return open() ? QVariant(sizeOf(m_file->primary.get())) : QVariant();
    case ScaledSize:
        return m_scaledSize;
    case ImageFormat:
        if (!open())
            return QVariant();
        return heif_image_handle_has_alpha_channel(m_file->primary.get()) ? QImage::Format_RGBA8888
                                                                           : QImage::Format_RGB888;
    default:
        return QVariant();
    }
}

void HeifImageHandler::setOption(ImageOption option, const QVariant &value)
{
    if (option == ScaledSize)
        m_scaledSize = value.toSize();
}

bool HeifImageHandler::supportsOption(ImageOption option) const
{
    return option == Size || option == ScaledSize || option == ImageFormat;
}

QImageIOPlugin::Capabilities HeifImagePlugin::capabilities(QIODevice *device, const QByteArray &format) const
{
    if (format == "heic" || format == "heif" || format == "avif")
        return CanRead;
    if (!format.isEmpty() || !device || !device->isOpen() || !device->isReadable())
        return {};
    return HeifImageHandler::canRead(device) ? CanRead : Capabilities();
}

QImageIOHandler *HeifImagePlugin::create(QIODevice *device, const QByteArray &format) const
{
    auto *handler = new HeifImageHandler;
    handler->setDevice(device);
    handler->setFormat(format);
    return handler;
}
