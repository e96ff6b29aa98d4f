#include "output/WRImageResource1039.h"

#include <cstring>
#include <fstream>
#include <limits>

#include "output/WROutputStream.h"

namespace {

constexpr std::size_t kHeaderSize = 128;           // an ICC header; every profile is longer
constexpr std::size_t kCmmOffset = 4;              // preferred CMM type
constexpr std::size_t kSignatureOffset = 36;       // "acsp"
constexpr std::size_t kPlatformOffset = 40;        // primary platform

bool fourCC(const std::uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// A profile said to start at `start`: taken when its size field is sane and the whole profile,
// header signature included, lies inside the data.
std::optional<WRImageResource1039::Location> profileAt(const std::uint8_t* data, std::size_t size, std::size_t start) {
    if (start > size || size - start < kHeaderSize) return std::nullopt;
    const std::size_t length = bigEndian32(data + start);
    if (length < kHeaderSize || length > size - start) return std::nullopt;
    if (!fourCC(data + start + kSignatureOffset, "acsp")) return std::nullopt;
    return WRImageResource1039::Location{start, length};
}

}  // namespace

std::optional<WRImageResource1039::Location> WRImageResource1039::readProfileFromFile(const std::uint8_t* data,
                                                                                    std::size_t size) {
    for (std::size_t p = 0; p + 4 <= size; ++p) {
        const std::uint8_t first = data[p];
        if (first != 'A' && first != 'L' && first != 'a') continue;
        std::optional<Location> found;
        if ((fourCC(data + p, "ADBE") || fourCC(data + p, "Lino")) && p >= kCmmOffset) {
            found = profileAt(data, size, p - kCmmOffset);
        } else if (fourCC(data + p, "acsp") && p >= kSignatureOffset && p + 8 <= size &&
                   fourCC(data + p + (kPlatformOffset - kSignatureOffset), "APPL") &&
                   fourCC(data + p - (kSignatureOffset - kCmmOffset), "appl")) {
            found = profileAt(data, size, p - kSignatureOffset);
        }
        if (found) return found;
    }
    return std::nullopt;
}

std::unique_ptr<WRImageResource1039> WRImageResource1039::initWithTIFFFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) return nullptr;
    const std::streamoff fileSize = file.tellg();
    if (fileSize <= 0) return nullptr;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(fileSize));
    file.seekg(0);
    if (!file.read(reinterpret_cast<char*>(bytes.data()), fileSize)) return nullptr;
    const std::optional<Location> found = readProfileFromFile(bytes.data(), bytes.size());
    if (!found || found->size > std::numeric_limits<std::uint32_t>::max()) return nullptr;
    const auto begin = bytes.begin() + std::ptrdiff_t(found->offset);
    return std::unique_ptr<WRImageResource1039>(
        new WRImageResource1039(std::vector<std::uint8_t>(begin, begin + std::ptrdiff_t(found->size))));
}

WRImageResource1039::WRImageResource1039(std::vector<std::uint8_t> profile)
    : WRImageResource(1039), _colorProfileData(std::move(profile)) {}

void WRImageResource1039::writeData(WROutputStream& stream) const {
    stream.writeBytes(_colorProfileData.data(), _colorProfileData.size());
}
