// JPEG through libjpeg-turbo. libjpeg reports fatal errors by calling error_exit, which must not
// return; ours long-jumps back into the small functions below that hold the libjpeg calls. Those
// functions own no C++ objects, so the jump skips no destructor. Nothing is ever printed.
#include <algorithm>
#include <csetjmp>
#include <cstdio>  // before jpeglib.h, which needs FILE and size_t
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "imageio/codecs/Codec.h"
#include "imageio/support/Cmyk.h"

namespace qv::io::codec {

namespace {

// A file with more warnings than this is too damaged to be worth decoding further.
constexpr int kMaxWarnings = 1000;
// The largest picture whose Huffman tables are optimised (see compressC).
constexpr std::size_t kOptimizedCodingMaxPixels = std::size_t(4) << 20;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    int warnings;
};

[[noreturn]] void fail(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings are counted, never printed. A premature end of the data is fatal: the rest of the
// picture would be made-up grey, and a photo tool must not pass that off as the photo.
void emitMessage(j_common_ptr cinfo, int level) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (level >= 0) return;  // trace messages
    if (cinfo->err->msg_code == JWRN_JPEG_EOF || ++err->warnings > kMaxWarnings) fail(cinfo);
}

void outputMessage(j_common_ptr) {}

void installErrorManager(ErrorManager& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = fail;
    err.pub.emit_message = emitMessage;
    err.pub.output_message = outputMessage;
    err.message[0] = '\0';
    err.warnings = 0;
}

struct Reader {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    bool created = false;
    Reader() { std::memset(&cinfo, 0, sizeof cinfo); }
    ~Reader() {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
};

bool readHeaderC(Reader& r, const std::uint8_t* data, std::size_t size) {
    r.cinfo.err = &r.err.pub;
    installErrorManager(r.err);
    if (setjmp(r.err.jump)) return false;
    jpeg_create_decompress(&r.cinfo);
    r.created = true;
    jpeg_mem_src(&r.cinfo, data, static_cast<unsigned long>(size));
    jpeg_save_markers(&r.cinfo, JPEG_APP0 + 2, 0xFFFF);  // ICC profile chunks
    jpeg_read_header(&r.cinfo, TRUE);
    return true;
}

bool readIccC(Reader& r, JOCTET** icc, unsigned* length) {
    if (setjmp(r.err.jump)) return false;
    if (!jpeg_read_icc_profile(&r.cinfo, icc, length)) *icc = nullptr;
    return true;
}

// Starts decoding into the colour space, reduced by the largest of the DCT scalings 1/8 to 8/8
// that keeps at least minimumWidth x minimumHeight pixels (none asked: full size).
bool startC(Reader& r, J_COLOR_SPACE space, int minimumWidth, int minimumHeight) {
    if (setjmp(r.err.jump)) return false;
    r.cinfo.out_color_space = space;
    r.cinfo.dct_method = JDCT_ISLOW;
    if (minimumWidth > 0 && minimumHeight > 0) {
        r.cinfo.scale_denom = 8;
        for (unsigned eighths = 1; eighths <= 8; ++eighths) {
            r.cinfo.scale_num = eighths;
            jpeg_calc_output_dimensions(&r.cinfo);
            if (r.cinfo.output_width >= JDIMENSION(minimumWidth) && r.cinfo.output_height >= JDIMENSION(minimumHeight))
                break;
        }
    }
    jpeg_start_decompress(&r.cinfo);
    return true;
}

bool readRowsC(Reader& r, std::uint8_t* base, std::size_t stride) {
    if (setjmp(r.err.jump)) return false;
    while (r.cinfo.output_scanline < r.cinfo.output_height) {
        JSAMPROW row = base + std::size_t(r.cinfo.output_scanline) * stride;
        jpeg_read_scanlines(&r.cinfo, &row, 1);
    }
    jpeg_finish_decompress(&r.cinfo);
    return true;
}

class JpegDecoder final : public Decoder {
public:
    explicit JpegDecoder(std::shared_ptr<const Data> bytes) : m_bytes(std::move(bytes)) {}

    bool readHeader(Header& header, std::string& error) override {
        Reader r;
        if (!readHeaderC(r, m_bytes->data(), m_bytes->size())) {
            error = r.err.message;
            return false;
        }
        header.width = int(r.cinfo.image_width);
        header.height = int(r.cinfo.image_height);
        header.bitsPerComponent = 8;
        switch (r.cinfo.jpeg_color_space) {
        case JCS_GRAYSCALE: header.colorModel = "Gray"; break;
        case JCS_CMYK:
        case JCS_YCCK:
            header.colorModel = "CMYK";
            header.decodedAsSRGB = true;
            break;
        default: header.colorModel = "RGB"; break;
        }
        JOCTET* icc = nullptr;
        unsigned length = 0;
        if (readIccC(r, &icc, &length) && icc) {
            header.iccProfile.assign(icc, icc + length);
            std::free(icc);
        }
        if (r.cinfo.saw_JFIF_marker && r.cinfo.X_density > 0 && r.cinfo.Y_density > 0) {
            const double perInch = r.cinfo.density_unit == 1 ? 1.0 : r.cinfo.density_unit == 2 ? 2.54 : 0.0;
            header.dpiWidth = r.cinfo.X_density * perInch;
            header.dpiHeight = r.cinfo.Y_density * perInch;
        }
        return true;
    }

    std::optional<Bitmap> decode(const Limits& limits, std::string& error) override {
        Reader r;
        if (!readHeaderC(r, m_bytes->data(), m_bytes->size())) {
            error = r.err.message;
            return std::nullopt;
        }
        if (!plausibleSize(r.cinfo.image_width, r.cinfo.image_height, m_bytes->size(), limits, error))
            return std::nullopt;
        const bool cmyk = r.cinfo.jpeg_color_space == JCS_CMYK || r.cinfo.jpeg_color_space == JCS_YCCK;
        const bool gray = r.cinfo.jpeg_color_space == JCS_GRAYSCALE;
        // Adobe's CMYK JPEGs store inverted samples (0 is full ink).
        const bool invertedCmyk = cmyk && r.cinfo.saw_Adobe_marker;
        Data icc;
        if (cmyk) {
            JOCTET* profile = nullptr;
            unsigned length = 0;
            if (readIccC(r, &profile, &length) && profile) {
                icc.assign(profile, profile + length);
                std::free(profile);
            }
        }
        // Opaque RGBA comes straight out of libjpeg-turbo's colour conversion, alpha filled in.
        const bool fourChannels = limits.fourChannels && !cmyk;
        const J_COLOR_SPACE space = fourChannels ? JCS_EXT_RGBA : gray ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
        if (!startC(r, space, limits.minimumWidth, limits.minimumHeight)) {
            error = r.err.message;
            return std::nullopt;
        }
        const int w = int(r.cinfo.output_width), h = int(r.cinfo.output_height);
        if (!cmyk) {
            // Every byte is written by the decoder (a damaged file fails as a whole).
            const PixelFormat format = fourChannels ? PixelFormat::RGBA8 : gray ? PixelFormat::Gray8 : PixelFormat::RGB8;
            Bitmap out = Bitmap::makeUninitialized(w, h, format, fourChannels);
            if (!out.isValid()) {
                error = "out of memory";
                return std::nullopt;
            }
            if (!readRowsC(r, out.pixels.data(), out.bytesPerRow)) {
                error = r.err.message;
                return std::nullopt;
            }
            return out;
        }
        Bitmap samples = Bitmap::make(w, h, PixelFormat::RGBA8);  // four bytes per pixel: C, M, Y, K
        Bitmap out = Bitmap::make(w, h, PixelFormat::RGB8);
        if (!samples.isValid() || !out.isValid()) {
            error = "out of memory";
            return std::nullopt;
        }
        if (!readRowsC(r, samples.pixels.data(), samples.bytesPerRow)) {
            error = r.err.message;
            return std::nullopt;
        }
        support::CmykConverter converter(icc, 8, invertedCmyk);
        for (int y = 0; y < h; ++y) converter.convert(samples.row(y), out.row(y), std::size_t(w));
        return out;
    }

private:
    std::shared_ptr<const Data> m_bytes;
};

struct Writer {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    bool created = false;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    Writer() { std::memset(&cinfo, 0, sizeof cinfo); }
    ~Writer() {
        if (created) jpeg_destroy_compress(&cinfo);
        std::free(buffer);
    }
};

// Encodes the bands as they come. No C++ object lives in this frame, so an error's jump back
// into it skips no destructor.
bool compressC(Writer& w, BandSource& bands, int quality, const std::uint8_t* icc, unsigned iccLength,
               unsigned dpiX, unsigned dpiY) {
    w.cinfo.err = &w.err.pub;
    installErrorManager(w.err);
    if (setjmp(w.err.jump)) return false;
    jpeg_create_compress(&w.cinfo);
    w.created = true;
    jpeg_mem_dest(&w.cinfo, &w.buffer, &w.size);
    const bool gray = bands.format() == PixelFormat::Gray8;
    w.cinfo.image_width = JDIMENSION(bands.width());
    w.cinfo.image_height = JDIMENSION(bands.height());
    w.cinfo.input_components = gray ? 1 : 3;
    w.cinfo.in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&w.cinfo);
    jpeg_set_quality(&w.cinfo, quality, TRUE);
    // Optimal Huffman tables save about a tenth of the file but keep every coefficient of the
    // picture in memory (two bytes a sample) and cost a second pass that triples the encoding
    // time: worth it for small pictures (a working copy), not for a photo.
    w.cinfo.optimize_coding = std::size_t(bands.width()) * std::size_t(bands.height()) <= kOptimizedCodingMaxPixels;
    w.cinfo.dct_method = JDCT_ISLOW;
    // At high quality the colour detail is worth keeping: no chroma subsampling.
    if (!gray && quality >= 90) w.cinfo.comp_info[0].h_samp_factor = w.cinfo.comp_info[0].v_samp_factor = 1;
    w.cinfo.density_unit = 1;
    w.cinfo.X_density = UINT16(dpiX);
    w.cinfo.Y_density = UINT16(dpiY);
    jpeg_start_compress(&w.cinfo, TRUE);
    if (icc && iccLength) jpeg_write_icc_profile(&w.cinfo, icc, iccLength);
    int first = 0;
    while (w.cinfo.next_scanline < w.cinfo.image_height) {
        const Bitmap* band = bands.nextBand(first);
        // A source that ends early, or out of order, would leave the rest of the picture made up.
        if (!band || first != int(w.cinfo.next_scanline) || band->height <= 0) return false;
        for (int r = 0; r < band->height && w.cinfo.next_scanline < w.cinfo.image_height; ++r) {
            JSAMPROW row = const_cast<JSAMPROW>(band->row(r));
            jpeg_write_scanlines(&w.cinfo, &row, 1);
        }
    }
    jpeg_finish_compress(&w.cinfo);
    return true;
}

unsigned densityOf(double dpi) {
    if (!(dpi >= 1.0)) return 72;
    return dpi > 65535.0 ? 65535u : unsigned(dpi + 0.5);
}

}  // namespace

std::unique_ptr<Decoder> makeJpegDecoder(std::shared_ptr<const Data> bytes) {
    return std::make_unique<JpegDecoder>(std::move(bytes));
}

bool encodeJpeg(const Bitmap& bitmap, const EncodeSettings& settings, Data& out, std::string& error) {
    BitmapBands bands(bitmap);
    return encodeJpeg(bands, settings, out, error);
}

bool encodeJpeg(BandSource& bands, const EncodeSettings& settings, Data& out, std::string& error) {
    if (bands.format() != PixelFormat::RGB8 && bands.format() != PixelFormat::Gray8) {
        error = "JPEG takes 8-bit gray or RGB pixels";
        return false;
    }
    if (bands.width() <= 0 || bands.height() <= 0) {
        error = "no image to encode";
        return false;
    }
    if (bands.width() > JPEG_MAX_DIMENSION || bands.height() > JPEG_MAX_DIMENSION) {
        error = "the image is too large for JPEG";
        return false;
    }
    double q = settings.quality;
    if (!(q >= 0.0)) q = 0.0;  // also NaN
    if (q > 1.0) q = 1.0;
    const int quality = std::max(1, int(q * 100.0 + 0.5));
    Writer w;
    if (!compressC(w, bands, quality, settings.iccProfile.empty() ? nullptr : settings.iccProfile.data(),
                   unsigned(settings.iccProfile.size()), densityOf(settings.dpiWidth), densityOf(settings.dpiHeight))) {
        error = w.err.message[0] ? w.err.message : "the picture's rows did not all arrive";
        return false;
    }
    out.assign(w.buffer, w.buffer + w.size);
    return true;
}

}  // namespace qv::io::codec
