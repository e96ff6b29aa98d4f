#include "output/RLE.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <limits>

namespace {

constexpr std::size_t kMaxPacket = 128;

}  // namespace

namespace {

// Packs into `out`, which has room for getMaxEncoded-style worst cases; answers the bytes written.
template <std::size_t Step>
std::size_t packInto(const std::uint8_t* source, std::uint8_t* out, std::size_t count, std::size_t step) {
    const std::size_t stride = Step ? Step : step;
    auto at = [&](std::size_t i) { return source[i * stride]; };
    std::uint8_t* o = out;
    std::size_t i = 0;
    while (i < count) {
        std::size_t run = 1;
        while (i + run < count && run < kMaxPacket && at(i + run) == at(i)) ++run;
        if (run >= 3) {
            *o++ = static_cast<std::uint8_t>(1 - int(run));
            *o++ = at(i);
            i += run;
            continue;
        }
        // A literal packet runs until a run of three starts or it is full.
        const std::size_t start = i;
        std::uint8_t* header = o++;
        while (i < count && i - start < kMaxPacket) {
            if (i + 2 < count && at(i) == at(i + 1) && at(i) == at(i + 2)) break;
            *o++ = at(i++);
        }
        *header = static_cast<std::uint8_t>(i - start - 1);
    }
    return std::size_t(o - out);
}

}  // namespace

std::size_t RLE::packRLE(const std::uint8_t* source, std::vector<std::uint8_t>& destination, std::size_t count,
                         std::size_t step) {
    const std::size_t before = destination.size();
    // At worst one header per 128 bytes; repeat packets never grow the data.
    destination.resize(before + count + (count + kMaxPacket - 1) / kMaxPacket);
    std::uint8_t* out = destination.data() + before;
    const std::size_t written = step == 1 ? packInto<1>(source, out, count, 1)
                                          : step == 3 ? packInto<3>(source, out, count, 3)
                                                      : step == 4 ? packInto<4>(source, out, count, 4)
                                                                  : packInto<0>(source, out, count, step);
    destination.resize(before + written);
    return written;
}

std::size_t RLE::encode(const std::uint8_t* source, std::size_t count, std::vector<std::uint8_t>& destination,
                        std::size_t step) {
    std::size_t written = 0;
    for (std::size_t offset = 0; offset < count; offset += kPieceSize)
        written += packRLE(source + offset * step, destination, std::min(kPieceSize, count - offset), step);
    return written;
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
                std::size_t step = 1;
                const std::uint8_t* row = makeRow(y, scratch.data(), step);
                plane.rowCounts[std::size_t(y)] = static_cast<std::uint16_t>(RLE::encode(row, rowBytes, out, step));
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
