#pragma once
// The preset file ("dtl2"): one dictionary of fourteen single-precision reals holding a set of
// correction settings. The four distortion coefficients are stored scrambled: offset, scaled,
// rounded to single precision and byte-reversed, so a stored coefficient may have the pattern of
// a NaN, an infinity or a subnormal number; the property-list layer keeps such patterns exactly.
// The keys are in lens/LensKeys.h.
#include <array>
#include <cstdint>
#include <optional>

#include "foundation/Value.h"
#include "lens/LensKeys.h"

namespace shell::preset {

inline constexpr const char* kExtension = "dtl2";

inline constexpr double kScrambleOffset = 0.5182463;
inline constexpr double kScrambleFactor = 6.19047385;

// Bits 0-7 change places with bits 24-31, bits 8-15 with bits 16-23: arithmetic on the pattern
// as a number, so the result is the same on either byte order.
std::uint32_t reverseBytes(std::uint32_t bits);
std::uint32_t bitsOfFloat(float value);
float floatOfBits(std::uint32_t bits);
// The single-precision value whose pattern is the byte-reversed pattern of `value`.
float swapfloat(float value);
// A double whose two 32-bit halves are both the byte-reversed low half of `value`'s pattern.
double swapDouble(double value);

// A coefficient as it is stored, and back: decoding widens the byte-reversed pattern to double and
// undoes the offset and the factor in double precision.
float scrambleCoefficient(double coefficient);
double unscrambleCoefficient(float stored);

// The settings a preset holds, each as the control holds it (the coefficients decoded).
struct PresetSettings {
    std::array<double, 4> coefficients{};  // a, b, c, d
    float red = 0;          // the red fringe slider ("CARed")
    float blue = 0;         // the blue fringe slider ("CABlue")
    float vigAmount = 0;
    float vigMidpoint = 0;
    float scale = 0;
    float aspect = 0;
    float yaw = 0;
    float pitch = 0;
    float roll = 0;         // the rotation slider (the negated rotation angle)
    float fieldOfView = 0;  // the field-of-view text field
};

// The fourteen entries, all single-precision reals.
qv::Value presetDictionary(const PresetSettings& settings);

// Reads a preset dictionary. A missing entry, or one that holds no number, reads as 0 (its
// coefficient decodes to the negated offset). Nothing when `preset` is not a dictionary, or when
// a setting it gives, decoded, is not a finite number: such a file is refused whole.
std::optional<PresetSettings> presetSettingsFrom(const qv::Value& preset);

}  // namespace shell::preset
