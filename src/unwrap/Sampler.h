#pragma once
// The filters that resample a fisheye source, with their one table: the code the C entry and the
// preferences file keep, the name the command lines take and the title the sampler pop-up shows.
#include <array>
#include <optional>
#include <string_view>

namespace unwrap {

enum class Sampler : int { Bilinear = 0, Gaussian = 1, Mitchell = 2, Lanczos2 = 3, Lanczos3 = 4, BSpline = 5 };

struct SamplerInfo {
    Sampler sampler;
    const char* name;   // command-line word
    const char* title;  // pop-up item
};

inline constexpr std::array<SamplerInfo, 6> kSamplers = {{
    {Sampler::Bilinear, "bilinear", "Bilinear"},
    {Sampler::Gaussian, "gaussian", "Gaussian"},
    {Sampler::Mitchell, "mitchell", "Mitchell"},
    {Sampler::Lanczos2, "lanczos2", "Lanczos 2"},
    {Sampler::Lanczos3, "lanczos3", "Lanczos 3"},
    {Sampler::BSpline, "bspline", "B-spline"},
}};

// What a new preferences file, the pop-up and the command line start with.
inline constexpr Sampler kDefaultSampler = Sampler::Lanczos2;

constexpr int samplerCode(Sampler sampler) { return static_cast<int>(sampler); }

// The sampler of a stored or passed code; nothing for a code outside the table.
constexpr std::optional<Sampler> samplerOfCode(int code) {
    for (const SamplerInfo& info : kSamplers)
        if (samplerCode(info.sampler) == code) return info.sampler;
    return std::nullopt;
}

constexpr std::optional<Sampler> samplerNamed(std::string_view name) {
    for (const SamplerInfo& info : kSamplers)
        if (name == info.name) return info.sampler;
    return std::nullopt;
}

}  // namespace unwrap
