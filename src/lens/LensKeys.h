#pragma once
// The keys of the lens dictionaries: camera and lens records of the resource database, lens
// records and manufacturer entries of a user database, owned-lens entries, and the entries of a
// preset file. Every reader and writer names a key through these, so a key is spelt once.
namespace lens::keys {

// Camera record of the resource database.
inline constexpr const char* kMenuMake = "menuMake";
inline constexpr const char* kMenuModel = "menuModel";
inline constexpr const char* kExifMake = "exifMake";
inline constexpr const char* kExifModel = "exifModel";
inline constexpr const char* kCamGroup = "camGroup";
inline constexpr const char* kMultiplier = "Multiplier";  // also a lens record's crop multiplier

// Lens record of the resource database (besides kLensName, kLensFocalLength and kMultiplier).
inline constexpr const char* kLensGroup = "lensGroup";
inline constexpr const char* kFLowerBound = "FLowerBound";
inline constexpr const char* kFUpperBound = "FUpperBound";
inline constexpr const char* kMinFocalLength = "minFocalLength";
inline constexpr const char* kMaxFocalLength = "maxFocalLength";
inline constexpr const char* kMaxAperture = "MaxAperture";
inline constexpr const char* kAValue = "aValue";  // also a preset's coefficient a
inline constexpr const char* kBValue = "bValue";
inline constexpr const char* kCValue = "cValue";

// Lens record of a user database; the name and the focal length are shared by both kinds.
inline constexpr const char* kLensName = "3.Lens Name";
inline constexpr const char* kLensFocalLength = "4.Lens Focal Length";
inline constexpr const char* kLensFOV = "5.Lens FOV";
inline constexpr const char* kLensRadialShiftMode = "6.Lens Radial Shift Mode";
inline constexpr const char* kLensType = "7.Lens Type";
inline constexpr const char* kVignettingAmount = "8.Vignetting amount";
inline constexpr const char* kVignettingMidpoint = "9.Vignetting midpoint";
inline constexpr const char* kRedA = "Red A";
inline constexpr const char* kRedB = "Red B";
inline constexpr const char* kRedC = "Red C";
inline constexpr const char* kRedD = "Red D";
inline constexpr const char* kRedHorizontalShift = "Red Horizontal Shift";
inline constexpr const char* kRedVerticalShift = "Red Vertical Shift";
inline constexpr const char* kRedHorizontalShear = "Red Horizontal Shear";
inline constexpr const char* kRedVerticalShear = "Red Vertical Shear";
// The coefficient matrix of the edit sheet in row order, and the four of the parameters sheet.
inline constexpr const char* kRedValues[] = {kRedA, kRedB, kRedC, kRedD, kRedHorizontalShift,
                                             kRedVerticalShift, kRedHorizontalShear, kRedVerticalShear};
inline constexpr const char* kCoefficients[] = {kRedA, kRedB, kRedC, kRedD};

// Root of a user database and its manufacturer entries.
inline constexpr const char* kCameraManufacturers = "Camera Manufacturers";
inline constexpr const char* kLensArray = "Lens Array";
inline constexpr const char* kManufacturerName = "Manufacturer Name";
inline constexpr const char* kModels = "Models";

// Preset file: the four coefficients (kAValue to kDValue) and the controls' values.
inline constexpr const char* kDValue = "dValue";
inline constexpr const char* kPresetCoefficients[] = {kAValue, kBValue, kCValue, kDValue};
inline constexpr const char* kCARed = "CARed";
inline constexpr const char* kCABlue = "CABlue";
inline constexpr const char* kVigAmount = "VigAmount";
inline constexpr const char* kVigMidpoint = "VigMidpoint";
inline constexpr const char* kYaw = "Yaw";
inline constexpr const char* kPitch = "Pitch";
inline constexpr const char* kRoll = "Roll";
inline constexpr const char* kAspectValue = "AspectValue";
inline constexpr const char* kScaleValue = "ScaleValue";
inline constexpr const char* kFOV = "FOV";

}  // namespace lens::keys
