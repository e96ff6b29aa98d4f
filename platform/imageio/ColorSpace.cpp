#include "imageio/ColorSpace.h"

#include <lcms2.h>

#include <mutex>

namespace qv::io {

struct ColorSpace::Profile {
    Data bytes;
    cmsHPROFILE handle = nullptr;
    ~Profile() {
        if (handle) cmsCloseProfile(handle);
    }
};

namespace {

// Little CMS reports problems through a process-wide handler; by default it prints nothing, but a
// handler of our own makes sure a bad profile never writes to the standard streams.
void silenceLittleCMS() {
    static std::once_flag once;
    std::call_once(once, [] { cmsSetLogErrorHandler([](cmsContext, cmsUInt32Number, const char*) {}); });
}

}  // namespace

ColorSpace ColorSpace::deviceRGB() { return ColorSpace(); }

std::optional<ColorSpace> ColorSpace::fromICCProfile(const Data& bytes) {
    silenceLittleCMS();
    // An ICC header alone is 128 bytes; anything shorter cannot be a profile.
    if (bytes.size() < 132) return std::nullopt;
    cmsHPROFILE handle = cmsOpenProfileFromMem(bytes.data(), cmsUInt32Number(bytes.size()));
    if (!handle) return std::nullopt;
    auto profile = std::make_shared<Profile>();
    profile->bytes = bytes;
    profile->handle = handle;
    ColorSpace space;
    space.m_profile = std::move(profile);
    return space;
}

ColorSpace ColorSpace::sRGB() {
    silenceLittleCMS();
    static const Data bytes = [] {
        Data out;
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        cmsUInt32Number size = 0;
        if (srgb && cmsSaveProfileToMem(srgb, nullptr, &size) && size > 0) {
            out.resize(size);
            if (!cmsSaveProfileToMem(srgb, out.data(), &size)) out.clear();
        }
        if (srgb) cmsCloseProfile(srgb);
        return out;
    }();
    if (auto space = fromICCProfile(bytes)) return *space;
    return deviceRGB();
}

const Data& ColorSpace::iccProfile() const {
    static const Data empty;
    return m_profile ? m_profile->bytes : empty;
}

std::string ColorSpace::name() const {
    if (!m_profile) return {};
    cmsUInt32Number size = cmsGetProfileInfoASCII(m_profile->handle, cmsInfoDescription, "en", "US", nullptr, 0);
    if (size == 0) return {};
    std::string text(size, '\0');
    cmsGetProfileInfoASCII(m_profile->handle, cmsInfoDescription, "en", "US", text.data(), size);
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

ColorSpace::Model ColorSpace::model() const {
    if (!m_profile) return Model::RGB;
    switch (cmsGetColorSpace(m_profile->handle)) {
    case cmsSigRgbData: return Model::RGB;
    case cmsSigGrayData: return Model::Gray;
    case cmsSigCmykData: return Model::CMYK;
    default: return Model::Other;
    }
}

void* ColorSpace::cmsProfile() const { return m_profile ? m_profile->handle : nullptr; }

}  // namespace qv::io
