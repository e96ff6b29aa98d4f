#pragma once
// RLE channel data of PSD documents: every row packed with PackBits (the image layer's codec) in
// pieces of at most 127 source bytes, each packed on its own, with the rows' byte counts kept as
// 16-bit numbers in front of the rows.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class RLE {
public:
    // Packs one row and appends it to `destination`; answers the number of bytes appended.
    static std::size_t encode(const std::uint8_t* source, std::size_t count, std::vector<std::uint8_t>& destination);

    // The most bytes encode() can produce for `count` source bytes: one header per piece.
    static std::size_t getMaxEncoded(std::size_t count) { return count + (count + kPieceSize - 1) / kPieceSize; }

    static constexpr std::size_t kPieceSize = 127;
};

// The rows of one plane, packed: the byte count of every row and the rows one after another.
struct WRPackedPlane {
    std::vector<std::uint16_t> rowCounts;
    std::vector<std::uint8_t> data;
};

// Calls `makeRow(y, scratch)` for every row y in [0, rows) on several threads; it answers a pointer
// to the row's `rowBytes` bytes, its own or `scratch` (which holds rowBytes bytes) filled in.
// False when a packed row would not fit its 16-bit count.
using WRRowSource = std::function<const std::uint8_t*(int y, std::uint8_t* scratch)>;
bool packPlane(int rows, std::size_t rowBytes, const WRRowSource& makeRow, WRPackedPlane& plane);
