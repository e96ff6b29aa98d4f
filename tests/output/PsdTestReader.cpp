#include "PsdTestReader.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace psdtest {

namespace {

struct ParseError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Cursor {
public:
    Cursor(const std::vector<std::uint8_t>& bytes, std::size_t begin, std::size_t end)
        : m_bytes(bytes), m_pos(begin), m_end(end) {
        if (end > bytes.size()) throw ParseError("section runs past the end of the file");
    }
    std::size_t pos() const { return m_pos; }
    std::size_t left() const { return m_end - m_pos; }
    const std::uint8_t* take(std::size_t n, const char* what) {
        if (n > left()) throw ParseError(std::string("truncated ") + what);
        const std::uint8_t* p = m_bytes.data() + m_pos;
        m_pos += n;
        return p;
    }
    std::uint32_t u(int bytes, const char* what) {
        const std::uint8_t* p = take(std::size_t(bytes), what);
        std::uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) v = v << 8 | p[i];
        return v;
    }
    std::int32_t i32(const char* what) { return std::int32_t(u(4, what)); }
    int i16(const char* what) { return std::int16_t(u(2, what)); }
    // A cursor over the next n bytes; this one moves past them.
    Cursor sub(std::size_t n, const char* what) {
        take(n, what);
        return Cursor(m_bytes, m_pos - n, m_pos);
    }
    std::string text(std::size_t n, const char* what) {
        const std::uint8_t* p = take(n, what);
        return std::string(reinterpret_cast<const char*>(p), n);
    }

private:
    const std::vector<std::uint8_t>& m_bytes;
    std::size_t m_pos;
    std::size_t m_end;
};

// Reads `planes` planes of rows x columns samples in `compression` (0 or 1) at `depth` bits.
std::vector<std::vector<std::uint16_t>> readPlanes(Cursor& c, int compression, int planes, std::size_t rows,
                                                   std::size_t columns, int depth) {
    const std::size_t bytesPerSample = depth == 16 ? 2 : 1;
    const std::size_t rowBytes = columns * bytesPerSample;
    std::vector<std::vector<std::uint8_t>> raw(static_cast<std::size_t>(planes));
    if (compression == 0) {
        for (auto& plane : raw) {
            const std::uint8_t* p = c.take(rowBytes * rows, "raw plane");
            plane.assign(p, p + rowBytes * rows);
        }
    } else if (compression == 1) {
        std::vector<std::size_t> counts(std::size_t(planes) * rows);
        for (auto& n : counts) n = c.u(2, "row byte count");
        for (std::size_t i = 0; i < counts.size(); ++i) {
            const std::uint8_t* p = c.take(counts[i], "packed row");
            auto row = unpackBits(p, counts[i], rowBytes);
            if (!row) throw ParseError("packed row does not unpack to one row");
            auto& plane = raw[i / std::max<std::size_t>(rows, 1)];
            plane.insert(plane.end(), row->begin(), row->end());
        }
    } else {
        throw ParseError("unknown compression " + std::to_string(compression));
    }
    std::vector<std::vector<std::uint16_t>> out(static_cast<std::size_t>(planes));
    for (int k = 0; k < planes; ++k) {
        const auto& bytes = raw[std::size_t(k)];
        auto& samples = out[std::size_t(k)];
        samples.resize(rows * columns);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = bytesPerSample == 2 ? std::uint16_t(bytes[2 * i] << 8 | bytes[2 * i + 1]) : bytes[i];
    }
    return out;
}

Layer readLayerRecord(Cursor& c) {
    Layer layer;
    layer.top = c.i32("rect");
    layer.left = c.i32("rect");
    layer.bottom = c.i32("rect");
    layer.right = c.i32("rect");
    const int count = c.i16("channel count");
    if (count < 0 || count > 56) throw ParseError("channel count out of range");
    for (int i = 0; i < count; ++i) {
        Channel ch;
        ch.id = c.i16("channel id");
        ch.length = c.u(4, "channel length");
        layer.channels.push_back(ch);
    }
    layer.blendSignature = c.text(4, "blend signature");
    layer.blendMode = c.text(4, "blend mode");
    layer.opacity = int(c.u(1, "opacity"));
    layer.clipping = int(c.u(1, "clipping"));
    layer.flags = int(c.u(1, "flags"));
    c.u(1, "filler");
    Cursor extra = c.sub(c.u(4, "extra length"), "extra data");
    layer.maskDataLength = extra.u(4, "mask length");
    Cursor mask = extra.sub(layer.maskDataLength, "mask data");
    if (layer.maskDataLength >= 16) {
        layer.maskTop = mask.i32("mask rect");
        layer.maskLeft = mask.i32("mask rect");
        layer.maskBottom = mask.i32("mask rect");
        layer.maskRight = mask.i32("mask rect");
    }
    extra.sub(extra.u(4, "blending ranges length"), "blending ranges");
    const std::size_t nameStart = extra.pos();
    const std::size_t nameLength = extra.u(1, "name length");
    layer.name = extra.text(nameLength, "name");
    // The name is padded to a multiple of four; nothing else may follow in this writer's files.
    const std::size_t used = extra.pos() - nameStart;
    const std::size_t padded = (used + 3) & ~std::size_t(3);
    const std::uint8_t* pad = extra.take(padded - used, "name padding");
    for (std::size_t i = 0; i < padded - used; ++i)
        if (pad[i] != 0) throw ParseError("name padding is not zero");
    layer.paddedNameLength = padded;
    if (extra.left() != 0) throw ParseError("extra data longer than its content");
    return layer;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> unpackBits(const std::uint8_t* data, std::size_t size, std::size_t expected) {
    std::vector<std::uint8_t> out;
    out.reserve(expected);
    std::size_t i = 0;
    while (i < size) {
        const int header = static_cast<std::int8_t>(data[i++]);
        if (header >= 0) {
            const std::size_t n = std::size_t(header) + 1;
            if (i + n > size) return std::nullopt;
            out.insert(out.end(), data + i, data + i + n);
            i += n;
        } else if (header != -128) {
            if (i >= size) return std::nullopt;
            out.insert(out.end(), std::size_t(1 - header), data[i++]);
        }
        if (out.size() > expected) return std::nullopt;
    }
    if (out.size() != expected) return std::nullopt;
    return out;
}

std::vector<int> Layer::channelIDs() const {
    std::vector<int> ids;
    for (const Channel& c : channels) ids.push_back(c.id);
    return ids;
}

const Channel* Layer::channel(int id) const {
    for (const Channel& c : channels)
        if (c.id == id) return &c;
    return nullptr;
}

const Resource* Document::resource(int id) const {
    for (const Resource& r : resources)
        if (r.id == id) return &r;
    return nullptr;
}

std::optional<Document> readDocument(const std::string& path, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path;
        return std::nullopt;
    }
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    try {
        Document doc;
        Cursor c(bytes, 0, bytes.size());
        if (c.text(4, "signature") != "8BPS") throw ParseError("not 8BPS");
        doc.version = c.i16("version");
        const std::uint8_t* reserved = c.take(6, "reserved");
        for (int i = 0; i < 6; ++i)
            if (reserved[i]) throw ParseError("reserved bytes not zero");
        doc.channels = c.i16("channels");
        doc.height = c.i32("height");
        doc.width = c.i32("width");
        doc.depth = c.i16("depth");
        doc.mode = c.i16("mode");
        c.sub(c.u(4, "colour mode length"), "colour mode data");

        Cursor resources = c.sub(c.u(4, "resources length"), "resources");
        while (resources.left() > 0) {
            if (resources.text(4, "resource signature") != "8BIM") throw ParseError("resource without 8BIM");
            Resource r;
            r.id = int(resources.u(2, "resource id"));
            const std::size_t nameLength = resources.u(1, "resource name length");
            resources.take(nameLength + ((nameLength + 1) & 1), "resource name");
            const std::size_t size = resources.u(4, "resource size");
            const std::uint8_t* p = resources.take(size, "resource data");
            r.data.assign(p, p + size);
            if (size & 1) resources.take(1, "resource padding");
            doc.resources.push_back(std::move(r));
        }

        doc.layerSectionLength = c.u(4, "layer and mask length");
        Cursor section = c.sub(doc.layerSectionLength, "layer and mask section");
        doc.layerInfoLength = section.u(4, "layer info length");
        if (doc.layerInfoLength & 1) throw ParseError("layer info length is odd");
        Cursor info = section.sub(doc.layerInfoLength, "layer info");
        const int layerCount = info.i16("layer count");
        for (int i = 0; i < std::abs(layerCount); ++i) doc.layers.push_back(readLayerRecord(info));
        for (Layer& layer : doc.layers) {
            const std::size_t rows = std::size_t(layer.bottom - layer.top);
            const std::size_t columns = std::size_t(layer.right - layer.left);
            for (Channel& ch : layer.channels) {
                Cursor data = info.sub(ch.length, "channel data");
                ch.compression = data.i16("channel compression");
                ch.samples = readPlanes(data, ch.compression, 1, rows, columns, doc.depth).front();
                if (data.left() != 0) throw ParseError("channel data longer than its content");
            }
        }
        if (info.left() == 1) {
            if (*info.take(1, "pad") != 0) throw ParseError("pad byte not zero");
            doc.layerPadByte = true;
        }
        if (info.left() != 0) throw ParseError("layer info longer than its content");
        if (section.u(4, "global mask length") != 0) throw ParseError("unexpected global mask");
        if (section.left() != 0) throw ParseError("layer section longer than its content");

        doc.mergedCompression = c.i16("merged compression");
        doc.mergedPlanes = readPlanes(c, doc.mergedCompression, doc.channels, std::size_t(doc.height),
                                      std::size_t(doc.width), doc.depth);
        if (c.left() != 0) throw ParseError("bytes after the merged image");
        return doc;
    } catch (const ParseError& e) {
        error = e.what();
        return std::nullopt;
    }
}

}  // namespace psdtest
