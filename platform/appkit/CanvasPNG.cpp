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

// libpng's error, kept for the call's reason instead of printed on standard error. A plain buffer:
// the handler jumps out of libpng right after filling it, so nothing it makes may need destroying.
struct PngError {
    char message[256] = "";
};

[[noreturn]] void keepError(png_structp png, png_const_charp message) {
    auto* error = static_cast<PngError*>(png_get_error_ptr(png));
    std::snprintf(error->message, sizeof error->message, "%s", message ? message : "");
    png_longjmp(png, 1);
}

// A warning is not a failure, and a failure says why through its error: warnings are dropped.
void dropWarning(png_structp, png_const_charp) {}

// The libpng calls that may fail, with the setjmp that libpng's error handler jumps back to. Only
// the arguments and libpng's own state live in this frame, none changed after the setjmp, and the
// frames the jump leaves (libpng's and the handler's) hold nothing with a destructor.
bool encodeRows(png_structp png, png_infop info, std::FILE* file, png_uint_32 width, png_uint_32 height,
                png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
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
    PngError error;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, keepError, dropWarning);
    if (!png) return fail(reason, "cannot start the PNG encoder");
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return fail(reason, "cannot start the PNG encoder");
    }
    std::vector<png_bytep> pointers(static_cast<std::size_t>(height()));
    for (int y = 0; y < height(); ++y) pointers[std::size_t(y)] = rows.data() + std::size_t(y) * width() * 4;
    const bool encoded =
        encodeRows(png, info, file.get(), png_uint_32(width()), png_uint_32(height()), pointers.data());
    png_destroy_write_struct(&png, &info);
    if (!encoded) return fail(reason, "the PNG encoder failed writing " + path + ": " + error.message);
    const bool written = std::ferror(file.get()) == 0;
    if (std::fclose(file.release()) != 0 || !written) return fail(reason, "cannot write " + path);
    return true;
}

}  // namespace qv::ui
