#include "unwrap/ImageEncoders.h"

#include <tiffio.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <ios>
#include <vector>

#include <jpeglib.h>

namespace unwrap {

namespace {

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

// libjpeg reports fatal errors by a long jump back here, so this frame holds no object with a
// destructor. Returns false with the codec's message in errors.message.
bool compressJpeg(FILE* file, const std::uint8_t* rows, std::ptrdiff_t rowBytes, int width, int height,
                  int quality, JpegErrors& errors) {
    jpeg_compress_struct codec;
    codec.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = onJpegError;
    errors.message[0] = '\0';
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

std::ios_base::failure writeFailure(const std::string& name, const std::string& why) {
    return std::ios_base::failure("cannot write " + name + (why.empty() ? "" : ": " + why));
}

}  // namespace

void encodeJpeg(int fd, const std::string& name, const std::uint8_t* rows, std::ptrdiff_t rowBytes, int width,
                int height, int quality) {
    FILE* file = fdopen(fd, "wb");
    if (!file) {
        ::close(fd);
        throw writeFailure(name, std::strerror(errno));
    }
    JpegErrors errors;
    const bool encoded = compressJpeg(file, rows, rowBytes, width, height, quality, errors);
    bool written = encoded && std::fflush(file) == 0 && !std::ferror(file) && ::fsync(fileno(file)) == 0;
    const int error = errno;
    if (std::fclose(file) != 0) written = false;
    if (!encoded) throw writeFailure(name, errors.message);
    if (!written) throw writeFailure(name, std::strerror(error));
}

void encodeTiff(int fd, const std::string& name, const void* rows, std::ptrdiff_t rowBytes, int width, int height,
                int bitsPerChannel) {
    TIFF* tiff = TIFFFdOpen(fd, name.c_str(), "w");
    if (!tiff) {
        ::close(fd);
        throw writeFailure(name, "the TIFF library refused the file");
    }
    bool written = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, std::uint32_t(width)) &&
                   TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, std::uint32_t(height)) &&
                   TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, std::uint16_t(bitsPerChannel)) &&
                   TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, std::uint16_t(3)) &&
                   TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, std::uint16_t(SAMPLEFORMAT_UINT)) &&
                   TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, std::uint16_t(PHOTOMETRIC_RGB)) &&
                   TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, std::uint16_t(PLANARCONFIG_CONTIG)) &&
                   TIFFSetField(tiff, TIFFTAG_COMPRESSION, std::uint16_t(COMPRESSION_NONE)) &&
                   TIFFSetField(tiff, TIFFTAG_ORIENTATION, std::uint16_t(ORIENTATION_TOPLEFT)) &&
                   TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
    // libtiff may work on the row it is given, so each row goes through a buffer of our own.
    const std::size_t bytesPerRow = std::size_t(width) * 3 * std::size_t(bitsPerChannel / 8);
    std::vector<unsigned char> row(bytesPerRow);
    const unsigned char* source = static_cast<const unsigned char*>(rows);
    for (int y = 0; written && y < height; ++y) {
        if (bytesPerRow) std::memcpy(row.data(), source + std::ptrdiff_t(y) * rowBytes, bytesPerRow);
        written = TIFFWriteScanline(tiff, row.data(), std::uint32_t(y), 0) >= 0;
    }
    written = written && TIFFWriteDirectory(tiff) && ::fsync(TIFFFileno(tiff)) == 0;
    TIFFClose(tiff);  // closes fd
    if (!written) throw writeFailure(name, "the TIFF library could not write the image");
}

}  // namespace unwrap
