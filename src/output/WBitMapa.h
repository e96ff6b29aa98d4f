#pragma once
// The channel set of one layer: its opaque rectangle, the id and encoded length of every channel
// the layer record lists, and the channel data itself. RLE channels are packed when the set is
// built (their lengths go into the layer record, which precedes the data); raw channels are
// produced row by row while they are written, so a layer never holds a second copy of its pixels.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "output/QVOutputInfo.h"
#include "output/RLE.h"
#include "output/WRPixelSource.h"
#include "output/WRRect.h"

class WROutputStream;

class WBitMapa {
public:
    // Channel ids of the layer record besides the colour channels 0, 1, 2.
    static constexpr std::int16_t kTransparencyID = -1;
    static constexpr std::int16_t kUserMaskID = -2;

    // The channel set of `source` for the settings' depth and compression. Null, with `error` set,
    // when the compression is not one this writer produces or a packed row would not fit.
    static std::unique_ptr<WBitMapa> make(std::shared_ptr<const WRPixelSource> source, const QVOutputInfo& info,
                                          std::string& error);

    const WRPixelSource& source() const { return *_source; }
    const WRRect& imageRect() const { return _imageRect; }
    bool hasAlpha() const { return _hasAlpha; }
    bool hasUnfeatheredAlpha() const { return _unfeathered; }

    int channelsCount() const { return int(_channels.size()); }
    std::int16_t channelID(int index) const { return _channels[std::size_t(index)].id; }
    // Bytes of the channel's data in the file, its 2-byte compression code included.
    std::uint64_t channelLength(int index) const;
    // Writes the compression code and the data of one channel; nothing for an index past the count.
    void writeDataWithIndex(int index, WROutputStream& stream) const;

private:
    // What a channel carries: one of the source's samples, or the opaque filler.
    enum Content { kRed, kGreen, kBlue, kAlpha, kFiller, kContentCount };
    struct Channel {
        std::int16_t id;
        Content content;
    };

    WBitMapa() = default;
    bool packContent(Content content);
    const std::uint8_t* contentRow(Content content, int y, std::uint8_t* scratch) const;
    std::size_t rowBytes() const { return std::size_t(_imageRect.width()) * std::size_t(_depth); }

    std::shared_ptr<const WRPixelSource> _source;
    std::vector<Channel> _channels;
    WRPackedPlane _packed[kContentCount];  // RLE only: each content packed once, shared by its channels
    std::int16_t _compression = kWRCompressionRaw;
    WRRect _imageRect;
    int _depth = 1;
    bool _hasAlpha = false;
    bool _unfeathered = false;
};
