// PNG input of the interface's images through libpng's whole-image reader.
#include <png.h>

#include <cstring>

#include "appkit/Image.h"

namespace qv::ui {

namespace {

// An interface picture is an icon or a cell's image, never a photo: anything larger is refused
// rather than allocated.
constexpr png_uint_32 kLargestSide = 4096;

}  // namespace

Image Image::initByReferencingFile(const std::string& path) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return Image();
    if (image.width == 0 || image.height == 0 || image.width > kLargestSide || image.height > kLargestSide) {
        png_image_free(&image);
        return Image();
    }
    image.format = PNG_FORMAT_RGBA;
    Bitmap pixels = Bitmap::make(int(image.width), int(image.height), PixelFormat::RGBA8);
    if (!pixels.isValid() ||
        !png_image_finish_read(&image, nullptr, pixels.pixels.data(), png_int_32(pixels.bytesPerRow), nullptr)) {
        png_image_free(&image);
        return Image();
    }
    return Image(std::move(pixels));
}

}  // namespace qv::ui
