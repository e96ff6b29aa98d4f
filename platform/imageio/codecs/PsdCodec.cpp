// PSD: the merged (flattened) picture of a version 1 file, 8 or 16 bits, raw or RLE; written flat
// with RLE, a resolution resource and the ICC profile resource.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imageio/codecs/Codec.h"
#include "imageio/codecs/PsdResources.h"
#include "imageio/support/ByteOrder.h"
#include "imageio/support/Cmyk.h"
#include "imageio/support/PackBits.h"

namespace qv::io::codec {

namespace {

using support::readBE16;
using support::readBE32;

enum PsdMode : std::uint16_t { kBitmap = 0, kGray = 1, kIndexed = 2, kRGB = 3, kCMYK = 4, kDuotone = 8 };
constexpr std::uint32_t kMaxPsdSide = 30000;

int colorChannelsOf(std::uint16_t mode) {
    switch (mode) {
    case kGray:
    case kDuotone:
    case kIndexed: return 1;
    case kRGB: return 3;
    case kCMYK: return 4;
    default: return 0;
    }
}

// What the merged picture looks like once decoded.
struct Plan {
    int colorChannels = 0;
    bool alpha = false;
    int bytes = 1;  // per stored sample
    PixelFormat format = PixelFormat::RGB8;
};

bool makePlan(const PsdLayout& layout, Plan& plan, std::string& error) {
    plan.colorChannels = colorChannelsOf(layout.mode);
    if (plan.colorChannels == 0) {
        error = "unsupported PSD colour mode " + std::to_string(layout.mode);
        return false;
    }
    if (!(layout.depth == 8 || layout.depth == 16) || (layout.mode == kIndexed && layout.depth != 8)) {
        error = "unsupported PSD depth " + std::to_string(layout.depth);
        return false;
    }
    if (layout.channels < plan.colorChannels || layout.channels > 56) {
        error = "damaged PSD channel count";
        return false;
    }
    if (layout.width == 0 || layout.height == 0 || layout.width > kMaxPsdSide || layout.height > kMaxPsdSide) {
        error = "damaged PSD size";
        return false;
    }
    if (layout.mode == kIndexed && layout.colorModeLength < 768) {
        error = "the indexed PSD has no palette";
        return false;
    }
    // Without layers an extra channel is taken as transparency, as other readers do; with layers
    // only when the layer count says so (otherwise it is a saved selection).
    plan.alpha = layout.mode != kIndexed && layout.mode != kCMYK && layout.channels > plan.colorChannels &&
                 (!layout.hasLayers || layout.mergedAlpha);
    plan.bytes = layout.depth / 8;
    const bool deep = plan.bytes == 2;
    if (layout.mode == kIndexed || layout.mode == kCMYK)
        plan.format = deep ? PixelFormat::RGB16 : PixelFormat::RGB8;
    else if (plan.alpha)
        plan.format = deep ? PixelFormat::RGBA16 : PixelFormat::RGBA8;
    else if (plan.colorChannels == 1)
        plan.format = deep ? PixelFormat::Gray16 : PixelFormat::Gray8;
    else
        plan.format = deep ? PixelFormat::RGB16 : PixelFormat::RGB8;
    return true;
}

// Channel planes of the merged image, one row at a time, raw or RLE.
class PlaneReader {
public:
    PlaneReader(const std::uint8_t* data, std::size_t size, const PsdLayout& layout, int bytes)
        : m_data(data), m_size(size), m_layout(layout), m_rowBytes(std::size_t(layout.width) * std::size_t(bytes)) {}

    bool start(std::string& error) {
        std::size_t pos = m_layout.imageDataOffset;
        m_compression = readBE16(m_data + pos);
        pos += 2;
        const std::size_t rows = std::size_t(m_layout.height) * m_layout.channels;
        if (m_compression == 0) {
            if ((m_size - pos) / m_rowBytes < rows) return fail(error, "the PSD image data is truncated");
            m_pixelsOffset = pos;
            return true;
        }
        if (m_compression != 1) return fail(error, "unsupported PSD compression " + std::to_string(m_compression));
        if ((m_size - pos) / 2 < rows) return fail(error, "the PSD image data is truncated");
        m_rowStarts.resize(rows + 1);
        std::size_t offset = pos + rows * 2;
        for (std::size_t i = 0; i < rows; ++i) {
            m_rowStarts[i] = offset;
            offset += readBE16(m_data + pos + i * 2);
        }
        m_rowStarts[rows] = offset;
        if (offset > m_size) return fail(error, "the PSD image data is truncated");
        return true;
    }

    // Row y of channel c, decoded into out (m_rowBytes bytes).
    bool row(int channel, std::uint32_t y, std::uint8_t* out) const {
        const std::size_t index = std::size_t(channel) * m_layout.height + y;
        if (m_compression == 0) {
            std::memcpy(out, m_data + m_pixelsOffset + index * m_rowBytes, m_rowBytes);
            return true;
        }
        const std::size_t begin = m_rowStarts[index], end = m_rowStarts[index + 1];
        return support::unpackBits(m_data + begin, end - begin, out, m_rowBytes);
    }

    std::size_t rowBytes() const { return m_rowBytes; }

private:
    static bool fail(std::string& error, const std::string& text) {
        error = text;
        return false;
    }
    const std::uint8_t* m_data;
    std::size_t m_size;
    const PsdLayout& m_layout;
    std::size_t m_rowBytes;
    std::uint16_t m_compression = 0;
    std::size_t m_pixelsOffset = 0;
    std::vector<std::size_t> m_rowStarts;
};

class PsdDecoder final : public Decoder {
public:
    explicit PsdDecoder(std::shared_ptr<const Data> bytes) : m_bytes(std::move(bytes)) {}

    bool readHeader(Header& header, std::string& error) override {
        PsdLayout layout;
        Plan plan;
        if (!parsePsd(m_bytes->data(), m_bytes->size(), layout, error) || !makePlan(layout, plan, error)) return false;
        header.width = int(layout.width);
        header.height = int(layout.height);
        header.bitsPerComponent = layout.depth;
        header.hasAlpha = plan.alpha;
        header.colorModel = layout.mode == kCMYK ? "CMYK" : plan.colorChannels == 1 && layout.mode != kIndexed ? "Gray" : "RGB";
        header.decodedAsSRGB = layout.mode == kCMYK;
        if (const PsdResource* icc = layout.find(kPsdResourceICCProfile))
            header.iccProfile.assign(m_bytes->begin() + long(icc->dataOffset),
                                     m_bytes->begin() + long(icc->dataOffset + icc->dataLength));
        if (const PsdResource* res = layout.find(kPsdResourceResolution); res && res->dataLength >= 16) {
            const std::uint8_t* p = m_bytes->data() + res->dataOffset;
            const double h = readBE32(p) / 65536.0, v = readBE32(p + 8) / 65536.0;
            // Unit 2 is pixels per centimetre.
            const double hScale = readBE16(p + 4) == 2 ? 2.54 : 1.0, vScale = readBE16(p + 12) == 2 ? 2.54 : 1.0;
            if (h > 0 && v > 0) header.dpiWidth = h * hScale, header.dpiHeight = v * vScale;
        }
        return true;
    }

    std::optional<Bitmap> decode(const Limits& limits, std::string& error) override {
        PsdLayout layout;
        Plan plan;
        const Data& bytes = *m_bytes;
        if (!parsePsd(bytes.data(), bytes.size(), layout, error) || !makePlan(layout, plan, error)) return std::nullopt;
        if (!plausibleSize(layout.width, layout.height, bytes.size(), limits, error)) return std::nullopt;
        PlaneReader planes(bytes.data(), bytes.size(), layout, plan.bytes);
        if (!planes.start(error)) return std::nullopt;
        Bitmap out = Bitmap::make(int(layout.width), int(layout.height), plan.format);
        if (!out.isValid()) {
            error = "out of memory";
            return std::nullopt;
        }
        const int stored = plan.colorChannels + (plan.alpha ? 1 : 0);
        const int outChannels = channelCount(plan.format);
        const std::size_t w = layout.width;
        std::vector<std::uint8_t> row(planes.rowBytes());
        std::vector<std::uint8_t> cmyk(layout.mode == kCMYK ? w * 4 * std::size_t(plan.bytes) : 0);
        support::CmykConverter converter(layout.find(kPsdResourceICCProfile) ? profileOf(layout) : Data{}, layout.depth,
                                         true);
        const std::uint8_t* palette = bytes.data() + layout.colorModeOffset;
        for (std::uint32_t y = 0; y < layout.height; ++y) {
            std::uint8_t* dst = out.row(int(y));
            for (int c = 0; c < stored; ++c) {
                if (!planes.row(c, y, row.data())) {
                    error = "damaged PSD image data";
                    return std::nullopt;
                }
                if (layout.mode == kIndexed) {
                    for (std::size_t x = 0; x < w; ++x)
                        for (int k = 0; k < 3; ++k) dst[x * 3 + std::size_t(k)] = palette[std::size_t(k) * 256 + row[x]];
                } else if (layout.mode == kCMYK) {
                    scatter(row.data(), cmyk.data(), w, 4, c, plan.bytes);
                } else if (plan.colorChannels == 1 && plan.alpha) {
                    // Gray with transparency becomes RGBA: the gray plane fills all three colours.
                    for (int k = c == 0 ? 0 : 3; k < (c == 0 ? 3 : 4); ++k) scatter(row.data(), dst, w, 4, k, plan.bytes);
                } else {
                    scatter(row.data(), dst, w, outChannels, c, plan.bytes);
                }
            }
            if (layout.mode == kCMYK) converter.convert(cmyk.data(), dst, w);
        }
        return out;
    }

private:
    Data profileOf(const PsdLayout& layout) const {
        const PsdResource* icc = layout.find(kPsdResourceICCProfile);
        return Data(m_bytes->begin() + long(icc->dataOffset), m_bytes->begin() + long(icc->dataOffset + icc->dataLength));
    }

    // One plane row into channel `channel` of an interleaved row, big-endian 16-bit to native.
    static void scatter(const std::uint8_t* plane, std::uint8_t* dst, std::size_t w, int channels, int channel, int bytes) {
        if (bytes == 1) {
            for (std::size_t x = 0; x < w; ++x) dst[x * std::size_t(channels) + std::size_t(channel)] = plane[x];
            return;
        }
        for (std::size_t x = 0; x < w; ++x) {
            const std::uint16_t v = readBE16(plane + x * 2);
            std::memcpy(dst + (x * std::size_t(channels) + std::size_t(channel)) * 2, &v, 2);
        }
    }

    std::shared_ptr<const Data> m_bytes;
};

Data resolutionResource(double dpiX, double dpiY) {
    Data r;
    auto fixed = [](double dpi) { return std::uint32_t(std::clamp(dpi > 0 ? dpi : 72.0, 1.0, 30000.0) * 65536.0 + 0.5); };
    support::appendBE32(r, fixed(dpiX));
    support::appendBE16(r, 1);  // pixels per inch
    support::appendBE16(r, 1);  // width shown in inches
    support::appendBE32(r, fixed(dpiY));
    support::appendBE16(r, 1);
    support::appendBE16(r, 1);
    return r;
}

}  // namespace

std::unique_ptr<Decoder> makePsdDecoder(std::shared_ptr<const Data> bytes) {
    return std::make_unique<PsdDecoder>(std::move(bytes));
}

bool encodePsd(const Bitmap& bitmap, const EncodeSettings& settings, Data& out, std::string& error) {
    int channels = 0;
    switch (bitmap.format) {
    case PixelFormat::Gray8:
    case PixelFormat::Gray16: channels = 1; break;
    case PixelFormat::RGB8:
    case PixelFormat::RGB16: channels = 3; break;
    case PixelFormat::RGBA8:
    case PixelFormat::RGBA16: channels = 4; break;
    default: error = "PSD takes gray, RGB or RGBA pixels of 8 or 16 bits"; return false;
    }
    if (std::uint32_t(bitmap.width) > kMaxPsdSide || std::uint32_t(bitmap.height) > kMaxPsdSide) {
        error = "the image is too large for PSD (30000 pixels a side at most)";
        return false;
    }
    const int bytes = bytesPerSample(bitmap.format);
    const std::size_t w = std::size_t(bitmap.width), h = std::size_t(bitmap.height);

    Data file = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0};  // signature, version 1, reserved
    support::appendBE16(file, std::uint32_t(channels));
    support::appendBE32(file, std::uint32_t(h));
    support::appendBE32(file, std::uint32_t(w));
    support::appendBE16(file, std::uint32_t(bytes * 8));
    support::appendBE16(file, channels == 1 ? kGray : kRGB);
    support::appendBE32(file, 0);  // no colour-mode data

    Data resources;
    appendPsdResource(resources, kPsdResourceResolution, resolutionResource(settings.dpiWidth, settings.dpiHeight));
    if (!settings.iccProfile.empty()) appendPsdResource(resources, kPsdResourceICCProfile, settings.iccProfile);
    support::appendBE32(file, std::uint32_t(resources.size()));
    file.insert(file.end(), resources.begin(), resources.end());
    support::appendBE32(file, 0);  // no layers: the file is its merged picture

    // RLE: a table of every row's packed length, then the packed rows, plane after plane.
    support::appendBE16(file, 1);
    const std::size_t tableOffset = file.size();
    file.resize(file.size() + h * std::size_t(channels) * 2);
    std::vector<std::uint8_t> plane(w * std::size_t(bytes));
    std::size_t rowIndex = 0;
    for (int c = 0; c < channels; ++c) {
        for (std::size_t y = 0; y < h; ++y, ++rowIndex) {
            const std::uint8_t* src = bitmap.row(int(y));
            if (bytes == 1) {
                for (std::size_t x = 0; x < w; ++x) plane[x] = src[x * std::size_t(channels) + std::size_t(c)];
            } else {
                for (std::size_t x = 0; x < w; ++x) {
                    std::uint16_t v;
                    std::memcpy(&v, src + (x * std::size_t(channels) + std::size_t(c)) * 2, 2);
                    plane[x * 2] = std::uint8_t(v >> 8);
                    plane[x * 2 + 1] = std::uint8_t(v);
                }
            }
            const std::size_t before = file.size();
            support::packBits(plane.data(), plane.size(), file);
            const std::size_t packed = file.size() - before;
            file[tableOffset + rowIndex * 2] = std::uint8_t(packed >> 8);
            file[tableOffset + rowIndex * 2 + 1] = std::uint8_t(packed);
        }
    }
    out = std::move(file);
    return true;
}

}  // namespace qv::io::codec
