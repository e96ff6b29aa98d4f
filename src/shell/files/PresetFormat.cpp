#include "shell/files/PresetFormat.h"

#include "foundation/BitCast.h"

#include <cmath>
#include <iterator>

// Scrambled coefficients are often subnormal, NaN or infinite bit patterns that must pass through
// untouched: arithmetic that assumes finite numbers or flushes subnormals to zero would change them.
#if defined(__FAST_MATH__)
#error "presets need IEEE arithmetic: build without -ffast-math"
#endif

namespace shell::preset {

using namespace lens::keys;

namespace {

// The twelve entries stored as the controls hold them, beside the setting each fills.
struct ControlEntry {
    const char* key;
    float PresetSettings::*setting;
};

constexpr ControlEntry kControlEntries[] = {
    {kCARed, &PresetSettings::red},           {kCABlue, &PresetSettings::blue},
    {kVigAmount, &PresetSettings::vigAmount}, {kVigMidpoint, &PresetSettings::vigMidpoint},
    {kScaleValue, &PresetSettings::scale},    {kAspectValue, &PresetSettings::aspect},
    {kYaw, &PresetSettings::yaw},             {kPitch, &PresetSettings::pitch},
    {kRoll, &PresetSettings::roll},           {kFOV, &PresetSettings::fieldOfView},
};

}  // namespace

std::uint32_t reverseBytes(std::uint32_t bits) {
    return ((bits & 0x000000FFu) << 24) | ((bits & 0x0000FF00u) << 8) | ((bits & 0x00FF0000u) >> 8) |
           ((bits & 0xFF000000u) >> 24);
}

std::uint32_t bitsOfFloat(float value) { return qv::bitCast<std::uint32_t>(value); }

float floatOfBits(std::uint32_t bits) { return qv::bitCast<float>(bits); }

float swapfloat(float value) { return floatOfBits(reverseBytes(bitsOfFloat(value))); }

double swapDouble(double value) {
    const auto bits = qv::bitCast<std::uint64_t>(value);
    const std::uint64_t half = reverseBytes(std::uint32_t(bits & 0xFFFFFFFFu));
    return qv::bitCast<double>((half << 32) | half);
}

float scrambleCoefficient(double coefficient) {
    const double scaled = (coefficient + kScrambleOffset) * kScrambleFactor;
    return swapfloat(float(scaled));
}

double unscrambleCoefficient(float stored) {
    const double unswapped = double(swapfloat(stored));
    return unswapped / kScrambleFactor - kScrambleOffset;
}

qv::Value presetDictionary(const PresetSettings& settings) {
    qv::Value preset{qv::Dictionary()};
    for (std::size_t i = 0; i < std::size(kPresetCoefficients); ++i)
        preset[kPresetCoefficients[i]] = qv::Value(scrambleCoefficient(settings.coefficients[i]));
    for (const ControlEntry& entry : kControlEntries) preset[entry.key] = qv::Value(settings.*entry.setting);
    return preset;
}

std::optional<PresetSettings> presetSettingsFrom(const qv::Value& preset) {
    if (!preset.isDictionary()) return std::nullopt;
    // A real read as single precision keeps the stored pattern, whatever it is.
    auto stored = [&](const char* key) { return preset.get(key).floatOr(0); };
    PresetSettings settings;
    for (std::size_t i = 0; i < std::size(kPresetCoefficients); ++i) {
        settings.coefficients[i] = double(float(unscrambleCoefficient(stored(kPresetCoefficients[i]))));
        if (!std::isfinite(settings.coefficients[i])) return std::nullopt;
    }
    for (const ControlEntry& entry : kControlEntries) {
        settings.*entry.setting = stored(entry.key);
        if (!std::isfinite(settings.*entry.setting)) return std::nullopt;
    }
    return settings;
}

}  // namespace shell::preset
