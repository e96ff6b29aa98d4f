#pragma once
// The colour space of a decoded image: either device RGB (no profile) or an embedded ICC profile,
// kept as its exact bytes beside a Little CMS handle that proved the bytes are a usable profile.
#include <memory>
#include <optional>
#include <string>

#include "foundation/Value.h"

namespace qv::io {

class ColorSpace {
public:
    enum class Model { RGB, Gray, CMYK, Other };

    // Device RGB: no profile; the writer embeds nothing for it.
    static ColorSpace deviceRGB();
    // A colour space from ICC profile bytes; nothing when Little CMS cannot open them.
    static std::optional<ColorSpace> fromICCProfile(const Data& bytes);
    // The sRGB profile built by Little CMS (decoders use it for data that is sRGB by definition).
    static ColorSpace sRGB();

    bool isDeviceRGB() const { return !m_profile; }
    bool hasICCProfile() const { return m_profile != nullptr; }
    // The profile exactly as it was embedded; empty for device RGB.
    const Data& iccProfile() const;
    // The profile's description text ("" when it has none or for device RGB).
    std::string name() const;
    Model model() const;
    // The Little CMS profile handle (cmsHPROFILE), valid as long as this object or a copy lives;
    // null for device RGB.
    void* cmsProfile() const;

    bool operator==(const ColorSpace& other) const { return iccProfile() == other.iccProfile(); }
    bool operator!=(const ColorSpace& other) const { return !(*this == other); }

private:
    struct Profile;
    std::shared_ptr<const Profile> m_profile;
};

}  // namespace qv::io
