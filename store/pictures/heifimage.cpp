#include "pictures/heifimage.h"
#include "pictures/heifitems.h"

#include <QIODevice>
#include <QImage>
#include <QImageReader>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <optional>
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

// The weights of luma in R, G and B by the file's colour description (its nclx matrix):
// BT.601 where it says none, as libheif's own conversion assumes. Null for matrices other
// than the three of photos and phones (identity, YCgCo, derived ones): those go through
// libheif's conversion.
struct LumaWeights {
    double red;
    double blue;
};
std::optional<LumaWeights> lumaWeights(int matrix)
{
    switch (matrix) {
    case heif_matrix_coefficients_ITU_R_BT_709_5:
        return LumaWeights{0.2126, 0.0722};
    case heif_matrix_coefficients_unspecified:
    case heif_matrix_coefficients_ITU_R_BT_470_6_System_B_G:
    case heif_matrix_coefficients_ITU_R_BT_601_6:
        return LumaWeights{0.299, 0.114};
    case heif_matrix_coefficients_ITU_R_BT_2020_2_non_constant_luminance:
        return LumaWeights{0.2627, 0.0593};
    default:
        return std::nullopt;
    }
}

// The mean of each of `out` x `rows` areas of an 8-bit plane, the plane's columns and rows
// shared out as evenly as whole pixels allow (each area a run of whole columns and rows).
std::vector<double> areaMeans(const uint8_t *plane, int stride, int width, int height, int out, int rows)
{
    std::vector<int> columnStart(size_t(out) + 1), rowStart(size_t(rows) + 1);
    for (int x = 0; x <= out; ++x)
        columnStart[size_t(x)] = int(qint64(x) * width / out);
    for (int y = 0; y <= rows; ++y)
        rowStart[size_t(y)] = int(qint64(y) * height / rows);
    std::vector<double> means(size_t(out) * rows);
    std::vector<uint32_t> sums(static_cast<size_t>(out));
    for (int y = 0; y < rows; ++y) {
        std::fill(sums.begin(), sums.end(), 0);
        for (int row = rowStart[size_t(y)]; row < rowStart[size_t(y) + 1]; ++row) {
            const uint8_t *line = plane + qsizetype(row) * stride;
            for (int x = 0; x < out; ++x) {
                uint32_t sum = 0;
                for (int c = columnStart[size_t(x)]; c < columnStart[size_t(x) + 1]; ++c)
                    sum += line[c];
                sums[size_t(x)] += sum;
            }
        }
        const int tall = rowStart[size_t(y) + 1] - rowStart[size_t(y)];
        for (int x = 0; x < out; ++x) {
            const qint64 area = qint64(columnStart[size_t(x) + 1] - columnStart[size_t(x)]) * tall;
            means[size_t(y) * out + size_t(x)] = area > 0 ? double(sums[size_t(x)]) / double(area) : 0.0;
        }
    }
    return means;
}

// The picture shrunk to `wanted` (stretched to it) straight from its decoded Y, Cb and Cr
// planes: the areas' means of each plane, then converted to RGB. The conversion is affine,
// so this is the shrink of the RGB picture but for rounding and clipping, without libheif's
// conversion and interleave of every pixel or the full-size RGB buffers. Null where the
// planes are not of that kind (alpha, more than 8 bits, an unusual matrix, or the areas too
// small to average): the caller then decodes the RGB picture.
QImage decodeShrunk(const heif_image_handle *handle, QSize wanted)
{
    const QSize whole = sizeOf(handle);
    if (wanted.isEmpty() || !decodable(whole) || heif_image_handle_has_alpha_channel(handle)
        || heif_image_handle_get_luma_bits_per_pixel(handle) != 8
        || heif_image_handle_get_chroma_bits_per_pixel(handle) != 8 || wanted.width() * 4 > whole.width()
        || wanted.height() * 4 > whole.height())
        return {};
    bool fullRange = true;
    LumaWeights weights{0.299, 0.114};
    // The colour description the file's item gives, or failing that the one the decoder
    // found in the stream; either way the one libheif's own conversion would apply.
    const auto described = [&](heif_color_profile_nclx *nclx) {
        fullRange = nclx->full_range_flag != 0;
        const std::optional<LumaWeights> found = lumaWeights(nclx->matrix_coefficients);
        heif_nclx_color_profile_free(nclx);
        if (found)
            weights = *found;
        return found.has_value();
    };
    heif_color_profile_nclx *nclx = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code == heif_error_Ok && nclx && !described(nclx))
        return {};
    // 4:2:0, as phones and cameras store them: asked for as it is stored, nothing is
    // converted (another subsampling is converted to it, which averaging does not mind).
    const std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
    heif_image *decoded = nullptr;
    const heif_error error = heif_decode_image(handle, &decoded, heif_colorspace_YCbCr, heif_chroma_420, options.get());
    const std::unique_ptr<heif_image, ImageRelease> image(decoded);
    if (error.code != heif_error_Ok || !image || heif_image_get_colorspace(image.get()) != heif_colorspace_YCbCr)
        return {};
    nclx = nullptr;
    if (heif_image_get_nclx_color_profile(image.get(), &nclx).code == heif_error_Ok && nclx && !described(nclx))
        return {};
    const auto planeMeans = [&](heif_channel channel, std::vector<double> &means) {
        if (heif_image_get_bits_per_pixel_range(image.get(), channel) != 8)
            return false;
        int stride = 0;
        const uint8_t *plane = heif_image_get_plane_readonly(image.get(), channel, &stride);
        const int width = heif_image_get_width(image.get(), channel);
        const int height = heif_image_get_height(image.get(), channel);
        if (!plane || width < wanted.width() || height < wanted.height() || stride < width)
            return false;
        means = areaMeans(plane, stride, width, height, wanted.width(), wanted.height());
        return true;
    };
    std::vector<double> luma, blue, red;
    if (!planeMeans(heif_channel_Y, luma))
        return {};
    if (!planeMeans(heif_channel_Cb, blue) || !planeMeans(heif_channel_Cr, red))
        return {};
    QImage result;
    if (!QImageIOHandler::allocateImage(wanted, QImage::Format_RGB32, &result))
        return {};
    // Narrow range: luma 16 to 235, chroma 16 to 240 around 128.
    const double lumaScale = fullRange ? 1.0 : 255.0 / 219.0;
    const double lumaFloor = fullRange ? 0.0 : 16.0;
    const double chromaScale = fullRange ? 1.0 : 255.0 / 224.0;
    const double kr = weights.red, kb = weights.blue, kg = 1.0 - kr - kb;
    const auto channel = [](double value) { return int(std::lround(std::clamp(value, 0.0, 255.0))); };
    for (int y = 0; y < wanted.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(result.scanLine(y));
        for (int x = 0; x < wanted.width(); ++x) {
            const size_t at = size_t(y) * wanted.width() + size_t(x);
            const double l = (luma[at] - lumaFloor) * lumaScale;
            const double cb = (blue[at] - 128.0) * chromaScale;
            const double cr = (red[at] - 128.0) * chromaScale;
            const double r = l + 2.0 * (1.0 - kr) * cr;
            const double b = l + 2.0 * (1.0 - kb) * cb;
            const double g = l - (2.0 * kr * (1.0 - kr) * cr + 2.0 * kb * (1.0 - kb) * cb) / kg;
            line[x] = qRgb(channel(r), channel(g), channel(b));
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
    if (!heifItemsWithinLimits(file->bytes))
        return false;
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
        // Shrunk pictures are read many at a time, one per core: a grid's tiles are decoded
        // on the reading thread rather than on threads of libheif's own beside it.
        heif_context_set_max_decoding_threads(m_file->context.get(), 0);
        if (const Handle thumbnail = thumbnailCovering(m_file->primary.get(), m_scaledSize))
            picture = decode(thumbnail.get());
    }
    if (picture.isNull() && m_scaledSize.isValid())
        picture = decodeShrunk(m_file->primary.get(), m_scaledSize);
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
