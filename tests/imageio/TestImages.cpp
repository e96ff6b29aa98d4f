#include "TestImages.h"

#include <lcms2.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "imageio/ColorSpace.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageProperties.h"
#include "imageio/support/PixelLayout.h"

namespace qvtest {

using namespace qv;

namespace {

Data saveProfile(cmsHPROFILE profile) {
    Data out;
    cmsUInt32Number size = 0;
    if (profile && cmsSaveProfileToMem(profile, nullptr, &size) && size) {
        out.resize(size);
        cmsSaveProfileToMem(profile, out.data(), &size);
        // Little CMS stamps the header with the time of saving (bytes 24-35); a fixed date makes two
        // profiles made a second apart byte-for-byte equal, as the comparisons of the tests expect.
        if (out.size() >= 36) std::fill(out.begin() + 24, out.begin() + 36, std::uint8_t(0));
    }
    if (profile) cmsCloseProfile(profile);
    return out;
}

// libtiff writes to a path here; the bytes are read back and the file removed.
Data writeTiffWith(const std::function<void(TIFF*)>& fill) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp ? tmp : "/tmp") + "/qvtest-tiff-XXXXXX";
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    int fd = ::mkstemp(path.data());
    if (fd < 0) throw std::runtime_error("mkstemp");
    ::close(fd);
    TIFF* tif = TIFFOpen(path.data(), "w");
    if (!tif) throw std::runtime_error("TIFFOpen");
    fill(tif);
    TIFFClose(tif);
    Data bytes = readFile(path.data());
    ::unlink(path.data());
    return bytes;
}

}  // namespace

Bitmap makeTestBitmap(int width, int height, PixelFormat format, bool transparent, bool premultiplied) {
    Bitmap rgba = Bitmap::make(width, height, PixelFormat::RGBA16);
    for (int y = 0; y < height; ++y) {
        auto* p = reinterpret_cast<std::uint16_t*>(rgba.row(y));
        for (int x = 0; x < width; ++x, p += 4) {
            const double u = width > 1 ? double(x) / (width - 1) : 0, v = height > 1 ? double(y) / (height - 1) : 0;
            p[0] = std::uint16_t(std::lround(65535 * u));
            p[1] = std::uint16_t(std::lround(65535 * v));
            p[2] = std::uint16_t(std::lround(65535 * (0.5 + 0.5 * std::sin(x * 0.7 + y * 0.3))));
            p[3] = transparent ? std::uint16_t(std::lround(65535 * std::min(1.0, (u + v) / 1.5))) : 65535;
        }
    }
    Bitmap out = io::support::convertPixels(rgba, format);
    if (premultiplied && hasAlpha(format)) {
        // Multiply colour by alpha in the target format's own precision.
        for (int y = 0; y < height; ++y) {
            std::uint8_t* p = out.row(y);
            for (int x = 0; x < width; ++x) {
                if (format == PixelFormat::ARGB8) {
                    std::uint8_t* q = p + x * 4;
                    for (int c = 1; c < 4; ++c) q[c] = std::uint8_t((q[c] * q[0] + 127) / 255);
                } else if (format == PixelFormat::RGBA8) {
                    std::uint8_t* q = p + x * 4;
                    for (int c = 0; c < 3; ++c) q[c] = std::uint8_t((q[c] * q[3] + 127) / 255);
                } else if (format == PixelFormat::RGBA16) {
                    auto* q = reinterpret_cast<std::uint16_t*>(p) + x * 4;
                    for (int c = 0; c < 3; ++c) q[c] = std::uint16_t((std::uint32_t(q[c]) * q[3] + 32767) / 65535);
                }
            }
        }
        out.premultiplied = true;
    }
    return out;
}

Data makeSRGBProfile() { return saveProfile(cmsCreate_sRGBProfile()); }

Data makeGrayProfile() {
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 2.2);
    cmsHPROFILE gray = cmsCreateGrayProfile(cmsD50_xyY(), curve);
    cmsFreeToneCurve(curve);
    return saveProfile(gray);
}

Data makeLabProfile() { return saveProfile(cmsCreateLab4Profile(nullptr)); }

Dictionary sampleMetadata(long orientation) {
    Dictionary tiff{{"Make", "Testmaker"}, {"Model", "Testcam X100"}, {"Orientation", orientation},
                    {"Software", "test suite"}, {"Artist", "Ann Example"}};
    Dictionary exif{{"FocalLength", 35.0},
                    {"MaxApertureValue", 1.6959938131099},
                    {"FNumber", 2.8},
                    {"ExposureTime", 0.008},
                    {"ISOSpeedRatings", Array{Value(200)}},
                    {"DateTimeOriginal", "2009:06:21 14:03:07"},
                    {"FocalLenIn35mmFilm", 52},
                    {"ExifVersion", Array{Value(2), Value(2), Value(1)}},
                    {"LensModel", "Test Zoom 18-55mm"}};
    Dictionary gps{{"LatitudeRef", "N"}, {"Latitude", 48.858222}, {"LongitudeRef", "E"},
                   {"Longitude", 2.2945}, {"Altitude", 35.5}, {"TimeStamp", "12:34:56.000"}};
    Dictionary iptc{{"Keywords", Array{Value("lens"), Value("test")}}, {"City", "Paris"},
                    {"CopyrightNotice", "(c) Ann Example"}};
    return Dictionary{{io::kCGImagePropertyTIFFDictionary, tiff},
                      {io::kCGImagePropertyExifDictionary, exif},
                      {io::kCGImagePropertyGPSDictionary, gps},
                      {io::kCGImagePropertyIPTCDictionary, iptc},
                      {io::kCGImagePropertyOrientation, orientation}};
}

Data makeDng(int width, int height, const std::string& make, const std::string& model, int orientation) {
    return writeTiffWith([&](TIFF* t) {
        static const std::uint8_t version[4] = {1, 4, 0, 0};
        TIFFSetField(t, TIFFTAG_SUBFILETYPE, 0);
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, 32803);  // colour filter array
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_MAKE, make.c_str());
        TIFFSetField(t, TIFFTAG_MODEL, model.c_str());
        TIFFSetField(t, TIFFTAG_ORIENTATION, orientation);
        TIFFSetField(t, TIFFTAG_DNGVERSION, version);
        TIFFSetField(t, TIFFTAG_UNIQUECAMERAMODEL, (make + " " + model).c_str());
        const std::uint16_t dims[2] = {2, 2};
        TIFFSetField(t, TIFFTAG_CFAREPEATPATTERNDIM, dims);
        const std::uint8_t pattern[4] = {0, 1, 1, 2};
        TIFFSetField(t, TIFFTAG_CFAPATTERN, 4, pattern);
        const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        TIFFSetField(t, TIFFTAG_COLORMATRIX1, 9, identity);
        const float neutral[3] = {1, 1, 1};
        TIFFSetField(t, TIFFTAG_ASSHOTNEUTRAL, 3, neutral);
        const std::uint32_t white = 65535;
        TIFFSetField(t, TIFFTAG_WHITELEVEL, 1, &white);
        std::vector<std::uint16_t> row(static_cast<std::size_t>(width));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) row[std::size_t(x)] = std::uint16_t((x * 997 + y * 131) % 60000 + 1000);
            TIFFWriteScanline(t, row.data(), std::uint32_t(y), 0);
        }
    });
}

Data makeDamagedDng() {
    constexpr std::uint32_t kSide = 32, kPastTheEnd = 100000000;
    struct Entry {
        std::uint16_t tag, type;
        std::uint32_t count, value;  // a short value in the low half
    };
    constexpr std::uint16_t kByte = 1, kAscii = 2, kShort = 3, kLong = 4;
    const Entry entries[] = {
        {254, kLong, 1, 0},           {256, kShort, 1, kSide},         {257, kShort, 1, kSide},
        {258, kShort, 1, 8},          {259, kShort, 1, 1},             {262, kShort, 1, 32803},  // CFA
        {271, kAscii, 4, 0x006D6143}, {273, kLong, 1, kPastTheEnd},    {277, kShort, 1, 1},
        {278, kShort, 1, kSide},      {279, kLong, 1, kSide * kSide},  {33421, kShort, 2, 0x00020002},
        {33422, kByte, 400, kPastTheEnd},  // the pattern: 400 bytes far past the end
        {50706, kByte, 4, 0x00000401},     // DNG version 1.4
    };
    Data out = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put16 = [&](std::uint32_t v) { out.push_back(std::uint8_t(v)), out.push_back(std::uint8_t(v >> 8)); };
    auto put32 = [&](std::uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
    put16(std::uint32_t(std::size(entries)));
    for (const Entry& e : entries) {
        put16(e.tag), put16(e.type), put32(e.count), put32(e.value);
    }
    put32(0);
    out.resize(202, 0);
    return out;
}

Data makeTiff(TiffLayout layout, int width, int height) {
    return writeTiffWith([&](TIFF* t) {
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(t, TIFFTAG_COMPRESSION, layout == TiffLayout::Deflate ? COMPRESSION_ADOBE_DEFLATE : COMPRESSION_NONE);
        int spp = 3, bps = 8;
        std::uint16_t photometric = PHOTOMETRIC_RGB;
        switch (layout) {
        case TiffLayout::Palette: spp = 1, bps = 4, photometric = PHOTOMETRIC_PALETTE; break;
        case TiffLayout::Bilevel: spp = 1, bps = 1, photometric = PHOTOMETRIC_MINISBLACK; break;
        case TiffLayout::MinIsWhite: spp = 1, bps = 8, photometric = PHOTOMETRIC_MINISWHITE; break;
        case TiffLayout::Cmyk: spp = 4, bps = 8, photometric = PHOTOMETRIC_SEPARATED; break;
        case TiffLayout::Float: spp = 3, bps = 32; break;
        case TiffLayout::GrayAlpha: spp = 2, bps = 16, photometric = PHOTOMETRIC_MINISBLACK; break;
        default: break;
        }
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, spp);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bps);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
        if (layout == TiffLayout::Float) TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
        if (layout == TiffLayout::GrayAlpha) {
            const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
            TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
        }
        if (layout == TiffLayout::Cmyk) TIFFSetField(t, TIFFTAG_INKSET, INKSET_CMYK);
        const bool separate = layout == TiffLayout::SeparatePlanes;
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
        std::vector<std::uint16_t> map[3];
        if (layout == TiffLayout::Palette) {
            for (int c = 0; c < 3; ++c) {
                map[c].resize(16);
                for (int i = 0; i < 16; ++i) map[c][std::size_t(i)] = std::uint16_t(((i * (c + 1) * 5) % 16) * 4369);
            }
            TIFFSetField(t, TIFFTAG_COLORMAP, map[0].data(), map[1].data(), map[2].data());
        }
        // The sample at (x, y, channel c), as a value between 0 and 1.
        auto value = [](int x, int y, int c) { return double((x * 7 + y * 13 + c * 29) % 64) / 63.0; };

        if (layout == TiffLayout::Tiled) {
            TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
            TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
            std::vector<std::uint8_t> tile(16 * 16 * 3);
            for (int ty = 0; ty < height; ty += 16)
                for (int tx = 0; tx < width; tx += 16) {
                    for (int y = 0; y < 16; ++y)
                        for (int x = 0; x < 16; ++x)
                            for (int c = 0; c < 3; ++c)
                                tile[std::size_t((y * 16 + x) * 3 + c)] = std::uint8_t(std::lround(255 * value(tx + x, ty + y, c)));
                    TIFFWriteTile(t, tile.data(), std::uint32_t(tx), std::uint32_t(ty), 0, 0);
                }
            return;
        }
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 5);
        const std::size_t rowBytes = std::size_t((width * (separate ? 1 : spp) * bps + 7) / 8);
        std::vector<std::uint8_t> row(rowBytes);
        for (int plane = 0; plane < (separate ? spp : 1); ++plane)
            for (int y = 0; y < height; ++y) {
                std::fill(row.begin(), row.end(), 0);
                for (int x = 0; x < width; ++x) {
                    const int samples = separate ? 1 : spp;
                    for (int s = 0; s < samples; ++s) {
                        const int c = separate ? plane : s;
                        const double v = value(x, y, c);
                        const std::size_t i = std::size_t(x * samples + s);
                        if (bps == 1) {
                            if (v > 0.5) row[i / 8] |= std::uint8_t(0x80 >> (i % 8));
                        } else if (bps == 4) {
                            row[i / 2] |= std::uint8_t((int(v * 15) & 15) << (i % 2 ? 0 : 4));
                        } else if (bps == 8) {
                            row[i] = std::uint8_t(std::lround(255 * v));
                        } else if (bps == 16) {
                            const std::uint16_t w = std::uint16_t(std::lround(65535 * v));
                            std::memcpy(&row[i * 2], &w, 2);
                        } else {
                            const float f = float(v);
                            std::memcpy(&row[i * 4], &f, 4);
                        }
                    }
                }
                TIFFWriteScanline(t, row.data(), std::uint32_t(y), std::uint16_t(plane));
            }
    });
}

Data encodeWithLayer(io::ImageType type, int width, int height, bool deep, const Dictionary& properties, const Data& profile) {
    Bitmap pixels = makeTestBitmap(width, height, deep ? PixelFormat::RGB16 : PixelFormat::RGB8);
    Data out;
    auto destination = io::ImageDestination::createWithData(out, io::typeIdentifier(type));
    if (!destination) throw std::runtime_error("no destination");
    io::ColorSpace space = io::ColorSpace::deviceRGB();
    if (!profile.empty()) space = *io::ColorSpace::fromICCProfile(profile);
    destination->addImage(pixels, properties, space);
    if (!destination->finalize()) throw std::runtime_error("encode failed: " + destination->error());
    return out;
}

int maxDifference16(const Bitmap& a, const Bitmap& b) {
    if (a.width != b.width || a.height != b.height) return 65536;
    std::vector<std::uint16_t> ra(std::size_t(a.width) * 4), rb(ra.size());
    int worst = 0;
    for (int y = 0; y < a.height; ++y) {
        io::support::readRowRGBA16(a, y, ra.data());
        io::support::readRowRGBA16(b, y, rb.data());
        for (std::size_t i = 0; i < ra.size(); ++i) worst = std::max(worst, std::abs(int(ra[i]) - int(rb[i])));
    }
    return worst;
}

int maxDifference8(const Bitmap& a, const Bitmap& b) {
    const int d = maxDifference16(a, b);
    return d > 65535 ? 256 : (d + 128) / 257;
}

void writeFile(const std::string& path, const Data& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

Data readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return Data(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace qvtest

// ---- formats written with the codec libraries directly ----

#include <jpeglib.h>
#include <png.h>

namespace qvtest {

int fixtureInk(int x, int y, int c) { return (x * 11 + y * 5 + c * 60) % 256; }

Data makeCmykJpeg(int width, int height) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(std::size_t(width) * 4);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = int(cinfo.next_scanline);
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 4; ++c) row[std::size_t(x * 4 + c)] = std::uint8_t(255 - fixtureInk(x, y, c));
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Data out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

Data makePalettePng(int width, int height) {
    Data out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t n) {
            auto* target = static_cast<Data*>(png_get_io_ptr(p));
            target->insert(target->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 4, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_ADAM7,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[16];
    for (int i = 0; i < 16; ++i) palette[i] = png_color{png_byte(i * 16), png_byte(255 - i * 16), png_byte(i * 7)};
    png_set_PLTE(png, info, palette, 16);
    png_byte alpha[1] = {0};
    png_set_tRNS(png, info, alpha, 1, nullptr);
    png_write_info(png, info);
    std::vector<std::vector<png_byte>> rows(std::size_t(height), std::vector<png_byte>(std::size_t((width + 1) / 2)));
    std::vector<png_bytep> pointers;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) rows[std::size_t(y)][std::size_t(x / 2)] |= png_byte(((x + y) % 16) << (x % 2 ? 0 : 4));
        pointers.push_back(rows[std::size_t(y)].data());
    }
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

}  // namespace qvtest
