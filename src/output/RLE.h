#pragma once
// PackBits, the run-length scheme of PSD channel data (and of TIFF compression 32773): a header
// byte n in 0..127 is followed by n + 1 literal bytes; a header 1 - n (n in 2..128, as a signed
// byte) repeats the next byte n times; 0x80 is never written.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class RLE {
public:
    // Packs `count` source bytes taken every `step` bytes (step 1: contiguous) and appends the
    // packets to `destination`; literal packets hold up to 128 bytes, runs of three or more equal
    // bytes become repeat packets of up to 128. Returns the number of bytes appended.
    static std::size_t packRLE(const std::uint8_t* source, std::vector<std::uint8_t>& destination,
                               std::size_t count, std::size_t step = 1);

    // Packs one row the way PSD rows are packed here: cut into pieces of at most 127 source bytes,
    // each packed on its own. Returns the number of bytes appended.
    static std::size_t encode(const std::uint8_t* source, std::size_t count, std::vector<std::uint8_t>& destination,
                              std::size_t step = 1);

    // The most bytes encode() can produce for `count` source bytes.
    static std::size_t getMaxEncoded(std::size_t count) { return count + (count + kPieceSize - 1) / kPieceSize; }

    static constexpr std::size_t kPieceSize = 127;
};

// The rows of one plane, packed: the byte count of every row (PSD stores them as 16-bit numbers
// before the rows) and the rows one after another.
struct WRPackedPlane {
    std::vector<std::uint16_t> rowCounts;
    std::vector<std::uint8_t> data;
};

// Calls `makeRow(y, scratch)` for every row y in [0, rows) on several threads; it returns a pointer
// to the row's `rowBytes` bytes (its own or scratch, which holds rowBytes bytes) and the step
// between them. False when a packed row would not fit its 16-bit count.
using WRRowSource = std::function<const std::uint8_t*(int y, std::uint8_t* scratch, std::size_t& step)>;
bool packPlane(int rows, std::size_t rowBytes, const WRRowSource& makeRow, WRPackedPlane& plane);
