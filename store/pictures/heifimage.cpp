#include "pictures/heifimage.h"

#include <QIODevice>
#include <QImage>
#include <QImageReader>
#include <QVariant>

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
