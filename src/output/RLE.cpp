#include "output/RLE.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <limits>

#include "imageio/support/PackBits.h"

std::size_t RLE::encode(const std::uint8_t* source, std::size_t count, std::vector<std::uint8_t>& destination) {
    const std::size_t before = destination.size();
    for (std::size_t offset = 0; offset < count; offset += kPieceSize)
        qv::io::support::packBits(source + offset, std::min(kPieceSize, count - offset), destination);
    return destination.size() - before;
}

bool packPlane(int rows, std::size_t rowBytes, const WRRowSource& makeRow, WRPackedPlane& plane) {
    if (rows <= 0) {
        plane = {};
        return true;
    }
    if (RLE::getMaxEncoded(rowBytes) > std::numeric_limits<std::uint16_t>::max()) return false;

    // Blocks of rows are packed independently into their own buffers, then joined in order.
    constexpr int kRowsPerBlock = 64;
    const int blocks = (rows + kRowsPerBlock - 1) / kRowsPerBlock;
    std::vector<std::vector<std::uint8_t>> packed(static_cast<std::size_t>(blocks));
    plane.rowCounts.assign(std::size_t(rows), 0);
    tbb::parallel_for(tbb::blocked_range<int>(0, blocks), [&](const tbb::blocked_range<int>& range) {
        std::vector<std::uint8_t> scratch(rowBytes);
        for (int b = range.begin(); b != range.end(); ++b) {
            std::vector<std::uint8_t>& out = packed[std::size_t(b)];
            const int end = std::min(rows, (b + 1) * kRowsPerBlock);
            out.reserve(RLE::getMaxEncoded(rowBytes) * std::size_t(end - b * kRowsPerBlock));
            for (int y = b * kRowsPerBlock; y < end; ++y) {
                const std::uint8_t* row = makeRow(y, scratch.data());
                plane.rowCounts[std::size_t(y)] = static_cast<std::uint16_t>(RLE::encode(row, rowBytes, out));
            }
        }
    });
    std::size_t total = 0;
    for (const auto& block : packed) total += block.size();
    plane.data.clear();
    plane.data.reserve(total);
    for (auto& block : packed) {
        plane.data.insert(plane.data.end(), block.begin(), block.end());
        std::vector<std::uint8_t>().swap(block);
    }
    return true;
}
