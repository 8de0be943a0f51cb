#pragma once
// JPEG files written through libjpeg with the choices Qt's writer does not offer: the
// sampling, restart markers, optimised or arithmetic coding, progressive scans, CMYK.

#include <QByteArray>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

struct JpegEncoding {
    J_COLOR_SPACE space = JCS_YCbCr; // JCS_GRAYSCALE, JCS_YCbCr or JCS_CMYK
    int across = 2, down = 2;        // the first component's sampling
    int quality = 85;
    unsigned restartInterval = 0;    // MCUs
    bool optimize = false, progressive = false, arithmetic = false;
};

inline QByteArray encodeJpeg(const QImage &picture, const JpegEncoding &e)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char *out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = JDIMENSION(image.width());
    info.image_height = JDIMENSION(image.height());
    info.input_components = e.space == JCS_GRAYSCALE ? 1 : e.space == JCS_CMYK ? 4 : 3;
    info.in_color_space = e.space == JCS_YCbCr ? JCS_RGB : e.space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, e.quality, TRUE);
    if (e.space != JCS_GRAYSCALE) {
        info.comp_info[0].h_samp_factor = e.across;
        info.comp_info[0].v_samp_factor = e.down;
    }
    info.restart_interval = e.restartInterval;
    info.optimize_coding = e.optimize;
    info.arith_code = e.arithmetic;
    if (e.progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    const int components = info.input_components;
    std::vector<JSAMPLE> row(size_t(image.width()) * size_t(components));
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int values[4] = {qRed(p), qGreen(p), qBlue(p), (qRed(p) + qBlue(p)) / 2};
            for (int c = 0; c < components; ++c)
                row[size_t(x * components + c)] = JSAMPLE(components == 1 ? qGray(p) : values[c]);
        }
        JSAMPROW line = row.data();
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    const QByteArray jpeg(reinterpret_cast<const char *>(out), qsizetype(size));
    std::free(out);
    return jpeg;
}
