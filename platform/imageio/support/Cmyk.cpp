#include "imageio/support/Cmyk.h"

#include <lcms2.h>

#include <cstring>

#include "imageio/ColorSpace.h"

namespace qv::io::support {

CmykConverter::CmykConverter(const Data& iccProfile, int bits, bool inverted) : m_bits(bits), m_inverted(inverted) {
    if (iccProfile.empty()) return;
    auto space = ColorSpace::fromICCProfile(iccProfile);
    if (!space || space->model() != ColorSpace::Model::CMYK) return;
    ColorSpace srgb = ColorSpace::sRGB();
    if (!srgb.cmsProfile()) return;
    cmsUInt32Number in = bits == 16 ? TYPE_CMYK_16 : TYPE_CMYK_8;
    if (inverted) in = bits == 16 ? TYPE_CMYK_16_REV : TYPE_CMYK_8_REV;
    const cmsUInt32Number out = bits == 16 ? TYPE_RGB_16 : TYPE_RGB_8;
    m_transform = cmsCreateTransform(space->cmsProfile(), in, srgb.cmsProfile(), out, INTENT_PERCEPTUAL, 0);
}

CmykConverter::~CmykConverter() {
    if (m_transform) cmsDeleteTransform(m_transform);
}

void CmykConverter::convert(const std::uint8_t* cmyk, std::uint8_t* rgb, std::size_t pixels) const {
    if (m_transform) {
        cmsDoTransform(m_transform, cmyk, rgb, cmsUInt32Number(pixels));
        return;
    }
    if (m_bits == 16) {
        for (std::size_t i = 0; i < pixels; ++i) {
            std::uint16_t s[4], d[3];
            std::memcpy(s, cmyk + i * 8, 8);
            if (m_inverted)
                for (auto& v : s) v = std::uint16_t(65535 - v);
            const std::uint32_t k = 65535u - s[3];
            for (int c = 0; c < 3; ++c) d[c] = std::uint16_t(((65535u - s[c]) * k + 32767u) / 65535u);
            std::memcpy(rgb + i * 6, d, 6);
        }
        return;
    }
    for (std::size_t i = 0; i < pixels; ++i) {
        std::uint8_t s[4];
        std::memcpy(s, cmyk + i * 4, 4);
        if (m_inverted)
            for (auto& v : s) v = std::uint8_t(255 - v);
        const unsigned k = 255u - s[3];
        for (int c = 0; c < 3; ++c) rgb[i * 3 + c] = std::uint8_t(((255u - s[c]) * k + 127u) / 255u);
    }
}

}  // namespace qv::io::support
