#include "imageio/codecs/PsdResources.h"

#include <algorithm>
#include <cstring>

#include "imageio/support/ByteOrder.h"

namespace qv::io::codec {

using support::appendBE16;
using support::appendBE32;
using support::readBE16;
using support::readBE32;

const PsdResource* PsdLayout::find(std::uint16_t id) const {
    for (const auto& r : resources)
        if (r.id == id) return &r;
    return nullptr;
}

bool parsePsd(const std::uint8_t* data, std::size_t size, PsdLayout& layout, std::string& error) {
    auto bad = [&](const char* what) {
        error = what;
        return false;
    };
    if (size < 26 || std::memcmp(data, "8BPS", 4) != 0) return bad("not a PSD file");
    if (readBE16(data + 4) != 1) return bad("unsupported PSD version");
    layout.channels = readBE16(data + 12);
    layout.height = readBE32(data + 14);
    layout.width = readBE32(data + 18);
    layout.depth = readBE16(data + 22);
    layout.mode = readBE16(data + 24);

    std::size_t pos = 26;
    auto section = [&](std::size_t& offset, std::uint32_t& length) {
        if (size - pos < 4) return false;
        length = readBE32(data + pos);
        offset = pos + 4;
        if (length > size - offset) return false;
        pos = offset + length;
        return true;
    };
    std::size_t colorOffset = 0;
    if (!section(colorOffset, layout.colorModeLength)) return bad("damaged PSD colour-mode section");
    layout.colorModeOffset = colorOffset;

    layout.resourcesOffset = pos;
    std::size_t blocks = 0;
    if (!section(blocks, layout.resourcesLength)) return bad("damaged PSD resource section");
    const std::size_t end = blocks + layout.resourcesLength;
    std::size_t p = blocks;
    while (end - p >= 12) {
        PsdResource r;
        r.blockOffset = p;
        r.id = readBE16(data + p + 4);
        const std::size_t nameLength = (std::size_t(data[p + 6]) + 2) & ~std::size_t(1);  // length byte + text, even
        std::size_t q = p + 6 + nameLength;
        if (end - p < 6 + nameLength + 4) return bad("damaged PSD resource");
        r.dataLength = readBE32(data + q);
        r.dataOffset = q + 4;
        if (r.dataLength > end - r.dataOffset) return bad("damaged PSD resource");
        const std::size_t padded = (std::size_t(r.dataLength) + 1) & ~std::size_t(1);
        r.blockLength = std::min(end, r.dataOffset + padded) - p;
        layout.resources.push_back(r);
        p += r.blockLength;
    }

    layout.layersOffset = pos;
    std::size_t layers = 0;
    if (!section(layers, layout.layersLength)) return bad("damaged PSD layer section");
    // The layer info's own length, then its layer count: negative means the merged image's first
    // extra channel holds its transparency.
    if (layout.layersLength >= 6 && readBE32(data + layers) >= 2) {
        const auto count = std::int16_t(readBE16(data + layers + 4));
        layout.hasLayers = count != 0;
        layout.mergedAlpha = count < 0;
    }
    layout.imageDataOffset = pos;
    if (size - pos < 2) return bad("the PSD file has no image data");
    return true;
}

void appendPsdResource(Data& out, std::uint16_t id, const Data& payload) {
    out.insert(out.end(), {'8', 'B', 'I', 'M'});
    appendBE16(out, id);
    out.push_back(0);  // empty name, padded to an even length
    out.push_back(0);
    appendBE32(out, std::uint32_t(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    if (payload.size() & 1) out.push_back(0);
}

bool replacePsdResource(const Data& psd, std::uint16_t id, const Data& payload, Data& out, std::string& error) {
    PsdLayout layout;
    if (!parsePsd(psd.data(), psd.size(), layout, error)) return false;
    if (payload.size() > 0x7FFFFFF0u) {
        error = "the resource is too large";
        return false;
    }
    Data blocks;
    bool written = false;
    for (const auto& r : layout.resources) {
        if (!written && r.id >= id) {
            appendPsdResource(blocks, id, payload);
            written = true;
        }
        if (r.id == id) continue;
        blocks.insert(blocks.end(), psd.begin() + long(r.blockOffset), psd.begin() + long(r.blockOffset + r.blockLength));
    }
    if (!written) appendPsdResource(blocks, id, payload);

    out.clear();
    out.reserve(psd.size() + payload.size() + 16);
    out.insert(out.end(), psd.begin(), psd.begin() + long(layout.resourcesOffset));
    appendBE32(out, std::uint32_t(blocks.size()));
    out.insert(out.end(), blocks.begin(), blocks.end());
    out.insert(out.end(), psd.begin() + long(layout.layersOffset), psd.end());
    return true;
}

}  // namespace qv::io::codec
