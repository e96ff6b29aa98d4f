#include "unwrap/ImageCodecs.h"

#include <boost/gil/image_view_factory.hpp>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <ios>

#include <jpeglib.h>

namespace unwrap {

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return; ours jumps back to the
// frame that called into the library. Those frames hold no object with a destructor, and each sets
// its own jump point, so that no jump crosses C++ code that would need unwinding.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void onJpegError(j_common_ptr codec) {
    JpegErrors* errors = reinterpret_cast<JpegErrors*>(codec->err);
    (*codec->err->format_message)(codec, errors->message);
    std::longjmp(errors->jump, 1);
}

void installErrors(jpeg_error_mgr*& slot, JpegErrors& errors) {
    slot = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = onJpegError;
    errors.message[0] = '\0';
}

struct JpegSource {
    jpeg_decompress_struct codec;
    JpegErrors errors;
    FILE* file = nullptr;
    bool created = false;

    ~JpegSource() {
        if (created) jpeg_destroy_decompress(&codec);
        if (file) std::fclose(file);
    }
};

bool readHeader(JpegSource& source) {
    installErrors(source.codec.err, source.errors);
    if (setjmp(source.errors.jump)) return false;
    jpeg_create_decompress(&source.codec);
    source.created = true;
    jpeg_stdio_src(&source.codec, source.file);
    jpeg_read_header(&source.codec, TRUE);
    return true;
}

bool readRows(JpegSource& source, std::uint8_t* rows, std::ptrdiff_t rowBytes) {
    if (setjmp(source.errors.jump)) return false;
    source.codec.out_color_space = JCS_RGB;
    jpeg_start_decompress(&source.codec);
    while (source.codec.output_scanline < source.codec.output_height) {
        JSAMPROW row = rows + std::ptrdiff_t(source.codec.output_scanline) * rowBytes;
        jpeg_read_scanlines(&source.codec, &row, 1);
    }
    jpeg_finish_decompress(&source.codec);
    return true;
}

bool compress(FILE* file, const std::uint8_t* rows, std::ptrdiff_t rowBytes, int width, int height, int quality,
              JpegErrors& errors) {
    jpeg_compress_struct codec;
    installErrors(codec.err, errors);
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&codec);
        return false;
    }
    jpeg_create_compress(&codec);
    jpeg_stdio_dest(&codec, file);
    codec.image_width = JDIMENSION(width);
    codec.image_height = JDIMENSION(height);
    codec.input_components = 3;
    codec.in_color_space = JCS_RGB;
    jpeg_set_defaults(&codec);
    jpeg_set_quality(&codec, quality, TRUE);
    jpeg_start_compress(&codec, TRUE);
    while (codec.next_scanline < codec.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rows + std::ptrdiff_t(codec.next_scanline) * rowBytes);
        jpeg_write_scanlines(&codec, &row, 1);
    }
    jpeg_finish_compress(&codec);
    jpeg_destroy_compress(&codec);
    return true;
}

std::ios_base::failure failure(const std::string& what, const std::string& name, const std::string& why) {
    return std::ios_base::failure(what + " " + name + (why.empty() ? "" : ": " + why));
}

}  // namespace

void decodeJpeg(const std::string& name, Image& image) {
    JpegSource source;
    source.file = std::fopen(name.c_str(), "rb");
    if (!source.file) throw failure("cannot open", name, std::strerror(errno));
    if (!readHeader(source)) throw failure("cannot read", name, source.errors.message);
    const jpeg_decompress_struct& codec = source.codec;
    if (codec.num_components != 3 || (codec.jpeg_color_space != JCS_YCbCr && codec.jpeg_color_space != JCS_RGB))
        throw failure("not an RGB JPEG file:", name, "");
    if (const std::string refusal = imageSizeRefusal(codec.image_width, codec.image_height); !refusal.empty())
        throw failure("cannot read", name, refusal);
    const int width = int(codec.image_width), height = int(codec.image_height);
    auto& typed = image.emplace<gil::rgb8_image_t>(width, height);
    const gil::rgb8_view_t view = gil::view(typed);
    if (!readRows(source, gil::interleaved_view_get_raw_data(view), view.pixels().row_size()))
        throw failure("cannot read", name, source.errors.message);
}

void encodeJpeg(int fd, const std::string& name, const std::uint8_t* rows, std::ptrdiff_t rowBytes, int width,
                int height, int quality) {
    FILE* file = fdopen(fd, "wb");
    if (!file) {
        const int error = errno;
        ::close(fd);
        throw failure("cannot write", name, std::strerror(error));
    }
    JpegErrors errors;
    const bool encoded = compress(file, rows, rowBytes, width, height, quality, errors);
    bool written = encoded && std::fflush(file) == 0 && !std::ferror(file) && ::fsync(fileno(file)) == 0;
    const int error = errno;
    if (std::fclose(file) != 0) written = false;
    if (!encoded) throw failure("cannot write", name, errors.message);
    if (!written) throw failure("cannot write", name, std::strerror(error));
}

}  // namespace unwrap
