#pragma once
// Resource 1039: the ICC profile embedded in the first input file, found by scanning the file's
// bytes for the signatures of a profile header.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output/WRImageResource.h"

class WRImageResource1039 : public WRImageResource {
public:
    // The resource for the profile inside the file at `path`; null when the file cannot be read
    // or holds no profile.
    static std::unique_ptr<WRImageResource1039> initWithTIFFFile(const std::string& path);

    // Where a profile lies in `data`: its offset and size. A candidate is taken only when its whole
    // header and body lie inside the data and the header carries the profile signature.
    struct Location {
        std::size_t offset = 0;
        std::size_t size = 0;
    };
    static std::optional<Location> readProfileFromFile(const std::uint8_t* data, std::size_t size);

    const std::vector<std::uint8_t>& profile() const { return _colorProfileData; }

protected:
    std::uint32_t dataLength() const override { return static_cast<std::uint32_t>(_colorProfileData.size()); }
    void writeData(WROutputStream& stream) const override;

private:
    explicit WRImageResource1039(std::vector<std::uint8_t> profile);

    std::vector<std::uint8_t> _colorProfileData;
};
