#include "output/WBitMapa.h"

#include <algorithm>

#include "output/WROutputStream.h"

std::unique_ptr<WBitMapa> WBitMapa::make(std::shared_ptr<const WRPixelSource> source, const QVOutputInfo& info,
                                         std::string& error) {
    if (info._compression != kWRCompressionRaw && info._compression != kWRCompressionRLE) {
        error = "Compression " + std::to_string(info._compression) + " is not supported.";
        return nullptr;
    }
    if (info._depth != 1 && info._depth != 2) {
        error = "A depth of " + std::to_string(info._depth) + " bytes per sample is not supported.";
        return nullptr;
    }
    std::unique_ptr<WBitMapa> set(new WBitMapa);
    set->_source = std::move(source);
    set->_compression = info._compression;
    set->_depth = info._depth;
    set->_imageRect = set->_source->opaqueRect();
    set->_hasAlpha = set->_source->hasAlpha();
    set->_unfeathered = set->_source->hasUnfeatheredAlpha();

    set->_channels = {{0, kRed}, {1, kGreen}, {2, kBlue}};
    if (set->_hasAlpha) {
        // A feathered layer keeps its soft edge in the mask and leaves its transparency opaque.
        set->_channels.push_back({kTransparencyID, set->_unfeathered ? kAlpha : kFiller});
        set->_channels.push_back({kUserMaskID, kAlpha});
    } else {
        // Transparency, not a user mask: this layer writes no mask data for a mask channel to use.
        set->_channels.push_back({kTransparencyID, kFiller});
    }

    if (set->_compression == kWRCompressionRLE) {
        bool packed[kContentCount] = {};
        for (const Channel& channel : set->_channels) {
            if (packed[channel.content]) continue;
            if (!set->packContent(channel.content)) {
                error = "A row of the layer is too long to pack.";
                return nullptr;
            }
            packed[channel.content] = true;
        }
    }
    return set;
}

const std::uint8_t* WBitMapa::contentRow(Content content, int y, std::uint8_t* scratch) const {
    if (content == kFiller) {
        std::fill(scratch, scratch + rowBytes(), std::uint8_t(0xFF));
        return scratch;
    }
    return _source->channelRow(int(content), _imageRect.top + y, _imageRect.left, _imageRect.right, _depth, scratch);
}

bool WBitMapa::packContent(Content content) {
    return packPlane(
        _imageRect.height(), rowBytes(),
        [&](int y, std::uint8_t* scratch) { return contentRow(content, y, scratch); },
        _packed[content]);
}

std::uint64_t WBitMapa::channelLength(int index) const {
    const Content content = _channels[std::size_t(index)].content;
    if (_compression == kWRCompressionRLE)
        return 2 + 2 * std::uint64_t(_packed[content].rowCounts.size()) + _packed[content].data.size();
    return 2 + std::uint64_t(rowBytes()) * std::uint64_t(_imageRect.height());
}

void WBitMapa::writeDataWithIndex(int index, WROutputStream& stream) const {
    if (index < 0 || index >= channelsCount()) return;
    const Content content = _channels[std::size_t(index)].content;
    stream.writeI16(_compression);
    if (_compression == kWRCompressionRLE) {
        for (std::uint16_t count : _packed[content].rowCounts) stream.writeU16(count);
        stream.writeBytes(_packed[content].data.data(), _packed[content].data.size());
        return;
    }
    std::vector<std::uint8_t> scratch(rowBytes());
    for (int y = 0; y < _imageRect.height() && stream.ok(); ++y)
        stream.writeBytes(contentRow(content, y, scratch.data()), rowBytes());
}
