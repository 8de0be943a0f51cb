#include "pictures/uprightpicture.h"

#include "pictures/pictureformats.h"

#include "pictures/jpegmemory.h"

#include <QBuffer>
#include <QFile>
#include <QImageIOHandler>
#include <QImageReader>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace {

QSize scaledSize(QSize size, double scale)
{
    return QSize(std::max(1, qRound(size.width() * scale)), std::max(1, qRound(size.height() * scale)));
}

// As Qt's readers turn a picture for its orientation: mirrored first, then a quarter turn.
QImage turned(const QImage &image, QImageIOHandler::Transformations how)
{
    if (how == QImageIOHandler::TransformationNone)
        return image;
    QImage result = image.mirrored(how & QImageIOHandler::TransformationMirror,
                                   how & QImageIOHandler::TransformationFlip);
    if (how & QImageIOHandler::TransformationRotate90)
        result = result.transformed(QTransform().rotate(90));
    return result;
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

// A colour or grey JPEG at `eighths`/8 of its stored size, 32-bit; null when it fails. A
// progressive one decoded larger than 1/8 hands `coarse` its picture from the DC scans, and
// goes on if it says so.
QImage decodeJpegAt(jpeg_decompress_struct &info, JpegFailure &failure, int eighths,
                    const std::function<bool(const QImage &)> &coarse)
{
    requestRgb32(info, eighths);
    // At 1/8 the DC scans are all; their picture is exact unsmoothed.
    const bool dcOnly = eighths == 1 && info.progressive_mode;
    const bool twice = !dcOnly && info.progressive_mode && coarse;
    info.buffered_image = dcOnly || twice;
    if (dcOnly)
        info.do_block_smoothing = FALSE;
    // The library's own memory (a progressive picture's coefficients) stays within a few
    // times what Qt's readers allow a picture, so that a header claiming a huge picture fails.
    if (const int limit = QImageReader::allocationLimit(); limit > 0)
        info.mem->max_memory_to_use = long(limit) * 4 * 1024 * 1024;
    QImage image;
    if (jpegStep(failure, [&info] { jpeg_calc_output_dimensions(&info); }))
        QImageIOHandler::allocateImage(QSize(int(info.output_width), int(info.output_height)),
                                       QImage::Format_RGB32, &image);
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
        if (!coarse(image))
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

// The JPEG path; false when the file is not a JPEG libjpeg turns into RGB, for Qt's readers.
bool decodeJpeg(QByteArray &data, const std::function<double(QSize)> &scaleFor,
                const std::function<bool(UprightPicture)> &coarse, UprightPicture &picture)
{
    if (data.size() < 2 || uchar(data[0]) != 0xFF || uchar(data[1]) != 0xD8)
        return false;
    QImageIOHandler::Transformations how;
    {
        QBuffer buffer(&data);
        buffer.open(QIODevice::ReadOnly);
        how = QImageReader(&buffer, "jpeg").transformation();
    }
    jpeg_decompress_struct info;
    JpegFailure failure;
    const bool header = readJpegHeader(info, failure, data);
    // CMYK and the like go to Qt's reader, which converts them.
    if (!header || (info.out_color_space != JCS_RGB && info.out_color_space != JCS_GRAYSCALE)
        || info.image_width == 0 || info.image_height == 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    const QSize stored(int(info.image_width), int(info.image_height));
    picture.size = how & QImageIOHandler::TransformationRotate90 ? stored.transposed() : stored;
    const double scale = std::clamp(scaleFor(picture.size), 1e-6, 1.0);
    const int eighths = std::clamp(int(std::ceil(8 * scale - 1e-9)), 1, 8);
    const QSize wanted = scaledSize(stored, scale);
    // Shrunk to the wanted size as Qt's reader does, and turned.
    const auto finish = [wanted, how, &picture](const QImage &image) {
        UprightPicture result;
        result.size = picture.size;
        result.image = turned(image.width() > wanted.width() || image.height() > wanted.height()
                                  ? image.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                  : image,
                              how);
        result.scale = double(result.image.width()) / result.size.width();
        return result;
    };
    std::function<bool(const QImage &)> first;
    if (coarse)
        // A copy: the decode goes on in the image's memory.
        first = [&coarse, &finish](const QImage &image) { return coarse(finish(image.copy())); };
    const QImage image = decodeJpegAt(info, failure, eighths, first);
    jpeg_destroy_decompress(&info);
    // Damaged: Qt's reader would not do better.
    if (!image.isNull())
        picture = finish(image);
    return true;
}

} // namespace

UprightPicture decodeUprightPicture(const QString &path, const std::function<double(QSize)> &scaleFor,
                                    const std::function<bool(UprightPicture)> &coarse)
{
    UprightPicture picture;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return picture;
    QByteArray data = file.readAll();
    if (decodeJpeg(data, scaleFor, coarse, picture))
        return picture;
    data.clear();

    QImageReader reader(path);
    // Told by the content, but a RAW by its name: its content looks like any TIFF.
    reader.setDecideFormatFromContent(!hasRawExtension(path));
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (stored.isEmpty())
        return picture;
    // The reader scales the picture as stored and turns it after.
    const bool quarter = reader.transformation() & QImageIOHandler::TransformationRotate90;
    picture.size = quarter ? stored.transposed() : stored;
    const double scale = std::min(1.0, scaleFor(picture.size));
    if (scale < 1)
        reader.setScaledSize(scaledSize(stored, scale));
    picture.image = reader.read();
    if (!picture.image.isNull())
        picture.scale = double(picture.image.width()) / picture.size.width();
    return picture;
}
