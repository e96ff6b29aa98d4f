#include "PngReader.h"

#include <png.h>

#include <cstdio>

namespace qvtest {

PngImage readPng(const std::string& path) {
    PngImage image;
    png_image reader{};
    reader.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&reader, path.c_str())) return image;
    reader.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> buffer(PNG_IMAGE_SIZE(reader));
    if (!png_image_finish_read(&reader, nullptr, buffer.data(), 0, nullptr)) {
        png_image_free(&reader);
        return image;
    }
    image.width = int(reader.width);
    image.height = int(reader.height);
    image.rgba = std::move(buffer);
    return image;
}

}  // namespace qvtest
