#pragma once
// A HEIC's signature as it was read before the planes were averaged: the whole picture
// decoded to interleaved RGB by libheif (its tiles on libheif's own threads), copied into
// a QImage, shrunk with Qt's smooth scaler to the 64 x 64 face, then averaged per cell.
// Kept here only to be measured against.

#include "pictures/picturesignature.h"

#include <QFile>
#include <QImage>

#include <cstring>
#include <memory>
#include <optional>

#include <libheif/heif.h>

inline std::optional<Signature> previousHeifSignature(const QString &path)
{
    static const heif_error initialised = heif_init(nullptr); // for the process's life
    (void)initialised;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    const std::unique_ptr<heif_context, void (*)(heif_context *)> context(heif_context_alloc(), heif_context_free);
    if (heif_context_read_from_memory_without_copy(context.get(), bytes.constData(), size_t(bytes.size()), nullptr).code
        != heif_error_Ok)
        return std::nullopt;
    heif_image_handle *primary = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &primary).code != heif_error_Ok)
        return std::nullopt;
    const std::unique_ptr<heif_image_handle, void (*)(const heif_image_handle *)> handle(primary,
                                                                                          heif_image_handle_release);
    const std::unique_ptr<heif_decoding_options, void (*)(heif_decoding_options *)> options(
        heif_decoding_options_alloc(), heif_decoding_options_free);
    options->convert_hdr_to_8bit = 1;
    heif_image *decoded = nullptr;
    if (heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGB, options.get()).code
        != heif_error_Ok)
        return std::nullopt;
    const std::unique_ptr<heif_image, void (*)(const heif_image *)> image(decoded, heif_image_release);
    int stride = 0;
    const uint8_t *pixels = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    QImage picture(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        std::memcpy(picture.scanLine(y), pixels + qsizetype(y) * stride, size_t(width) * 3);
    const QImage face = picture.scaled(64, 64, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                            .convertToFormat(QImage::Format_RGB32);
    return signatureOfSurface(face);
}
