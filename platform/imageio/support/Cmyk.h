#pragma once
// CMYK to RGB for the decoders: through the file's CMYK profile into sRGB when it has a usable one,
// else by the plain complement formula.
#include <cstddef>
#include <cstdint>

#include "foundation/Value.h"

namespace qv::io::support {

class CmykConverter {
public:
    // bits is 8 or 16; `inverted` data stores 0 for full ink (Adobe's CMYK JPEGs).
    CmykConverter(const Data& iccProfile, int bits, bool inverted);
    ~CmykConverter();
    CmykConverter(const CmykConverter&) = delete;
    CmykConverter& operator=(const CmykConverter&) = delete;

    // Interleaved CMYK (4 samples per pixel) to interleaved RGB (3 samples) of the same depth.
    void convert(const std::uint8_t* cmyk, std::uint8_t* rgb, std::size_t pixels) const;
    bool usesProfile() const { return m_transform != nullptr; }

private:
    void* m_transform = nullptr;
    int m_bits;
    bool m_inverted;
};

}  // namespace qv::io::support
