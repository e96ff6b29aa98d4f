#pragma once
// The section structure of a PSD file (header, colour-mode data, image resources, layers, merged
// image data) and rewrites of its image resources that keep every other byte.
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/Value.h"

namespace qv::io::codec {

inline constexpr std::uint16_t kPsdResourceResolution = 1005;
inline constexpr std::uint16_t kPsdResourceICCProfile = 1039;

struct PsdResource {
    std::uint16_t id = 0;
    std::size_t blockOffset = 0;  // where the block starts ("8BIM")
    std::size_t blockLength = 0;  // the whole block, padding included
    std::size_t dataOffset = 0;
    std::uint32_t dataLength = 0;
};

struct PsdLayout {
    std::uint16_t channels = 0;
    std::uint32_t height = 0, width = 0;
    std::uint16_t depth = 0, mode = 0;
    std::size_t colorModeOffset = 0;  // the colour-mode data (after its length)
    std::uint32_t colorModeLength = 0;
    std::size_t resourcesOffset = 0;  // the section's length field
    std::uint32_t resourcesLength = 0;
    std::vector<PsdResource> resources;
    std::size_t layersOffset = 0;  // the layer and mask section's length field
    std::uint32_t layersLength = 0;
    bool mergedAlpha = false;       // the layer count is negative: channel after the colour is transparency
    bool hasLayers = false;
    std::size_t imageDataOffset = 0;  // the compression code of the merged image

    const PsdResource* find(std::uint16_t id) const;
};

// Parses the sections up to the merged image data; false (with a message) for anything that is not
// a well-formed version 1 PSD file.
bool parsePsd(const std::uint8_t* data, std::size_t size, PsdLayout& layout, std::string& error);

// Appends one image-resource block ("8BIM", id, empty name, length, data, padding).
void appendPsdResource(Data& out, std::uint16_t id, const Data& payload);

// The PSD file with resource `id` replaced by payload (inserted in id order when absent).
bool replacePsdResource(const Data& psd, std::uint16_t id, const Data& payload, Data& out, std::string& error);

}  // namespace qv::io::codec
