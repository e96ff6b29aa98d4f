#pragma once
// A reader of layered PSD files written for the tests alone, independent of the writer: it walks
// every section by its stored lengths, so a length that disagrees with its content shows up as a
// parse error, and it unpacks PackBits itself.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace psdtest {

// Unpacks PackBits data into exactly `expected` bytes; nothing when the data is malformed or does
// not give exactly that many bytes.
std::optional<std::vector<std::uint8_t>> unpackBits(const std::uint8_t* data, std::size_t size, std::size_t expected);

struct Resource {
    int id = 0;
    std::vector<std::uint8_t> data;
};

struct Channel {
    int id = 0;
    std::uint32_t length = 0;  // as the record states it
    int compression = -1;
    std::vector<std::uint16_t> samples;  // decoded, row by row over the layer rectangle
};

struct Layer {
    std::int32_t top = 0, left = 0, bottom = 0, right = 0;
    std::vector<Channel> channels;
    std::string blendSignature, blendMode;
    int opacity = 0, clipping = 0, flags = 0;
    std::uint32_t maskDataLength = 0;
    std::int32_t maskTop = 0, maskLeft = 0, maskBottom = 0, maskRight = 0;
    std::string name;
    std::size_t paddedNameLength = 0;

    std::vector<int> channelIDs() const;
    const Channel* channel(int id) const;
};

struct Document {
    int version = 0, channels = 0, depth = 0, mode = 0;
    std::int32_t height = 0, width = 0;
    std::vector<Resource> resources;
    std::uint32_t layerSectionLength = 0, layerInfoLength = 0;
    bool layerPadByte = false;
    std::vector<Layer> layers;
    int mergedCompression = -1;
    std::vector<std::vector<std::uint16_t>> mergedPlanes;  // plane, then row by row

    const Resource* resource(int id) const;
};

// Parses a whole file; on failure answers nothing and sets `error`.
std::optional<Document> readDocument(const std::string& path, std::string& error);

}  // namespace psdtest
