#pragma once
// The distortion coefficients of a lens at one focal length, from its calibration records.
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "lens/DatFormat.h"

// [focal length used, a, b, c]
using QVCoefficientResult = std::array<double, 4>;

namespace lensdb {

// Interpolates a, b, c linearly between the calibration records first..last (inclusive) at the focal
// length, clamped into the records' range, then rescales them from the crop multiplier the lens was
// calibrated with to the matching (camera's) multiplier so that the corrected image keeps its scale.
//
// Answers nothing when the range does not lie inside `calibrations`, when the focal length is not a
// finite number, when the records' last focal length lies more than 0.1 mm below their first, or
// when the result is not finite (records holding NaNs, a rescaling that divides by zero). Records
// whose focal lengths do not ascend are never read outside first..last.
std::optional<QVCoefficientResult> coefficientsAt(const std::vector<DATCalibration>& calibrations,
                                                  std::int64_t first, std::int64_t last, double focalLength,
                                                  double lensMultiplier, double matchingMultiplier);

}  // namespace lensdb
