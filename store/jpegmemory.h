#pragma once
// libjpeg over bytes in memory, for the store's own readers of JPEG files (the signature's
// decode, the facts' header and coefficients). The library leaves by a jump on an error;
// this keeps that in one place.

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
