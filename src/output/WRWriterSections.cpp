// The document's sections in file order: header, image resources, layer and mask information,
// merged image.
#include <algorithm>

#include "output/RLE.h"
#include "output/WROutputStream.h"
#include "output/WRWriter.h"

namespace {

// A Pascal name padded with zeros to a multiple of four bytes, its length byte included.
std::uint32_t paddedNameLength(const std::string& name) { return (std::uint32_t(name.size()) + 1 + 3) & ~3u; }

constexpr std::uint32_t kMaskDataLength = 20;

}  // namespace

void WRWriter::writeHeader(WROutputStream& stream) const {
    stream.writeSignature("8BPS");
    stream.writeI16(_workInfo._version);
    stream.writeZeros(6);
    stream.writeI16(WRPixelSource::kColourSamples);
    stream.writeI32(_imageHeight);
    stream.writeI32(_imageWidth);
    stream.writeI16(std::int16_t(8 * _workInfo._depth));
    stream.writeI16(_workInfo._colorMode);
    stream.writeU32(0);  // colour-mode data
}

void WRWriter::writeImageResources(WROutputStream& stream) const {
    std::uint32_t total = 0;
    for (const auto& resource : _imageResource) total += resource->length();
    stream.writeU32(total);
    for (const auto& resource : _imageResource) resource->writeImageResourceToStream(stream);
}

std::uint64_t WRWriter::layerRecordLength(const Layer& layer) const {
    const WBitMapa& channels = *layer.channels;
    const std::uint64_t extra = 4 + (channels.hasAlpha() ? kMaskDataLength : 0) + 4;  // mask data, blending ranges
    return 16 + 2 + 6 * std::uint64_t(channels.channelsCount()) + 12 + 4 + extra + paddedNameLength(layer.name);
}

std::uint64_t WRWriter::layerLength(const Layer& layer) const {
    std::uint64_t length = layerRecordLength(layer);
    for (int i = 0; i < layer.channels->channelsCount(); ++i) length += layer.channels->channelLength(i);
    return length;
}

void WRWriter::writeLayerRecord(WROutputStream& stream, const Layer& layer) const {
    const WBitMapa& channels = *layer.channels;
    const WRRect& rect = channels.imageRect();
    for (std::int32_t v : {rect.top, rect.left, rect.bottom, rect.right}) stream.writeI32(v);
    stream.writeI16(std::int16_t(channels.channelsCount()));
    for (int i = 0; i < channels.channelsCount(); ++i) {
        stream.writeI16(channels.channelID(i));
        stream.writeU32(std::uint32_t(channels.channelLength(i)));
    }
    stream.writeSignature("8BIM");
    stream.writeSignature("norm");
    stream.writeU8(255);                                       // opacity
    stream.writeU8(0);                                         // clipping: base
    stream.writeU8(channels.hasUnfeatheredAlpha() ? 1 : 0);   // flags
    stream.writeU8(0);                                         // filler

    const std::uint32_t nameLength = paddedNameLength(layer.name);
    stream.writeU32((channels.hasAlpha() ? 4 + kMaskDataLength + 4 : 4 + 4) + nameLength);
    if (channels.hasAlpha()) {
        stream.writeU32(kMaskDataLength);
        for (std::int32_t v : {rect.top, rect.left, rect.bottom, rect.right}) stream.writeI32(v);
        stream.writeU8(0);  // default colour
        stream.writeU8(0);  // flags
        stream.writeZeros(2);
    } else {
        stream.writeU32(0);
    }
    stream.writeU32(0);  // blending ranges
    stream.writeU8(static_cast<std::uint8_t>(layer.name.size()));
    stream.writeBytes(layer.name.data(), layer.name.size());
    stream.writeZeros(nameLength - 1 - layer.name.size());
}

void WRWriter::writeLayers(WROutputStream& stream, std::uint64_t layersLength) const {
    const std::uint64_t padded = layersLength + (layersLength & 1);
    stream.writeU32(std::uint32_t(padded + 2 + 8));  // layer and mask information
    stream.writeU32(std::uint32_t(padded + 2));      // layer information
    stream.writeI16(_layerCount);
    for (const Layer& layer : _layers) writeLayerRecord(stream, layer);
    for (const Layer& layer : _layers)
        for (int i = 0; i < layer.channels->channelsCount() && stream.ok(); ++i)
            layer.channels->writeDataWithIndex(i, stream);
    if (layersLength & 1) stream.writeU8(0);
    stream.writeU32(0);  // global layer mask
}

bool WRWriter::writeMergedImage(WROutputStream& stream) const {
    // The merged image covers the whole document: the first input at the top left, black beyond
    // it when a later layer is larger, so that its size always agrees with the header's.
    const WRPixelSource& first = _layers.front().channels->source();
    const int depth = _workInfo._depth;
    const std::size_t rowBytes = std::size_t(_imageWidth) * std::size_t(depth);
    const int sourceWidth = first.width();
    auto planeRow = [&](int plane, int y, std::uint8_t* scratch) -> const std::uint8_t* {
        std::size_t filled = 0;
        if (y < first.height()) {
            first.channelRow(plane, y, 0, sourceWidth, depth, scratch);
            filled = std::size_t(sourceWidth) * std::size_t(depth);
        }
        std::fill(scratch + filled, scratch + rowBytes, std::uint8_t(0));
        return scratch;
    };

    if (depth == 1) {
        WRPackedPlane planes[WRPixelSource::kColourSamples];
        for (int plane = 0; plane < WRPixelSource::kColourSamples; ++plane) {
            const bool packed = packPlane(
                _imageHeight, rowBytes,
                [&](int y, std::uint8_t* scratch) { return planeRow(plane, y, scratch); },
                planes[plane]);
            if (!packed) return false;
        }
        stream.writeI16(kWRCompressionRLE);
        for (const WRPackedPlane& plane : planes)
            for (std::uint16_t count : plane.rowCounts) stream.writeU16(count);
        for (const WRPackedPlane& plane : planes) stream.writeBytes(plane.data.data(), plane.data.size());
        return true;
    }

    stream.writeI16(kWRCompressionRaw);
    std::vector<std::uint8_t> scratch(rowBytes);
    for (int plane = 0; plane < WRPixelSource::kColourSamples; ++plane)
        for (int y = 0; y < _imageHeight && stream.ok(); ++y)
            stream.writeBytes(planeRow(plane, y, scratch.data()), rowBytes);
    return true;
}
