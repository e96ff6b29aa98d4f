// TIFF through libtiff: 1- to 16-bit integer and 32-bit float samples, gray, RGB, palette and CMYK,
// strips and tiles, contiguous or separate planes, any compression libtiff decodes. Pictures
// outside those (YCbCr without JPEG, CIE Lab, LogLuv, ...) go through libtiff's RGBA reader.
// Large pictures are decoded in runs of strips or tile rows on several threads at once.
#include <tiffio.h>

#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/task_arena.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <vector>

#include "imageio/codecs/Codec.h"
#include "imageio/support/Cmyk.h"
#include "imageio/support/MemoryTiff.h"
#include "imageio/support/PixelLayout.h"

namespace qv::io::codec {

namespace {

using support::MemoryTiff;

enum class Kind { Gray, RGB, Palette, CMYK, Generic };

struct Fields {
    std::uint32_t width = 0, height = 0;
    std::uint16_t bps = 1, spp = 1, photometric = PHOTOMETRIC_MINISBLACK, planar = PLANARCONFIG_CONTIG;
    std::uint16_t sampleFormat = SAMPLEFORMAT_UINT, compression = COMPRESSION_NONE, inkSet = INKSET_CMYK;
    bool tiled = false;
    std::uint32_t tileWidth = 0, tileHeight = 0, rowsPerStrip = 0;
    bool hasOrientation = false;
    std::uint16_t orientation = 1;
    bool alpha = false, associatedAlpha = false;
    Kind kind = Kind::Generic;
    int colorChannels = 0;

    int outputBits() const { return kind != Kind::Palette && bps > 8 ? 16 : 8; }
};

bool directlyReadable(const Fields& f) {
    const bool integer = f.sampleFormat == SAMPLEFORMAT_UINT && (f.bps == 8 || f.bps == 16 || (f.bps < 8 && f.spp == 1));
    const bool floating = f.sampleFormat == SAMPLEFORMAT_IEEEFP && f.bps == 32;
    if (!integer && !floating) return false;
    if (f.kind == Kind::Palette) return f.bps <= 8 && f.spp == 1;
    return f.kind != Kind::Generic && f.spp >= f.colorChannels;
}

Fields readFields(TIFF* tif) {
    Fields f;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &f.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &f.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &f.bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &f.spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &f.planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &f.sampleFormat);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &f.compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &f.inkSet);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &f.photometric))
        f.photometric = f.spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    f.hasOrientation = TIFFGetField(tif, TIFFTAG_ORIENTATION, &f.orientation) == 1;
    f.tiled = TIFFIsTiled(tif) != 0;
    if (f.tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &f.tileWidth);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &f.tileHeight);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &f.rowsPerStrip);
        f.rowsPerStrip = std::max<std::uint32_t>(1, std::min(f.rowsPerStrip, f.height));
    }

    // JPEG-compressed YCbCr is decoded to RGB by libtiff's JPEG codec itself.
    if (f.photometric == PHOTOMETRIC_YCBCR && f.compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        f.photometric = PHOTOMETRIC_RGB;
    }
    switch (f.photometric) {
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE: f.kind = Kind::Gray, f.colorChannels = 1; break;
    case PHOTOMETRIC_RGB: f.kind = Kind::RGB, f.colorChannels = 3; break;
    case PHOTOMETRIC_PALETTE: f.kind = Kind::Palette, f.colorChannels = 1; break;
    case PHOTOMETRIC_SEPARATED:
        if (f.inkSet == INKSET_CMYK && f.spp >= 4) f.kind = Kind::CMYK, f.colorChannels = 4;
        break;
    default: break;
    }

    std::uint16_t extraCount = 0;
    std::uint16_t* extraTypes = nullptr;
    const bool extraSamples = TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) && extraCount > 0 && extraTypes;
    if ((f.kind == Kind::Gray || f.kind == Kind::RGB) && f.spp > f.colorChannels) {
        // Associated, unassociated or unspecified: an extra sample after the colour is alpha.
        f.alpha = true;
        f.associatedAlpha = extraSamples && extraTypes[0] == EXTRASAMPLE_ASSOCALPHA;
    }
    if (!directlyReadable(f)) {
        f.kind = Kind::Generic;
        f.alpha = extraSamples && f.photometric != PHOTOMETRIC_SEPARATED;
        f.associatedAlpha = false;
    }
    return f;
}

PixelFormat outputFormat(const Fields& f) {
    const bool deep = f.outputBits() == 16;
    switch (f.kind) {
    case Kind::Gray:
        if (f.alpha) return deep ? PixelFormat::RGBA16 : PixelFormat::RGBA8;
        return deep ? PixelFormat::Gray16 : PixelFormat::Gray8;
    case Kind::RGB:
        if (f.alpha) return deep ? PixelFormat::RGBA16 : PixelFormat::RGBA8;
        return deep ? PixelFormat::RGB16 : PixelFormat::RGB8;
    case Kind::Palette: return PixelFormat::RGB8;
    case Kind::CMYK: return deep ? PixelFormat::RGB16 : PixelFormat::RGB8;
    case Kind::Generic: break;
    }
    return PixelFormat::RGBA8;
}

// Copies `count` samples of a packed row to dst, `stride` units apart. Samples under 8 bits are
// unpacked to one byte each (their raw value); wider ones are copied whole.
void placeSamples(const std::uint8_t* src, int bps, std::size_t count, std::uint8_t* dst, std::size_t stride) {
    if (bps < 8) {
        const unsigned mask = (1u << bps) - 1;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t bit = i * std::size_t(bps);
            dst[i * stride] = std::uint8_t((src[bit >> 3] >> (8 - bps - (bit & 7))) & mask);
        }
        return;
    }
    const std::size_t unit = std::size_t(bps) / 8;
    if (stride == 1) {
        std::memcpy(dst, src, count * unit);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) std::memcpy(dst + i * stride * unit, src + i * unit, unit);
}

class BandReader {
public:
    BandReader(TIFF* tif, const Fields& f) : m_tif(tif), m_f(f) {
        m_unit = f.bps <= 8 ? 1 : std::size_t(f.bps) / 8;
        m_bandRows = f.tiled ? f.tileHeight : f.rowsPerStrip;
        m_planes = f.planar == PLANARCONFIG_SEPARATE ? f.spp : 1;
        m_pixelSamples = f.spp;
    }

    std::uint32_t bandRows() const { return m_bandRows; }
    std::size_t bandRowBytes() const { return std::size_t(m_f.width) * m_pixelSamples * m_unit; }

    // Reads rows [y0, y0 + rows) into band as interleaved samples of m_unit bytes.
    bool read(std::uint32_t y0, std::uint32_t rows, std::uint8_t* band, std::string& error) {
        const bool contig = m_planes == 1;
        const std::size_t samplesAcross = contig ? m_f.spp : 1;
        for (std::uint16_t plane = 0; plane < m_planes; ++plane) {
            std::uint8_t* planeStart = band + (contig ? 0 : plane * m_unit);
            if (!m_f.tiled) {
                const std::size_t packedRow = (std::size_t(m_f.width) * samplesAcross * m_f.bps + 7) / 8;
                const tmsize_t n = TIFFReadEncodedStrip(m_tif, TIFFComputeStrip(m_tif, y0, plane), buffer(TIFFStripSize64(m_tif)),
                                                        tmsize_t(-1));
                if (n < 0 || std::size_t(n) < packedRow * rows) return fail(error);
                for (std::uint32_t r = 0; r < rows; ++r)
                    placeSamples(m_buffer.data() + r * packedRow, m_f.bps, std::size_t(m_f.width) * samplesAcross,
                                 planeStart + r * bandRowBytes(), contig ? 1 : m_f.spp);
                continue;
            }
            const std::size_t packedRow = (std::size_t(m_f.tileWidth) * samplesAcross * m_f.bps + 7) / 8;
            for (std::uint32_t x = 0; x < m_f.width; x += m_f.tileWidth) {
                const tmsize_t n = TIFFReadEncodedTile(m_tif, TIFFComputeTile(m_tif, x, y0, 0, plane),
                                                       buffer(TIFFTileSize64(m_tif)), tmsize_t(-1));
                if (n < 0 || std::size_t(n) < packedRow * rows) return fail(error);
                const std::size_t columns = std::min<std::size_t>(m_f.tileWidth, m_f.width - x);
                for (std::uint32_t r = 0; r < rows; ++r)
                    placeSamples(m_buffer.data() + r * packedRow, m_f.bps, columns * samplesAcross,
                                 planeStart + r * bandRowBytes() + std::size_t(x) * m_pixelSamples * m_unit,
                                 contig ? 1 : m_f.spp);
            }
        }
        return true;
    }

private:
    std::uint8_t* buffer(std::uint64_t size) {
        if (m_buffer.size() < size) m_buffer.resize(std::size_t(size));
        return m_buffer.data();
    }
    static bool fail(std::string& error) {
        if (error.empty()) error = "damaged TIFF image data";
        return false;
    }

    TIFF* m_tif;
    const Fields& m_f;
    std::size_t m_unit = 1;
    std::uint32_t m_bandRows = 1;
    std::uint16_t m_planes = 1;
    std::size_t m_pixelSamples = 1;
    std::vector<std::uint8_t> m_buffer;
};

// One sample of a band row, scaled to 16 bits.
inline std::uint16_t sample16(const Fields& f, const std::uint8_t* row, std::size_t index) {
    if (f.sampleFormat == SAMPLEFORMAT_IEEEFP) {
        float v;
        std::memcpy(&v, row + index * 4, 4);
        if (!(v > 0.0f)) return 0;
        return v >= 1.0f ? 65535 : std::uint16_t(v * 65535.0f + 0.5f);
    }
    if (f.bps == 16) {
        std::uint16_t v;
        std::memcpy(&v, row + index * 2, 2);
        return v;
    }
    const unsigned v = row[index];
    if (f.bps == 8) return std::uint16_t(v * 257u);
    return std::uint16_t(v * 65535u / ((1u << f.bps) - 1u));
}

// Converts one band row into one output row.
void convertRow(const Fields& f, const std::uint8_t* src, std::uint8_t* dst, const std::uint16_t* const* colormap,
                bool colormap16, const support::CmykConverter* cmyk, std::vector<std::uint8_t>& scratch) {
    const std::size_t w = f.width, spp = f.spp;
    const bool deep = f.outputBits() == 16;
    auto put = [&](std::size_t i, std::uint16_t v) {
        if (deep)
            std::memcpy(dst + i * 2, &v, 2);
        else
            dst[i] = std::uint8_t((unsigned(v) * 255u + 32767u) / 65535u);
    };
    switch (f.kind) {
    case Kind::Gray: {
        const bool invert = f.photometric == PHOTOMETRIC_MINISWHITE;
        for (std::size_t x = 0; x < w; ++x) {
            std::uint16_t g = sample16(f, src, x * spp);
            if (invert) g = std::uint16_t(65535 - g);
            if (f.alpha) {
                put(x * 4, g), put(x * 4 + 1, g), put(x * 4 + 2, g), put(x * 4 + 3, sample16(f, src, x * spp + 1));
            } else {
                put(x, g);
            }
        }
        break;
    }
    case Kind::RGB: {
        const std::size_t out = f.alpha ? 4 : 3;
        for (std::size_t x = 0; x < w; ++x)
            for (std::size_t c = 0; c < out; ++c) put(x * out + c, sample16(f, src, x * spp + c));
        break;
    }
    case Kind::Palette: {
        const std::size_t entries = std::size_t(1) << f.bps;
        for (std::size_t x = 0; x < w; ++x) {
            const std::size_t index = std::min<std::size_t>(src[x], entries - 1);
            for (int c = 0; c < 3; ++c) {
                const unsigned v = colormap[c][index];
                dst[x * 3 + std::size_t(c)] = std::uint8_t(colormap16 ? v >> 8 : v);
            }
        }
        break;
    }
    case Kind::CMYK: {
        const std::size_t unit = deep ? 2 : 1;
        scratch.resize(w * 4 * unit);
        for (std::size_t x = 0; x < w; ++x)
            for (std::size_t c = 0; c < 4; ++c) {
                const std::uint16_t v = sample16(f, src, x * spp + c);
                if (deep)
                    std::memcpy(&scratch[(x * 4 + c) * 2], &v, 2);
                else
                    scratch[x * 4 + c] = std::uint8_t((unsigned(v) * 255u + 32767u) / 65535u);
            }
        cmyk->convert(scratch.data(), dst, w);
        break;
    }
    case Kind::Generic: break;
    }
}

// RGB samples to RGBA with the alpha given (its maximum: opaque).
template <class T>
void widenToOpaqueRGBA(const T* src, T* dst, std::uint32_t width, T alpha) {
    for (std::uint32_t x = 0; x < width; ++x, src += 3, dst += 4) dst[0] = src[0], dst[1] = src[1], dst[2] = src[2], dst[3] = alpha;
}

// Whether a band row already has the output layout, so that rows are copied as they stand.
bool rowsCopyAsStored(const Fields& f) {
    return (f.kind == Kind::Gray || f.kind == Kind::RGB) && f.photometric != PHOTOMETRIC_MINISWHITE &&
           f.sampleFormat == SAMPLEFORMAT_UINT && (f.bps == 8 || f.bps == 16) &&
           f.spp == f.colorChannels + (f.alpha ? 1 : 0) && !(f.kind == Kind::Gray && f.alpha);
}

// How a band row becomes its output row: widened to opaque RGBA, copied as it stands, or converted
// sample by sample. One writer serves every band run of a decode; the runs only read it.
struct RowWriter {
    const Fields& f;
    bool fourChannels = false;  // opaque RGB rows widened to RGBA on the way in
    bool copyRows = false;      // band rows already have the output layout
    const std::uint16_t* const* colormap = nullptr;
    bool colormap16 = false;
    // Shared: its conversion only reads the transform (Little CMS keeps the one-pixel cache of a
    // call in that call, from 2.3 on), and the profile-less formula reads nothing but the samples.
    const support::CmykConverter* cmyk = nullptr;

    void write(const std::uint8_t* src, std::uint8_t* dst, std::size_t dstBytes, std::vector<std::uint8_t>& scratch) const {
        const bool deep = f.outputBits() == 16;
        if (fourChannels && deep)
            widenToOpaqueRGBA(reinterpret_cast<const std::uint16_t*>(src), reinterpret_cast<std::uint16_t*>(dst), f.width,
                              std::uint16_t(65535));
        else if (fourChannels)
            widenToOpaqueRGBA(src, dst, f.width, std::uint8_t(255));
        else if (copyRows)
            std::memcpy(dst, src, dstBytes);
        else
            convertRow(f, src, dst, colormap, colormap16, cmyk, scratch);
    }
};

// A run of bands, [first, end), and so of the picture's rows.
struct BandSpan {
    std::uint32_t first = 0, end = 0;
};

// Decodes the bands of `span` through one handle into their rows of `out`. The error is the
// handle's own libtiff message when it has one, else "damaged TIFF image data". A set `stop` ends
// the run at the next band (false, no error of its own): another run has failed already.
bool decodeBands(const MemoryTiff& file, const Fields& f, const RowWriter& writer, Bitmap& out, BandSpan span,
                 const std::atomic<bool>* stop, std::string& error) {
    BandReader reader(file.handle(), f);
    std::vector<std::uint8_t> band(reader.bandRowBytes() * reader.bandRows());
    std::vector<std::uint8_t> scratch;
    for (std::uint32_t b = span.first; b < span.end; ++b) {
        if (stop && stop->load(std::memory_order_relaxed)) return false;
        const std::uint32_t y0 = b * reader.bandRows();
        const std::uint32_t rows = std::min(reader.bandRows(), f.height - y0);
        if (!reader.read(y0, rows, band.data(), error)) {
            if (file.failed()) error = file.error();
            return false;
        }
        for (std::uint32_t r = 0; r < rows; ++r)
            writer.write(band.data() + r * reader.bandRowBytes(), out.row(int(y0 + r)), out.bytesPerRow, scratch);
    }
    return true;
}

// Runs a step of the decode that allocates, turning what it throws into the decode's error: no
// exception leaves decode().
template <class Step>
bool withoutExceptions(std::string& error, Step&& step) noexcept {
    try {
        return step();
    } catch (const std::bad_alloc&) {
        error = "out of memory";
    } catch (const std::exception& e) {
        error = std::string("cannot decode the TIFF image: ") + e.what();
    } catch (...) {
        error = "cannot decode the TIFF image";
    }
    return false;
}

// The first failure among band runs decoded at once: its message becomes the decode's, and the
// runs still going see the flag and stop at their next band.
class FirstFailure {
public:
    // Later failures, and the runs that stopped because of the first, change nothing.
    void record(std::string message) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_failed.load(std::memory_order_relaxed)) return;
        m_error = message.empty() ? "damaged TIFF image data" : std::move(message);
        m_failed.store(true, std::memory_order_relaxed);
    }
    const std::atomic<bool>& flag() const { return m_failed; }
    // Whether a run failed, and then its message; asked once the runs have ended.
    bool failed(std::string& error) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_failed.load(std::memory_order_relaxed)) error = m_error;
        return m_failed.load(std::memory_order_relaxed);
    }

private:
    std::mutex m_mutex;
    std::atomic<bool> m_failed{false};
    std::string m_error;
};

// Runs per thread: a few, so that while one run is slow (a busier part of a compressed picture)
// the other threads still find runs to take; and no more, because each run opens a handle of its
// own and so parses the directory again.
constexpr std::uint32_t kRunsPerThread = 3;

// How many runs the bands are decoded in: one (on the calling thread) for pictures below
// kTiffParallelDecodeBytes, else a few per thread the loop may use, never more than the bands.
std::uint32_t bandRuns(std::size_t outputBytes, std::uint32_t bands) {
    if (outputBytes < kTiffParallelDecodeBytes) return 1;
    const auto threads = std::uint32_t(std::max(1, tbb::this_task_arena::max_concurrency()));
    if (threads == 1) return 1;
    return std::min(bands, threads * kRunsPerThread);
}

// The bands of run `run` of `runs`: consecutive, about equal, together all `bands` in order.
BandSpan runSpan(std::uint32_t bands, std::uint32_t run, std::uint32_t runs) {
    return {std::uint32_t(std::uint64_t(bands) * run / runs), std::uint32_t(std::uint64_t(bands) * (run + 1) / runs)};
}

// Decodes the bands in `runs` runs at once, each on a libtiff handle of its own over the same bytes:
// a handle keeps a read position and codec state, so no two threads may share one. The runs write
// disjoint rows of `out`. False, with the first run's failure as the error, when any run fails.
bool decodeBandsInParallel(const Data& bytes, const Fields& f, const RowWriter& writer, Bitmap& out, std::uint32_t bands,
                           std::uint32_t runs, std::string& error) {
    FirstFailure failure;
    auto decodeRun = [&](std::uint32_t run) {
        if (failure.flag().load(std::memory_order_relaxed)) return;  // the decode has failed already
        std::string runError;
        const bool ok = withoutExceptions(runError, [&] {
            auto file = MemoryTiff::openForReading(bytes.data(), bytes.size(), runError);
            if (!file) return false;
            // The same directory gives the same fields; reading them also sets up the handle as the
            // first one was (RGB out of the JPEG codec).
            readFields(file->handle());
            return decodeBands(*file, f, writer, out, runSpan(bands, run, runs), &failure.flag(), runError);
        });
        if (!ok) failure.record(std::move(runError));
    };
    std::string loopError;
    if (!withoutExceptions(loopError, [&] {
            tbb::parallel_for(std::uint32_t(0), runs, decodeRun);
            return true;
        }))
        failure.record(std::move(loopError));
    return !failure.failed(error);
}

std::optional<Bitmap> decodeGeneric(TIFF* tif, const Fields& f, std::string& error) {
    char message[1024] = "";
    if (!TIFFRGBAImageOK(tif, message)) {
        error = std::string("unsupported TIFF: ") + message;
        return std::nullopt;
    }
    TIFFRGBAImage image;
    if (!TIFFRGBAImageBegin(&image, tif, 0, message)) {
        error = std::string("unsupported TIFF: ") + message;
        return std::nullopt;
    }
    // Asking for the file's own orientation keeps the rows as stored: orientation is the caller's.
    image.req_orientation = image.orientation;
    std::vector<std::uint32_t> raster;
    Bitmap out = Bitmap::make(int(f.width), int(f.height), PixelFormat::RGBA8);
    bool ok = out.isValid();
    if (ok) {
        raster.resize(std::size_t(f.width) * f.height);
        ok = TIFFRGBAImageGet(&image, raster.data(), f.width, f.height) != 0;
    }
    TIFFRGBAImageEnd(&image);
    if (!ok) {
        if (error.empty()) error = "damaged TIFF image data";
        return std::nullopt;
    }
    for (std::uint32_t y = 0; y < f.height; ++y) {
        std::uint8_t* d = out.row(int(y));
        const std::uint32_t* s = raster.data() + std::size_t(y) * f.width;
        for (std::uint32_t x = 0; x < f.width; ++x, d += 4) {
            d[0] = std::uint8_t(TIFFGetR(s[x])), d[1] = std::uint8_t(TIFFGetG(s[x]));
            d[2] = std::uint8_t(TIFFGetB(s[x])), d[3] = std::uint8_t(TIFFGetA(s[x]));
        }
    }
    // libtiff hands back premultiplied colour for associated alpha; the flag says so.
    out.premultiplied = image.alpha == EXTRASAMPLE_ASSOCALPHA;
    if (!f.alpha) return support::convertPixels(out, PixelFormat::RGB8);
    return out;
}

class TiffDecoder final : public Decoder {
public:
    explicit TiffDecoder(std::shared_ptr<const Data> bytes) : m_bytes(std::move(bytes)) {}

    bool readHeader(Header& header, std::string& error) override {
        auto file = MemoryTiff::openForReading(m_bytes->data(), m_bytes->size(), error);
        if (!file) return false;
        TIFF* tif = file->handle();
        const Fields f = readFields(tif);
        if (f.width == 0 || f.height == 0) {
            error = "the TIFF image has no pixels";
            return false;
        }
        header.width = int(std::min<std::uint32_t>(f.width, 0x7FFFFFFF));
        header.height = int(std::min<std::uint32_t>(f.height, 0x7FFFFFFF));
        header.bitsPerComponent = f.kind == Kind::Generic ? 8 : f.outputBits();
        header.hasAlpha = f.alpha;
        header.colorModel = f.photometric == PHOTOMETRIC_SEPARATED ? "CMYK"
                            : (f.kind == Kind::Gray) ? "Gray"
                                                     : "RGB";
        header.decodedAsSRGB = f.kind == Kind::CMYK;
        if (f.hasOrientation) header.orientation = f.orientation;
        std::uint32_t iccLength = 0;
        void* icc = nullptr;
        if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &iccLength, &icc) && icc && iccLength)
            header.iccProfile.assign(static_cast<const std::uint8_t*>(icc), static_cast<const std::uint8_t*>(icc) + iccLength);
        float xres = 0, yres = 0;
        std::uint16_t unit = RESUNIT_INCH;
        TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
        if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres) && TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yres) &&
            std::isfinite(xres) && std::isfinite(yres) && xres > 0 && yres > 0 && unit != RESUNIT_NONE) {
            const double perInch = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
            header.dpiWidth = xres * perInch;
            header.dpiHeight = yres * perInch;
        }
        return true;
    }

    std::optional<Bitmap> decode(const Limits& limits, std::string& error) override {
        auto file = MemoryTiff::openForReading(m_bytes->data(), m_bytes->size(), error);
        if (!file) return std::nullopt;
        TIFF* tif = file->handle();
        const Fields f = readFields(tif);
        if (!plausibleSize(f.width, f.height, m_bytes->size(), limits, error)) return std::nullopt;
        if (f.kind == Kind::Generic) {
            auto out = decodeGeneric(tif, f, error);
            if (file->failed() && error.empty()) error = file->error();
            return out;
        }
        if ((f.tiled && (f.tileWidth == 0 || f.tileHeight == 0)) || f.spp == 0 || f.spp > 16) {
            error = "damaged TIFF layout";
            return std::nullopt;
        }
        // Opaque RGB rows stored as they are decoded can be widened to RGBA on the way in.
        const bool fourChannels = limits.fourChannels && f.kind == Kind::RGB && !f.alpha && rowsCopyAsStored(f);
        const bool deep = f.outputBits() == 16;
        Bitmap out = fourChannels
                         ? Bitmap::makeUninitialized(int(f.width), int(f.height), deep ? PixelFormat::RGBA16 : PixelFormat::RGBA8, true)
                         : Bitmap::make(int(f.width), int(f.height), outputFormat(f), f.associatedAlpha);
        if (!out.isValid()) {
            error = "out of memory";
            return std::nullopt;
        }

        std::uint16_t* colormap[3] = {nullptr, nullptr, nullptr};
        bool colormap16 = false;
        if (f.kind == Kind::Palette) {
            if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &colormap[0], &colormap[1], &colormap[2]) || !colormap[0]) {
                error = "the palette TIFF has no colour map";
                return std::nullopt;
            }
            // Old writers stored 8-bit values in the 16-bit colour map; scale only real 16-bit maps.
            const std::size_t entries = std::size_t(1) << f.bps;
            for (std::size_t i = 0; i < entries && !colormap16; ++i)
                colormap16 = colormap[0][i] > 255 || colormap[1][i] > 255 || colormap[2][i] > 255;
        }
        std::unique_ptr<support::CmykConverter> cmyk;
        if (f.kind == Kind::CMYK) {
            std::uint32_t iccLength = 0;
            void* icc = nullptr;
            Data profile;
            if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &iccLength, &icc) && icc && iccLength)
                profile.assign(static_cast<const std::uint8_t*>(icc), static_cast<const std::uint8_t*>(icc) + iccLength);
            cmyk = std::make_unique<support::CmykConverter>(profile, f.outputBits(), false);
        }

        BandReader reader(tif, f);
        if (std::uint64_t(reader.bandRowBytes()) * reader.bandRows() > (std::uint64_t(1) << 30)) {
            error = "damaged TIFF layout (oversized strips or tiles)";
            return std::nullopt;
        }
        const RowWriter writer{f, fourChannels, rowsCopyAsStored(f), colormap, colormap16, cmyk.get()};
        const auto bands = std::uint32_t((std::uint64_t(f.height) + reader.bandRows() - 1) / reader.bandRows());
        const std::uint32_t runs = bandRuns(out.bytesPerRow * f.height, bands);
        const bool decoded =
            runs > 1 ? decodeBandsInParallel(*m_bytes, f, writer, out, bands, runs, error)
                     : withoutExceptions(error, [&] { return decodeBands(*file, f, writer, out, {0, bands}, nullptr, error); });
        if (!decoded) return std::nullopt;
        return out;
    }

private:
    std::shared_ptr<const Data> m_bytes;
};

bool writeTiffC(TIFF* tif, BandSource& bands, const EncodeSettings& settings) {
    const int channels = channelCount(bands.format());
    const int bits = bitsPerComponent(bands.format());
    const int width = bands.width(), height = bands.height();
    int compression = settings.tiffCompression;
    if (compression == COMPRESSION_DEFLATE) compression = COMPRESSION_ADOBE_DEFLATE;  // the old code, same codec
    if (compression != COMPRESSION_LZW && compression != COMPRESSION_ADOBE_DEFLATE && compression != COMPRESSION_PACKBITS)
        compression = COMPRESSION_NONE;

    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, std::uint32_t(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, std::uint32_t(height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, std::uint16_t(bits));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, std::uint16_t(channels));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, channels >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, std::uint16_t(compression));
    if (compression == COMPRESSION_LZW || compression == COMPRESSION_ADOBE_DEFLATE)
        TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (channels == 4) {
        const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    if (settings.orientation >= 1 && settings.orientation <= 8)
        TIFFSetField(tif, TIFFTAG_ORIENTATION, std::uint16_t(settings.orientation));
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, float(settings.dpiWidth > 0 ? settings.dpiWidth : 72.0));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, float(settings.dpiHeight > 0 ? settings.dpiHeight : 72.0));
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    if (!settings.iccProfile.empty())
        TIFFSetField(tif, TIFFTAG_ICCPROFILE, std::uint32_t(settings.iccProfile.size()), settings.iccProfile.data());

    // Strips of about 256 KB: few enough for big pictures, small enough to stream.
    const std::size_t rowBytes = std::size_t(width) * std::size_t(bytesPerPixel(bands.format()));
    const std::uint32_t rowsPerStrip = std::uint32_t(std::clamp<std::size_t>((256 * 1024) / std::max<std::size_t>(rowBytes, 1), 1,
                                                                              std::size_t(height)));
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    // Rows are gathered into strips as the bands arrive (the predictor rewrites the data it is
    // given, so a strip is a copy in any case).
    std::vector<std::uint8_t> strip(rowBytes * rowsPerStrip);
    std::uint32_t index = 0;
    int stripRows = 0, written = 0, first = 0;
    while (written < height) {
        const Bitmap* band = bands.nextBand(first);
        // A source that ends early, or out of order, would leave the rest of the picture made up.
        if (!band || first != written || band->height <= 0 || band->height > height - written) return false;
        for (int r = 0; r < band->height; ++r, ++written) {
            std::memcpy(strip.data() + std::size_t(stripRows) * rowBytes, band->row(r), rowBytes);
            if (++stripRows < int(rowsPerStrip) && written + 1 < height) continue;
            if (TIFFWriteEncodedStrip(tif, index++, strip.data(), tmsize_t(rowBytes * std::size_t(stripRows))) < 0) return false;
            stripRows = 0;
        }
    }
    return TIFFWriteDirectory(tif) != 0;
}

}  // namespace

std::unique_ptr<Decoder> makeTiffDecoder(std::shared_ptr<const Data> bytes) {
    return std::make_unique<TiffDecoder>(std::move(bytes));
}

bool encodeTiff(const Bitmap& bitmap, const EncodeSettings& settings, Data& out, std::string& error, Data leading) {
    BitmapBands bands(bitmap);
    return encodeTiff(bands, settings, out, error, std::move(leading));
}

namespace {

bool takesBands(BandSource& bands, std::string& error) {
    if (!support::isStorageFormat(bands.format()) || bands.premultiplied() || bands.width() <= 0 || bands.height() <= 0) {
        error = "TIFF takes gray, RGB or RGBA pixels of 8 or 16 bits";
        return false;
    }
    return true;
}

// Writes the bands through the open handle and closes it; the error says why it failed.
bool writeAndClose(MemoryTiff& file, BandSource& bands, const EncodeSettings& settings, std::string& error) {
    const bool written = writeTiffC(file.handle(), bands, settings);
    if (!file.close() || !written) {
        error = file.error().empty() ? (written ? "cannot write the TIFF image" : "the picture's rows did not all arrive")
                                     : file.error();
        return false;
    }
    return true;
}

}  // namespace

bool encodeTiff(BandSource& bands, const EncodeSettings& settings, Data& out, std::string& error, Data leading) {
    if (!takesBands(bands, error)) return false;
    // Uncompressed size and a little (the directory and its strip tables, twice over for a caller
    // that appends them again): compressed files grow into it, uncompressed ones fit at once.
    const std::size_t rowBytes = std::size_t(bands.width()) * std::size_t(bytesPerPixel(bands.format()));
    const std::size_t room = rowBytes * std::size_t(bands.height()) + 65536 + std::size_t(bands.height()) * 32;
    auto file = MemoryTiff::openForWriting(room, error, std::move(leading));
    if (!file || !writeAndClose(*file, bands, settings, error)) return false;
    out = file->takeBytes();
    return true;
}

bool encodeTiff(BandSource& bands, const EncodeSettings& settings, int fd, std::uint64_t start, std::uint64_t& end,
                std::string& error) {
    if (!takesBands(bands, error)) return false;
    auto file = MemoryTiff::openForWritingFile(fd, start, error);
    if (!file) return false;
    if (!writeAndClose(*file, bands, settings, error)) return false;
    end = start + file->size();
    return true;
}

}  // namespace qv::io::codec
