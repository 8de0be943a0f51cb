#pragma once
// HEIC and AVIF files made at test time with libheif's encoder, stored turned or mirrored
// so that the orientation the file records (EXIF numbering, 1 to 8) brings the picture
// back upright.

#include <QImage>
#include <QString>
#include <QTransform>

#include <cstring>
#include <memory>

#include <libheif/heif.h>

// The stored pixels of an upright picture under an orientation: its inverse turn.
inline QImage storedFor(const QImage &upright, int orientation)
{
    switch (orientation) {
    case 2: return upright.mirrored(true, false);
    case 3: return upright.mirrored(true, true);
    case 4: return upright.mirrored(false, true);
    case 5: return upright.transformed(QTransform().rotate(90)).mirrored(true, false);
    case 6: return upright.transformed(QTransform().rotate(270));
    case 7: return upright.transformed(QTransform().rotate(270)).mirrored(true, false);
    case 8: return upright.transformed(QTransform().rotate(90));
    default: return upright;
    }
}

// Empty when written; otherwise why not (no encoder, or the encoder failed). A preset
// ("ultrafast") speeds up the HEVC encoder where many large pictures are made.
inline QString writeHeif(const QString &path, const QImage &upright, heif_compression_format format,
                         int orientation = 1, int thumbnailSide = 0, const char *preset = nullptr)
{
    // Balanced, so the encoders' own state is freed once no one else holds the library.
    heif_init(nullptr);
    const std::unique_ptr<void, void (*)(void *)> initialised(reinterpret_cast<void *>(1), [](void *) { heif_deinit(); });
    const QImage stored = storedFor(upright, orientation).convertToFormat(QImage::Format_RGB888);
    const std::unique_ptr<heif_context, void (*)(heif_context *)> context(heif_context_alloc(), heif_context_free);
    heif_encoder *encoderFound = nullptr;
    if (heif_context_get_encoder_for_format(context.get(), format, &encoderFound).code != heif_error_Ok)
        return QStringLiteral("libheif has no encoder for this format here");
    const std::unique_ptr<heif_encoder, void (*)(heif_encoder *)> encoder(encoderFound, heif_encoder_release);
    heif_encoder_set_lossy_quality(encoder.get(), 92);
    if (preset && format == heif_compression_HEVC)
        heif_encoder_set_parameter_string(encoder.get(), "preset", preset);
    heif_image *imageMade = nullptr;
    heif_image_create(stored.width(), stored.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &imageMade);
    const std::unique_ptr<heif_image, void (*)(const heif_image *)> image(imageMade, heif_image_release);
    heif_image_add_plane(image.get(), heif_channel_interleaved, stored.width(), stored.height(), 8);
    int stride = 0;
    uint8_t *plane = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    for (int y = 0; y < stored.height(); ++y)
        std::memcpy(plane + y * stride, stored.constScanLine(y), size_t(stored.width()) * 3);
    const std::unique_ptr<heif_encoding_options, void (*)(heif_encoding_options *)> options(
        heif_encoding_options_alloc(), heif_encoding_options_free);
    options->image_orientation = heif_orientation(orientation);
    heif_image_handle *handle = nullptr;
    heif_error error = heif_context_encode_image(context.get(), image.get(), encoder.get(), options.get(), &handle);
    if (error.code != heif_error_Ok)
        return QStringLiteral("libheif's encoder failed: %1").arg(QString::fromUtf8(error.message));
    if (thumbnailSide > 0)
        error = heif_context_encode_thumbnail(context.get(), image.get(), handle, encoder.get(), options.get(),
                                              thumbnailSide, nullptr);
    heif_image_handle_release(handle);
    if (error.code == heif_error_Ok)
        error = heif_context_write_to_file(context.get(), path.toLocal8Bit().constData());
    return error.code == heif_error_Ok ? QString() : QString::fromUtf8(error.message);
}
