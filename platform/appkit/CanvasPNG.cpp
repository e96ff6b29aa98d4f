// PNG output of the canvas through libpng.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <memory>

#include "appkit/Canvas.h"

namespace qv::ui {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};

bool fail(std::string& reason, const std::string& why) {
    reason = why;
    return false;
}

}  // namespace

bool Canvas::writePNG(const std::string& path) const {
    std::string unused;
    return writePNG(path, unused);
}

bool Canvas::writePNG(const std::string& path, std::string& reason) const {
    if (!m_bitmap.isValid()) return fail(reason, "the canvas is empty");
    // Unpremultiplied rows first, so that nothing below can fail half-way through a row.
    std::vector<std::uint8_t> rows(std::size_t(width()) * height() * 4);
    for (int y = 0; y < height(); ++y)
        for (int x = 0; x < width(); ++x) {
            auto p = pixel(x, y);
            std::copy(p.begin(), p.end(), rows.begin() + (std::size_t(y) * width() + x) * 4);
        }

    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) return fail(reason, "cannot open " + path + " for writing");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return fail(reason, "cannot start the PNG encoder");
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return fail(reason, "cannot start the PNG encoder");
    }
    std::vector<png_bytep> pointers(static_cast<std::size_t>(height()));
    for (int y = 0; y < height(); ++y) pointers[std::size_t(y)] = rows.data() + std::size_t(y) * width() * 4;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return fail(reason, "the PNG encoder failed writing " + path);
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, png_uint_32(width()), png_uint_32(height()), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    const bool written = std::ferror(file.get()) == 0;
    if (std::fclose(file.release()) != 0 || !written) return fail(reason, "cannot write " + path);
    return true;
}

}  // namespace qv::ui
