#pragma once
// libjpeg over bytes in memory, inside the JPEG room only (its decoder and the tests that look
// at the library's own state): everyone else reads JPEG data through JpegDecoder. The library
// leaves by a jump on an error; this keeps that in one place.

#include <QByteArray>

#include <csetjmp>
#include <cstdio>

extern "C" {
#include <jpeglib.h>
}

struct JpegFailure : jpeg_error_mgr {
    std::jmp_buf jump;
};

// Runs one call of the library, which leaves by a jump on an error: false then. Nothing that
// owns memory may live in the step, which the jump does not unwind.
template <typename Step>
bool jpegStep(JpegFailure &failure, const Step &step)
{
    if (setjmp(failure.jump))
        return false;
    step();
    return true;
}

// Creates `info` over `data`, which must outlive it, and reads the header; warnings of
// damaged data stay silent, so reading goes on. False when the header cannot be read. The
// caller destroys `info` (jpeg_destroy_decompress) either way.
inline bool readJpegHeader(jpeg_decompress_struct &info, JpegFailure &failure, const QByteArray &data)
{
    info.err = jpeg_std_error(&failure);
    failure.error_exit = [](j_common_ptr common) { std::longjmp(static_cast<JpegFailure *>(common->err)->jump, 1); };
    failure.output_message = [](j_common_ptr) {};
    jpeg_create_decompress(&info);
    const auto source = reinterpret_cast<const unsigned char *>(data.constData());
    return jpegStep(failure, [&info, source, &data] {
        jpeg_mem_src(&info, source, static_cast<unsigned long>(data.size()));
        jpeg_read_header(&info, TRUE);
    });
}

// Asks for the picture at `eighths`/8 of its size, each pixel as QImage::Format_RGB32 holds
// it (0xAARRGGBB in memory, alpha 255).
inline void requestRgb32(jpeg_decompress_struct &info, int eighths)
{
    info.scale_num = unsigned(eighths);
    info.scale_denom = 8;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    info.out_color_space = JCS_EXT_BGRA;
#else
    info.out_color_space = JCS_EXT_ARGB;
#endif
}

// Reads the output rows still to come into the rows at `bits`, `stride` bytes apart.
inline void readJpegRows(jpeg_decompress_struct &info, unsigned char *bits, qsizetype stride)
{
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = bits + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
}
