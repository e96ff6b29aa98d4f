#include "imageio/codecs/JpegMarkers.h"

#include <algorithm>
#include <cstring>

namespace qv::io::codec {

namespace {

constexpr std::uint8_t kSOI = 0xD8, kSOS = 0xDA, kEOI = 0xD9, kAPP0 = 0xE0, kAPP1 = 0xE1, kAPP2 = 0xE2;
constexpr char kIccSignature[] = "ICC_PROFILE";  // followed by its NUL: 12 bytes
constexpr std::size_t kIccHeader = 14;            // signature, chunk number, chunk count
constexpr std::size_t kMaxChunk = 65533 - kIccHeader;

bool isIccSegment(const std::uint8_t* payload, std::size_t length) {
    return length >= kIccHeader && std::memcmp(payload, kIccSignature, 12) == 0;
}

void appendIccChunks(const Data& icc, Data& out) {
    const std::size_t count = (icc.size() + kMaxChunk - 1) / kMaxChunk;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t offset = i * kMaxChunk;
        const std::size_t size = std::min(kMaxChunk, icc.size() - offset);
        const std::size_t segmentLength = 2 + kIccHeader + size;
        out.push_back(0xFF);
        out.push_back(kAPP2);
        out.push_back(std::uint8_t(segmentLength >> 8));
        out.push_back(std::uint8_t(segmentLength & 0xFF));
        out.insert(out.end(), kIccSignature, kIccSignature + 12);
        out.push_back(std::uint8_t(i + 1));
        out.push_back(std::uint8_t(count));
        out.insert(out.end(), icc.begin() + long(offset), icc.begin() + long(offset + size));
    }
}

}  // namespace

bool replaceJpegIccProfile(const Data& jpeg, const Data& icc, Data& out, std::string& error) {
    if (icc.empty() || (icc.size() + kMaxChunk - 1) / kMaxChunk > 255) {
        error = "the profile cannot be stored in a JPEG file";
        return false;
    }
    const std::size_t n = jpeg.size();
    if (n < 4 || jpeg[0] != 0xFF || jpeg[1] != kSOI) {
        error = "not a JPEG file";
        return false;
    }
    out.clear();
    out.reserve(n + icc.size() + 64);
    out.push_back(0xFF);
    out.push_back(kSOI);
    bool profileWritten = false;
    std::size_t pos = 2;
    while (true) {
        // Markers may be preceded by any number of 0xFF fill bytes.
        if (pos >= n || jpeg[pos] != 0xFF) {
            error = "damaged JPEG marker structure";
            return false;
        }
        while (pos < n && jpeg[pos] == 0xFF) ++pos;
        if (pos >= n) {
            error = "the JPEG file ends before its picture";
            return false;
        }
        const std::uint8_t marker = jpeg[pos++];
        if (marker == kEOI || marker == kSOI || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            error = "the JPEG file has no picture";
            return false;
        }
        if (pos + 2 > n) {
            error = "the JPEG file ends inside a marker";
            return false;
        }
        const std::size_t length = (std::size_t(jpeg[pos]) << 8) | jpeg[pos + 1];
        if (length < 2 || pos + length > n) {
            error = "damaged JPEG segment length";
            return false;
        }
        const bool leading = marker == kAPP0 || marker == kAPP1;
        if (!leading && !profileWritten) {
            appendIccChunks(icc, out);
            profileWritten = true;
        }
        if (marker == kSOS) {
            // From the first scan on everything is copied as it stands.
            out.push_back(0xFF);
            out.insert(out.end(), jpeg.begin() + long(pos - 1), jpeg.end());
            return true;
        }
        const bool oldProfile = marker == kAPP2 && isIccSegment(&jpeg[pos + 2], length - 2);
        if (!oldProfile) {
            out.push_back(0xFF);
            out.insert(out.end(), jpeg.begin() + long(pos - 1), jpeg.begin() + long(pos + length));
        }
        pos += length;
    }
}

}  // namespace qv::io::codec
