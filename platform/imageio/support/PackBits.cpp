#include "imageio/support/PackBits.h"

#include <cstring>

namespace qv::io::support {

void packBits(const std::uint8_t* src, std::size_t n, Data& out) {
    std::size_t i = 0;
    while (i < n) {
        // A run of at least three equal bytes is worth a repeat packet (two bytes for up to 128).
        std::size_t run = 1;
        while (i + run < n && run < 128 && src[i + run] == src[i]) ++run;
        if (run >= 3) {
            out.push_back(std::uint8_t(257 - run));
            out.push_back(src[i]);
            i += run;
            continue;
        }
        // A literal packet extends until the next run of three or 128 bytes.
        std::size_t start = i, length = 0;
        while (i < n && length < 128) {
            if (i + 2 < n && src[i] == src[i + 1] && src[i] == src[i + 2]) break;
            ++i;
            ++length;
        }
        out.push_back(std::uint8_t(length - 1));
        out.insert(out.end(), src + start, src + start + length);
    }
}

bool unpackBits(const std::uint8_t* src, std::size_t srcSize, std::uint8_t* dst, std::size_t expected) {
    std::size_t in = 0, done = 0;
    while (done < expected) {
        if (in >= srcSize) return false;
        const int header = std::int8_t(src[in++]);
        if (header >= 0) {
            const std::size_t count = std::size_t(header) + 1;
            if (in + count > srcSize || done + count > expected) return false;
            std::memcpy(dst + done, src + in, count);
            in += count;
            done += count;
        } else if (header != -128) {
            const std::size_t count = std::size_t(1 - header);
            if (in >= srcSize || done + count > expected) return false;
            std::memset(dst + done, src[in++], count);
            done += count;
        }  // -128 is a no-op by definition
    }
    return true;
}

}  // namespace qv::io::support
