// PNG through libpng. Like libjpeg, libpng reports errors by long-jumping; the jumps land in the
// small functions below, which own no C++ objects. Warnings are dropped, nothing is printed.
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "imageio/codecs/Codec.h"

namespace qv::io::codec {

namespace {

struct Reader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0, position = 0;
    char message[256] = "";
    ~Reader() {
        if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
};

void recordError(png_structp png, png_const_charp message) {
    auto* text = static_cast<char*>(png_get_error_ptr(png));
    std::snprintf(text, 256, "%s", message ? message : "damaged PNG file");
    png_longjmp(png, 1);
}

void ignoreWarning(png_structp, png_const_charp) {}

void readBytes(png_structp png, png_bytep out, png_size_t n) {
    auto* r = static_cast<Reader*>(png_get_io_ptr(png));
    if (n > r->size - r->position) png_error(png, "the PNG file ends early");
    std::memcpy(out, r->data + r->position, n);
    r->position += n;
}

bool createReader(Reader& r, const Data& bytes) {
    r.data = bytes.data();
    r.size = bytes.size();
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, r.message, recordError, ignoreWarning);
    if (!r.png) return false;
    r.info = png_create_info_struct(r.png);
    return r.info != nullptr;
}

bool readInfoC(Reader& r) {
    if (setjmp(png_jmpbuf(r.png))) return false;
    png_set_read_fn(r.png, &r, readBytes);
    png_set_user_limits(r.png, 1u << 20, 1u << 20);
    png_read_info(r.png, r.info);
    return true;
}

// Asks libpng for 8- or 16-bit gray, RGB or RGBA in native byte order.
bool setTransformsC(Reader& r) {
    if (setjmp(png_jmpbuf(r.png))) return false;
    const int colorType = png_get_color_type(r.png, r.info);
    const int depth = png_get_bit_depth(r.png, r.info);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(r.png);
    if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(r.png);
    if (png_get_valid(r.png, r.info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(r.png);
    if (colorType == PNG_COLOR_TYPE_GRAY_ALPHA ||
        (colorType == PNG_COLOR_TYPE_GRAY && png_get_valid(r.png, r.info, PNG_INFO_tRNS)))
        png_set_gray_to_rgb(r.png);
    if (depth == 16) {
        const std::uint16_t probe = 1;
        std::uint8_t first;
        std::memcpy(&first, &probe, 1);
        if (first == 1) png_set_swap(r.png);
    }
    png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);
    return true;
}

bool readRowsC(Reader& r, png_bytepp rows) {
    if (setjmp(png_jmpbuf(r.png))) return false;
    png_read_image(r.png, rows);
    return true;
}

// Chunks after the picture are not needed; damage there does not spoil the picture.
void readEndC(Reader& r) {
    if (setjmp(png_jmpbuf(r.png))) return;
    png_read_end(r.png, nullptr);
}

class PngDecoder final : public Decoder {
public:
    explicit PngDecoder(std::shared_ptr<const Data> bytes) : m_bytes(std::move(bytes)) {}

    bool readHeader(Header& header, std::string& error) override {
        Reader r;
        if (!createReader(r, *m_bytes) || !readInfoC(r)) {
            error = r.message[0] ? r.message : "not a readable PNG file";
            return false;
        }
        header.width = int(png_get_image_width(r.png, r.info));
        header.height = int(png_get_image_height(r.png, r.info));
        header.bitsPerComponent = png_get_bit_depth(r.png, r.info) == 16 ? 16 : 8;
        const int colorType = png_get_color_type(r.png, r.info);
        header.hasAlpha = (colorType & PNG_COLOR_MASK_ALPHA) || png_get_valid(r.png, r.info, PNG_INFO_tRNS);
        header.colorModel = (colorType & PNG_COLOR_MASK_COLOR) ? "RGB" : "Gray";
        png_charp name = nullptr;
        int compression = 0;
        png_bytep profile = nullptr;
        png_uint_32 length = 0;
        if (png_get_iCCP(r.png, r.info, &name, &compression, &profile, &length) && profile && length)
            header.iccProfile.assign(profile, profile + length);
        png_uint_32 xppm = 0, yppm = 0;
        int unit = 0;
        if (png_get_pHYs(r.png, r.info, &xppm, &yppm, &unit) && unit == PNG_RESOLUTION_METER && xppm && yppm) {
            header.dpiWidth = std::round(xppm * 0.0254 * 100.0) / 100.0;
            header.dpiHeight = std::round(yppm * 0.0254 * 100.0) / 100.0;
        }
        return true;
    }

    std::optional<Bitmap> decode(const Limits& limits, std::string& error) override {
        Reader r;
        if (!createReader(r, *m_bytes) || !readInfoC(r)) {
            error = r.message[0] ? r.message : "not a readable PNG file";
            return std::nullopt;
        }
        const std::uint32_t w = png_get_image_width(r.png, r.info), h = png_get_image_height(r.png, r.info);
        if (!plausibleSize(w, h, m_bytes->size(), limits, error)) return std::nullopt;
        if (!setTransformsC(r)) {
            error = r.message;
            return std::nullopt;
        }
        const int channels = png_get_channels(r.png, r.info);
        const bool deep = png_get_bit_depth(r.png, r.info) == 16;
        PixelFormat format;
        switch (channels) {
        case 1: format = deep ? PixelFormat::Gray16 : PixelFormat::Gray8; break;
        case 3: format = deep ? PixelFormat::RGB16 : PixelFormat::RGB8; break;
        case 4: format = deep ? PixelFormat::RGBA16 : PixelFormat::RGBA8; break;
        default: error = "unsupported PNG layout"; return std::nullopt;
        }
        Bitmap out = Bitmap::make(int(w), int(h), format);
        if (!out.isValid() || png_get_rowbytes(r.png, r.info) != out.bytesPerRow) {
            error = out.isValid() ? "unsupported PNG layout" : "out of memory";
            return std::nullopt;
        }
        std::vector<png_bytep> rows(h);
        for (std::uint32_t y = 0; y < h; ++y) rows[y] = out.row(int(y));
        if (!readRowsC(r, rows.data())) {
            error = r.message;
            return std::nullopt;
        }
        readEndC(r);
        return out;
    }

private:
    std::shared_ptr<const Data> m_bytes;
};

struct Writer {
    png_structp png = nullptr;
    png_infop info = nullptr;
    Data* out = nullptr;
    char message[256] = "";
    ~Writer() {
        if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
    }
};

void writeBytes(png_structp png, png_bytep data, png_size_t n) {
    auto* w = static_cast<Writer*>(png_get_io_ptr(png));
    w->out->insert(w->out->end(), data, data + n);
}

void flushNothing(png_structp) {}

bool writeC(Writer& w, const Bitmap& bitmap, const EncodeSettings& settings, png_bytepp rows) {
    if (setjmp(png_jmpbuf(w.png))) return false;
    png_set_write_fn(w.png, &w, writeBytes, flushNothing);
    const int channels = channelCount(bitmap.format);
    const int colorType = channels == 1 ? PNG_COLOR_TYPE_GRAY : channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA;
    const int depth = bitsPerComponent(bitmap.format);
    png_set_IHDR(w.png, w.info, png_uint_32(bitmap.width), png_uint_32(bitmap.height), depth, colorType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!settings.iccProfile.empty())
        png_set_iCCP(w.png, w.info, "ICC Profile", PNG_COMPRESSION_TYPE_BASE, settings.iccProfile.data(),
                     png_uint_32(settings.iccProfile.size()));
    const double dpiX = settings.dpiWidth > 0 ? settings.dpiWidth : 72.0;
    const double dpiY = settings.dpiHeight > 0 ? settings.dpiHeight : 72.0;
    png_set_pHYs(w.png, w.info, png_uint_32(dpiX / 0.0254 + 0.5), png_uint_32(dpiY / 0.0254 + 0.5), PNG_RESOLUTION_METER);
    png_write_info(w.png, w.info);
    if (depth == 16) {
        const std::uint16_t probe = 1;
        std::uint8_t first;
        std::memcpy(&first, &probe, 1);
        if (first == 1) png_set_swap(w.png);
    }
    png_write_image(w.png, rows);
    png_write_end(w.png, nullptr);
    return true;
}

}  // namespace

std::unique_ptr<Decoder> makePngDecoder(std::shared_ptr<const Data> bytes) {
    return std::make_unique<PngDecoder>(std::move(bytes));
}

bool encodePng(const Bitmap& bitmap, const EncodeSettings& settings, Data& out, std::string& error) {
    switch (bitmap.format) {
    case PixelFormat::Gray8:
    case PixelFormat::Gray16:
    case PixelFormat::RGB8:
    case PixelFormat::RGB16:
    case PixelFormat::RGBA8:
    case PixelFormat::RGBA16: break;
    default: error = "PNG takes gray, RGB or RGBA pixels of 8 or 16 bits"; return false;
    }
    Writer w;
    Data bytes;
    w.out = &bytes;
    w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, w.message, recordError, ignoreWarning);
    if (w.png) w.info = png_create_info_struct(w.png);
    if (!w.png || !w.info) {
        error = "out of memory";
        return false;
    }
    std::vector<png_bytep> rows(std::size_t(bitmap.height));
    for (int y = 0; y < bitmap.height; ++y) rows[std::size_t(y)] = const_cast<png_bytep>(bitmap.row(y));
    if (!writeC(w, bitmap, settings, rows.data())) {
        error = w.message[0] ? w.message : "cannot write the PNG image";
        return false;
    }
    out = std::move(bytes);
    return true;
}

}  // namespace qv::io::codec
