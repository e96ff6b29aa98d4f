#include "unwrap/ImageCodecs.h"

#include <boost/gil/image_view_factory.hpp>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ios>
#include <memory>
#include <vector>

namespace unwrap {

namespace {

// libtiff's messages about one file, kept for the exception rather than printed.
struct TiffMessages {
    std::string text;
};

extern "C" int keepTiffError(TIFF*, void* user, const char* module, const char* format, va_list arguments) {
    char line[512];
    std::vsnprintf(line, sizeof line, format, arguments);
    std::string& text = static_cast<TiffMessages*>(user)->text;
    if (!text.empty()) text += "; ";
    text += (module ? std::string(module) + ": " : std::string()) + line;
    return 1;
}

extern "C" int ignoreTiffWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffFile = std::unique_ptr<TIFF, TiffCloser>;

struct OptionsFreer {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

std::unique_ptr<TIFFOpenOptions, OptionsFreer> optionsFor(TiffMessages& messages) {
    std::unique_ptr<TIFFOpenOptions, OptionsFreer> options(TIFFOpenOptionsAlloc());
    if (!options) throw std::bad_alloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), keepTiffError, &messages);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), ignoreTiffWarning, nullptr);
    return options;
}

std::ios_base::failure failure(const std::string& what, const std::string& name, const std::string& why) {
    return std::ios_base::failure(what + " " + name + (why.empty() ? "" : ": " + why));
}

// Copies the decoded strips or tiles of the file into the view. Both are rectangles of chunkWidth x
// chunkHeight pixels, holding all three channels or, for a file in planes, one.
template <typename View>
void readChunks(TIFF* tiff, const View& view, bool planes, TiffMessages& messages, const std::string& name) {
    using Channel = typename gil::channel_type<View>::type;
    const int width = int(view.width()), height = int(view.height());
    const bool tiled = TIFFIsTiled(tiff) != 0;
    std::uint32_t chunkWidth = std::uint32_t(width), chunkHeight = 0;
    if (tiled) {
        TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &chunkWidth);
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &chunkHeight);
    } else {
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &chunkHeight);
    }
    chunkHeight = std::min<std::uint32_t>(std::max<std::uint32_t>(chunkHeight, 1), std::uint32_t(height));
    if (chunkWidth == 0) throw failure("cannot read", name, "tiles without a width");
    const int samples = planes ? 1 : 3;
    const tmsize_t chunkBytes = tiled ? TIFFTileSize(tiff) : TIFFStripSize(tiff);
    const std::size_t chunkRowChannels = std::size_t(chunkWidth) * std::size_t(samples);
    if (chunkBytes <= 0 || std::size_t(chunkBytes) < chunkRowChannels * sizeof(Channel))
        throw failure("cannot read", name, messages.text);
    std::vector<Channel> chunk(std::size_t(chunkBytes) / sizeof(Channel) + 1);

    for (int plane = 0; plane < (planes ? 3 : 1); ++plane)
        for (std::uint32_t top = 0; top < std::uint32_t(height); top += chunkHeight)
            for (std::uint32_t left = 0; left < std::uint32_t(width); left += chunkWidth) {
                const tmsize_t got =
                    tiled ? TIFFReadEncodedTile(tiff, TIFFComputeTile(tiff, left, top, 0, tsample_t(plane)),
                                                chunk.data(), chunkBytes)
                          : TIFFReadEncodedStrip(tiff, TIFFComputeStrip(tiff, top, tsample_t(plane)), chunk.data(),
                                                 chunkBytes);
                const std::uint32_t rows = std::min(chunkHeight, std::uint32_t(height) - top);
                const std::uint32_t columns = std::min(chunkWidth, std::uint32_t(width) - left);
                if (got < 0 || std::size_t(got) < ((rows - 1) * chunkRowChannels + columns * samples) * sizeof(Channel))
                    throw failure("cannot read", name, messages.text.empty() ? "data missing" : messages.text);
                for (std::uint32_t r = 0; r < rows; ++r) {
                    const Channel* from = chunk.data() + r * chunkRowChannels;
                    Channel* to = &gil::at_c<0>(view(int(left), int(top + r)));
                    if (!planes) {
                        std::memcpy(to, from, std::size_t(columns) * 3 * sizeof(Channel));
                    } else {
                        for (std::uint32_t c = 0; c < columns; ++c) to[3 * c + std::uint32_t(plane)] = from[c];
                    }
                }
            }
}

}  // namespace

void decodeTiff(const std::string& name, Image& image) {
    TiffMessages messages;
    const auto options = optionsFor(messages);
    const TiffFile tiff(TIFFOpenExt(name.c_str(), "r", options.get()));
    if (!tiff) throw failure("cannot read", name, messages.text);

    std::uint32_t width = 0, height = 0;
    std::uint16_t samples = 0, bits = 0, format = 0, photometric = 0, planar = 0;
    if (!TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height) ||
        !TIFFGetField(tiff.get(), TIFFTAG_PHOTOMETRIC, &photometric))
        throw failure("cannot read", name, messages.text.empty() ? "required tags missing" : messages.text);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_PLANARCONFIG, &planar);
    // Grey, alpha, palette, CMYK, YCbCr, CIELab and floating-point files are not the engine's.
    if (samples != 3 || (bits != 8 && bits != 16) || format != SAMPLEFORMAT_UINT || photometric != PHOTOMETRIC_RGB)
        throw failure("not an 8- or 16-bit RGB TIFF file:", name, "");
    // The header's size is checked before anything is allocated for it: a short file may claim any.
    if (const std::string refusal = imageSizeRefusal(width, height); !refusal.empty())
        throw failure("cannot read", name, refusal);

    const bool planes = planar == PLANARCONFIG_SEPARATE;
    if (bits == 8) {
        auto& typed = image.emplace<gil::rgb8_image_t>(int(width), int(height));
        readChunks(tiff.get(), gil::view(typed), planes, messages, name);
    } else {
        auto& typed = image.emplace<gil::rgb16_image_t>(int(width), int(height));
        readChunks(tiff.get(), gil::view(typed), planes, messages, name);
    }
}

void encodeTiff(int fd, const std::string& name, const void* rows, std::ptrdiff_t rowBytes, int width, int height,
                int bitsPerChannel) {
    TiffMessages messages;
    const auto options = optionsFor(messages);
    TIFF* tiff = TIFFFdOpenExt(fd, name.c_str(), "w", options.get());
    if (!tiff) {
        ::close(fd);
        throw failure("cannot write", name, messages.text);
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
                   TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 72.0) && TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 72.0) &&
                   TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, std::uint16_t(RESUNIT_INCH)) &&
                   TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
    // libtiff may work on the row it is given, so each row goes through a buffer of our own.
    const std::size_t bytesPerRow = std::size_t(width) * 3 * std::size_t(bitsPerChannel / 8);
    std::vector<unsigned char> row(bytesPerRow);
    const unsigned char* source = static_cast<const unsigned char*>(rows);
    for (int y = 0; written && y < height; ++y) {
        std::memcpy(row.data(), source + std::ptrdiff_t(y) * rowBytes, bytesPerRow);
        written = TIFFWriteScanline(tiff, row.data(), std::uint32_t(y), 0) >= 0;
    }
    written = written && TIFFWriteDirectory(tiff) && ::fsync(TIFFFileno(tiff)) == 0;
    TIFFClose(tiff);  // closes fd
    if (!written) throw failure("cannot write", name, messages.text.empty() ? std::strerror(errno) : messages.text);
}

}  // namespace unwrap
