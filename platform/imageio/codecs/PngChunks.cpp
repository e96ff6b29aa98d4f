#include "imageio/codecs/PngChunks.h"

#include <zlib.h>

#include <cstring>

#include "imageio/support/ByteOrder.h"

namespace qv::io::codec {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

void appendChunk(Data& out, const char type[4], const Data& body) {
    support::appendBE32(out, std::uint32_t(body.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
    const uLong crc = crc32(0L, out.data() + start, uInt(out.size() - start));
    support::appendBE32(out, std::uint32_t(crc));
}

bool iccChunkBody(const Data& icc, Data& body) {
    uLongf packedSize = compressBound(uLong(icc.size()));
    Data packed(packedSize);
    if (compress2(packed.data(), &packedSize, icc.data(), uLong(icc.size()), Z_BEST_COMPRESSION) != Z_OK) return false;
    static const char name[] = "ICC Profile";
    body.assign(name, name + sizeof name);  // the name and its terminating NUL
    body.push_back(0);                      // compression method: deflate
    body.insert(body.end(), packed.begin(), packed.begin() + long(packedSize));
    return true;
}

}  // namespace

bool replacePngIccProfile(const Data& png, const Data& icc, Data& out, std::string& error) {
    if (png.size() < 8 || std::memcmp(png.data(), kSignature, 8) != 0) {
        error = "not a PNG file";
        return false;
    }
    Data body;
    if (icc.empty() || !iccChunkBody(icc, body)) {
        error = "cannot compress the profile";
        return false;
    }
    out.assign(png.begin(), png.begin() + 8);
    std::size_t pos = 8;
    bool sawHeader = false;
    while (true) {
        if (png.size() - pos < 12) {
            error = "the PNG file ends inside a chunk";
            return false;
        }
        const std::uint32_t length = support::readBE32(png.data() + pos);
        if (length > png.size() - pos - 12) {
            error = "damaged PNG chunk length";
            return false;
        }
        const char* type = reinterpret_cast<const char*>(png.data() + pos + 4);
        const std::size_t total = 12 + std::size_t(length);
        const bool dropped = !std::memcmp(type, "iCCP", 4) || !std::memcmp(type, "sRGB", 4) || !std::memcmp(type, "gAMA", 4);
        if (!sawHeader && std::memcmp(type, "IHDR", 4) != 0) {
            error = "the PNG file does not start with its header";
            return false;
        }
        if (!dropped) out.insert(out.end(), png.begin() + long(pos), png.begin() + long(pos + total));
        if (!sawHeader) {
            appendChunk(out, "iCCP", body);
            sawHeader = true;
        }
        pos += total;
        if (!std::memcmp(type, "IEND", 4)) return true;
    }
}

}  // namespace qv::io::codec
