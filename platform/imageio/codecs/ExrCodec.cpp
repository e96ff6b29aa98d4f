// OpenEXR: half or float RGB(A) pictures, decoded to 16-bit samples on the sRGB curve (so that the
// rest of the system, which works on display-referred samples, sees the picture as it should look)
// and written back as linear half floats, colour premultiplied by alpha as OpenEXR has it.
// Values above 1.0 are clipped on reading. The metadata
// dictionaries travel as header attributes named "<dictionary>:<key>" ("TIFF:Make").
#include <ImfArray.h>
#include <ImfDoubleAttribute.h>
#include <ImfFloatAttribute.h>
#include <ImfFloatVectorAttribute.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfIntAttribute.h>
#include <ImfRgbaFile.h>
#include <ImfStandardAttributes.h>
#include <ImfStringAttribute.h>
#include <ImfStringVectorAttribute.h>

#include <climits>
#include <cstring>
#include <mutex>

#include "imageio/ImageProperties.h"
#include "imageio/codecs/Codec.h"
#include "imageio/support/SrgbCurve.h"

namespace qv::io::codec {

namespace {

constexpr const char* kOrientationAttribute = "Orientation";
constexpr const char* kXmpAttribute = "XMP";  // the XMP packet, as text
constexpr const char* kDictionaries[] = {kCGImagePropertyTIFFDictionary, kCGImagePropertyExifDictionary,
                                         kCGImagePropertyGPSDictionary, kCGImagePropertyIPTCDictionary};

// "{TIFF}" -> "TIFF"
std::string prefixOf(const std::string& dictionary) { return dictionary.substr(1, dictionary.size() - 2); }

void limitHeaderSizes() {
    static std::once_flag once;
    // OpenEXR checks these before it allocates anything for a header's windows and tiles.
    std::call_once(once, [] {
        Imf::Header::setMaxImageSize(1 << 16, 1 << 16);
        Imf::Header::setMaxTileSize(1 << 13, 1 << 13);
    });
}

// Walks the header attributes before OpenEXR sees them: OpenEXR sizes its buffers by the
// attribute lengths a file states, so a damaged length would have it allocate gigabytes. Every
// length must fit in the file; the data window is returned for the size check.
bool checkHeader(const Data& bytes, long long& width, long long& height, std::string& error) {
    auto bad = [&](const char* what) {
        error = what;
        return false;
    };
    const std::size_t size = bytes.size();
    if (size < 8) return bad("the OpenEXR file ends early");
    const std::uint32_t flags = std::uint32_t(bytes[5]) | (std::uint32_t(bytes[6]) << 8) | (std::uint32_t(bytes[7]) << 16);
    const std::size_t maxName = (flags & 0x4) ? 256 : 32;  // bit 10 of the version field: long names
    const bool multipart = flags & 0x10;
    width = height = -1;
    std::size_t pos = 8;
    auto readText = [&](std::string& text) {
        const std::size_t start = pos;
        while (pos < size && bytes[pos] != 0 && pos - start < maxName) ++pos;
        if (pos >= size || bytes[pos] != 0) return false;
        text.assign(reinterpret_cast<const char*>(bytes.data() + start), pos - start);
        ++pos;
        return true;
    };
    for (int part = 0;; ++part) {
        for (;;) {
            std::string name, type;
            if (!readText(name)) return bad("damaged OpenEXR header");
            if (name.empty()) break;  // end of this header
            if (!readText(type) || size - pos < 4) return bad("damaged OpenEXR header");
            const std::uint32_t length = std::uint32_t(bytes[pos]) | (std::uint32_t(bytes[pos + 1]) << 8) |
                                         (std::uint32_t(bytes[pos + 2]) << 16) | (std::uint32_t(bytes[pos + 3]) << 24);
            pos += 4;
            if (length > size - pos) return bad("damaged OpenEXR header (an attribute runs past the end)");
            if (part == 0 && name == "dataWindow" && type == "box2i" && length == 16) {
                std::int32_t box[4];
                std::memcpy(box, bytes.data() + pos, 16);
                width = (long long)box[2] - box[0] + 1;
                height = (long long)box[3] - box[1] + 1;
            }
            pos += length;
        }
        if (!multipart) break;
        if (pos < size && bytes[pos] == 0) break;  // an empty header ends the list of parts
        if (pos >= size) return bad("damaged OpenEXR header");
    }
    if (width <= 0 || height <= 0) return bad("the OpenEXR file has no data window");
    return true;
}

class MemoryIStream final : public Imf::IStream {
public:
    MemoryIStream(const std::uint8_t* data, std::size_t size) : Imf::IStream("memory"), m_data(data), m_size(size) {}
    bool isMemoryMapped() const override { return true; }
    char* readMemoryMapped(int n) override {
        check(n);
        char* p = reinterpret_cast<char*>(const_cast<std::uint8_t*>(m_data)) + m_position;
        m_position += std::uint64_t(n);
        return p;
    }
    bool read(char c[], int n) override {
        check(n);
        std::memcpy(c, m_data + m_position, std::size_t(n));
        m_position += std::uint64_t(n);
        return m_position < m_size;
    }
    std::uint64_t tellg() override { return m_position; }
    void seekg(std::uint64_t position) override { m_position = position; }

private:
    void check(int n) const {
        if (n < 0 || m_position > m_size || std::uint64_t(n) > m_size - m_position)
            throw Iex::InputExc("the OpenEXR file ends early");
    }
    const std::uint8_t* m_data;
    std::uint64_t m_size;
    std::uint64_t m_position = 0;
};

class MemoryOStream final : public Imf::OStream {
public:
    explicit MemoryOStream(Data& out) : Imf::OStream("memory"), m_out(out) {}
    void write(const char c[], int n) override {
        const std::size_t end = std::size_t(m_position) + std::size_t(n);
        if (end > m_out.size()) m_out.resize(end);
        std::memcpy(m_out.data() + m_position, c, std::size_t(n));
        m_position = end;
    }
    std::uint64_t tellp() override { return m_position; }
    void seekp(std::uint64_t position) override { m_position = position; }

private:
    Data& m_out;
    std::uint64_t m_position = 0;
};

Value valueOfAttribute(const Imf::Attribute& attribute) {
    if (auto* s = dynamic_cast<const Imf::StringAttribute*>(&attribute)) return Value(s->value());
    if (auto* i = dynamic_cast<const Imf::IntAttribute*>(&attribute)) return Value(i->value());
    if (auto* d = dynamic_cast<const Imf::DoubleAttribute*>(&attribute)) return Value(d->value());
    if (auto* f = dynamic_cast<const Imf::FloatAttribute*>(&attribute)) return Value(double(f->value()));
    if (auto* sv = dynamic_cast<const Imf::StringVectorAttribute*>(&attribute)) {
        Array a;
        for (const auto& s : sv->value()) a.emplace_back(s);
        return Value(std::move(a));
    }
    if (auto* fv = dynamic_cast<const Imf::FloatVectorAttribute*>(&attribute)) {
        Array a;
        for (float f : fv->value()) a.emplace_back(double(f));
        return Value(std::move(a));
    }
    return Value();
}

void insertAttribute(Imf::Header& header, const std::string& name, const Value& value) {
    switch (value.type()) {
    case Value::Type::String: header.insert(name, Imf::StringAttribute(*value.string())); break;
    case Value::Type::Integer:
    case Value::Type::Bool: {
        const std::int64_t v = value.integerOr(0);
        if (v >= INT_MIN && v <= INT_MAX) header.insert(name, Imf::IntAttribute(int(v)));
        break;
    }
    case Value::Type::Real: header.insert(name, Imf::DoubleAttribute(value.doubleOr(0))); break;
    case Value::Type::Array: {
        const Array& items = *value.array();
        if (items.empty()) break;
        bool strings = true, numbers = true;
        for (const auto& item : items) strings &= item.isString(), numbers &= item.isNumber();
        if (strings) {
            std::vector<std::string> v;
            for (const auto& item : items) v.push_back(*item.string());
            header.insert(name, Imf::StringVectorAttribute(v));
        } else if (numbers) {
            std::vector<float> v;
            for (const auto& item : items) v.push_back(item.floatOr(0));
            header.insert(name, Imf::FloatVectorAttribute(v));
        }
        break;
    }
    default: break;  // binary data and nested dictionaries have no attribute form here
    }
}

class ExrDecoder final : public Decoder {
public:
    explicit ExrDecoder(std::shared_ptr<const Data> bytes) : m_bytes(std::move(bytes)) {}

    bool readHeader(Header& header, std::string& error) override {
        limitHeaderSizes();
        long long w = 0, h = 0;
        if (!checkHeader(*m_bytes, w, h, error) ||
            !plausibleSize(std::uint64_t(w), std::uint64_t(h), m_bytes->size(), Limits{}, error))
            return false;
        try {
            MemoryIStream stream(m_bytes->data(), m_bytes->size());
            Imf::RgbaInputFile file(stream, 0);
            const Imath::Box2i window = file.dataWindow();
            header.width = window.max.x - window.min.x + 1;
            header.height = window.max.y - window.min.y + 1;
            header.bitsPerComponent = 16;
            header.hasAlpha = (file.channels() & Imf::WRITE_A) != 0;
            header.colorModel = (file.channels() & Imf::WRITE_C) || (file.channels() & Imf::WRITE_RGB) ? "RGB" : "Gray";
            header.decodedAsSRGB = true;
            header.metadataThroughExiv2 = false;
            const Imf::Header& h = file.header();
            for (auto it = h.begin(); it != h.end(); ++it) {
                const std::string name = it.name();
                if (name == kOrientationAttribute) {
                    header.orientation = valueOfAttribute(it.attribute()).integerOr(0);
                    continue;
                }
                if (name == kXmpAttribute) {
                    Value packet = valueOfAttribute(it.attribute());
                    if (packet.isString()) header.properties[kQVImagePropertyXMPPacket] = std::move(packet);
                    continue;
                }
                for (const char* dictionary : kDictionaries) {
                    const std::string prefix = prefixOf(dictionary) + ":";
                    if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0) {
                        Value v = valueOfAttribute(it.attribute());
                        if (!v.isNull()) header.properties[dictionary][name.substr(prefix.size())] = std::move(v);
                    }
                }
            }
            return true;
        } catch (const std::exception& e) {
            error = e.what();
            return false;
        }
    }

    std::optional<Bitmap> decode(const Limits& limits, std::string& error) override {
        limitHeaderSizes();
        long long headerWidth = 0, headerHeight = 0;
        if (!checkHeader(*m_bytes, headerWidth, headerHeight, error)) return std::nullopt;
        try {
            MemoryIStream stream(m_bytes->data(), m_bytes->size());
            Imf::RgbaInputFile file(stream, 0);
            const Imath::Box2i window = file.dataWindow();
            const long long w = (long long)window.max.x - window.min.x + 1, h = (long long)window.max.y - window.min.y + 1;
            if (w <= 0 || h <= 0 || !plausibleSize(std::uint64_t(w), std::uint64_t(h), m_bytes->size(), limits, error))
                return std::nullopt;
            const bool alpha = (file.channels() & Imf::WRITE_A) != 0;
            Bitmap out = Bitmap::make(int(w), int(h), alpha ? PixelFormat::RGBA16 : PixelFormat::RGB16);
            if (!out.isValid()) {
                error = "out of memory";
                return std::nullopt;
            }
            // Read in bands so that only a slice of the float picture is held beside the result.
            const int bandRows = 64;
            Imf::Array2D<Imf::Rgba> band(bandRows, w);
            for (int y0 = window.min.y; y0 <= window.max.y; y0 += bandRows) {
                const int y1 = std::min(window.max.y, y0 + bandRows - 1);
                Imf::Rgba* origin = &band[0][0] - window.min.x - std::ptrdiff_t(y0) * w;
                file.setFrameBuffer(origin, 1, std::size_t(w));
                file.readPixels(y0, y1);
                for (int y = y0; y <= y1; ++y) {
                    const Imf::Rgba* s = &band[y - y0][0];
                    std::uint16_t* d = reinterpret_cast<std::uint16_t*>(out.row(y - window.min.y));
                    const int channels = alpha ? 4 : 3;
                    for (long long x = 0; x < w; ++x, d += channels) {
                        if (!alpha) {
                            d[0] = support::halfLinearToEncoded16(s[x].r.bits());
                            d[1] = support::halfLinearToEncoded16(s[x].g.bits());
                            d[2] = support::halfLinearToEncoded16(s[x].b.bits());
                            continue;
                        }
                        // OpenEXR colour is premultiplied by alpha; the bitmap's is straight.
                        const float a = float(s[x].a);
                        d[3] = support::halfToUnit16(s[x].a.bits());
                        const Imf::Rgba& px = s[x];
                        const half* colour[3] = {&px.r, &px.g, &px.b};
                        for (int c = 0; c < 3; ++c)
                            d[c] = a > 0.0f ? support::halfLinearToEncoded16(half(float(*colour[c]) / a).bits()) : 0;
                    }
                }
            }
            return out;
        } catch (const std::exception& e) {
            error = e.what();
            return std::nullopt;
        }
    }

private:
    std::shared_ptr<const Data> m_bytes;
};

}  // namespace

std::unique_ptr<Decoder> makeExrDecoder(std::shared_ptr<const Data> bytes) {
    return std::make_unique<ExrDecoder>(std::move(bytes));
}

bool encodeExr(const Bitmap& bitmap, const EncodeSettings& settings, Data& out, std::string& error) {
    if (bitmap.format != PixelFormat::RGB16 && bitmap.format != PixelFormat::RGBA16) {
        error = "OpenEXR takes 16-bit RGB or RGBA pixels";
        return false;
    }
    const bool alpha = bitmap.format == PixelFormat::RGBA16;
    try {
        Imf::Header header(bitmap.width, bitmap.height, 1.0f, Imath::V2f(0, 0), 1.0f, Imf::INCREASING_Y,
                           Imf::ZIP_COMPRESSION);
        Imf::addChromaticities(header, Imf::Chromaticities());  // Rec. 709 primaries, those of sRGB
        if (settings.orientation >= 1 && settings.orientation <= 8)
            header.insert(kOrientationAttribute, Imf::IntAttribute(int(settings.orientation)));
        for (const char* dictionary : kDictionaries) {
            const Dictionary* entries = settings.properties.count(dictionary) ? settings.properties.at(dictionary).dictionary()
                                                                              : nullptr;
            if (!entries) continue;
            const bool exif = dictionary == std::string(kCGImagePropertyExifDictionary);
            for (const auto& [key, value] : *entries)
                if (!exif || (key != kCGImagePropertyExifPixelXDimension && key != kCGImagePropertyExifPixelYDimension))
                    insertAttribute(header, prefixOf(dictionary) + ":" + key, value);
        }
        // The picture written is not the source's: the EXIF size it states is its own.
        if (settings.properties.count(kCGImagePropertyExifDictionary)) {
            const std::string exif = prefixOf(kCGImagePropertyExifDictionary) + ":";
            insertAttribute(header, exif + kCGImagePropertyExifPixelXDimension, Value(bitmap.width));
            insertAttribute(header, exif + kCGImagePropertyExifPixelYDimension, Value(bitmap.height));
        }
        if (auto xmp = settings.properties.find(kQVImagePropertyXMPPacket);
            xmp != settings.properties.end() && xmp->second.isString())
            header.insert(kXmpAttribute, Imf::StringAttribute(*xmp->second.string()));
        Data bytes;
        {
            MemoryOStream stream(bytes);
            Imf::RgbaOutputFile file(stream, header, alpha ? Imf::WRITE_RGBA : Imf::WRITE_RGB, 0);
            const int bandRows = 64;
            std::vector<Imf::Rgba> band(std::size_t(bitmap.width) * bandRows);
            for (int y0 = 0; y0 < bitmap.height; y0 += bandRows) {
                const int rows = std::min(bandRows, bitmap.height - y0);
                for (int r = 0; r < rows; ++r) {
                    const std::uint16_t* s = reinterpret_cast<const std::uint16_t*>(bitmap.row(y0 + r));
                    Imf::Rgba* d = band.data() + std::size_t(r) * std::size_t(bitmap.width);
                    for (int x = 0; x < bitmap.width; ++x, s += alpha ? 4 : 3) {
                        d[x].r.setBits(support::encoded16ToHalfLinear(s[0]));
                        d[x].g.setBits(support::encoded16ToHalfLinear(s[1]));
                        d[x].b.setBits(support::encoded16ToHalfLinear(s[2]));
                        d[x].a.setBits(support::unit16ToHalf(alpha ? s[3] : 65535));
                        if (alpha && s[3] != 65535) {
                            // Stored premultiplied, as OpenEXR readers expect.
                            const float a = float(d[x].a);
                            d[x].r = half(float(d[x].r) * a);
                            d[x].g = half(float(d[x].g) * a);
                            d[x].b = half(float(d[x].b) * a);
                        }
                    }
                }
                file.setFrameBuffer(band.data() - std::ptrdiff_t(y0) * bitmap.width, 1, std::size_t(bitmap.width));
                file.writePixels(rows);
            }
        }
        out = std::move(bytes);
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

}  // namespace qv::io::codec
