#pragma once
// The user lens database ("dtl"), a property list that the user makes and edits (its keys are in
// LensKeys.h): the lens type and radial shift mode codes with their labels and pop-up positions, the default record,
// and how the edit sheet's fields are stored into a record and into the manufacturer list.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "foundation/Value.h"
#include "lens/LensKeys.h"

namespace lens::userdb {

inline constexpr const char* kExtension = "dtl";

// A code of a record and the localized label key that names it; a code's pop-up position is its
// place in its table.
struct CodeName {
    std::int64_t code;
    const char* labelKey;
};
inline constexpr std::array<CodeName, 6> kLensTypes = {{{0, "kRectilinear"},
                                                        {1, "kScanningCamera"},
                                                        {2, "kCircularFisheye"},
                                                        {3, "kFullFrameFisheye"},
                                                        {4, "kEquirectangular"},
                                                        {8, "kOrthographic"}}};
inline constexpr std::array<CodeName, 3> kRadialShiftModes = {
    {{0, "kRadial"}, {0x1000000, "kVertical"}, {0x2000000, "kHorizontal"}}};

// The label key of a code; an unknown code takes the first entry's.
template <std::size_t N>
const char* labelKeyOf(const std::array<CodeName, N>& table, std::int64_t code) {
    for (const CodeName& entry : table)
        if (entry.code == code) return entry.labelKey;
    return table.front().labelKey;
}
// The code at a pop-up position; nothing outside the table.
template <std::size_t N>
std::optional<std::int64_t> codeAtPosition(const std::array<CodeName, N>& table, int position) {
    if (position < 0 || std::size_t(position) >= N) return std::nullopt;
    return table[std::size_t(position)].code;
}
// The pop-up position of a code; -1 (no selection) for a code outside the table.
template <std::size_t N>
int positionOfCode(const std::array<CodeName, N>& table, std::int64_t code) {
    for (std::size_t i = 0; i < N; ++i)
        if (table[i].code == code) return int(i);
    return -1;
}

// A new record: "untitled", the default focal length, field of view and coefficients.
qv::Value newLensParametersDictionary();

// The edit sheet's lens fields as they stand when the user saves.
struct LensFields {
    std::string name, focalLength, fieldOfView, vignettingAmount, vignettingMidpoint;
    int typePosition = -1;  // -1: no selection
    int modePosition = -1;
    std::array<float, 8> red{};  // the matrix rows
};

// A copy of `record` holding the fields: the five texts as strings, the type and mode codes of the
// chosen positions as integers (a position outside its table keeps the record's code), the eight
// coefficients as single-precision reals.
qv::Value storedRecord(const qv::Value& record, const LensFields& fields);

// The largest magnitude of a distortion coefficient ("Red A" to "Red D"). Real lenses' lie well
// within 2; far beyond, the polynomial sends the whole picture outside itself and the result is
// black.
inline constexpr double kLargestCoefficient = 100;

// Whether a value can stand at a row of the record's "Red" values (kRedValues): finite once held
// in single precision, as the record holds it, and for the four coefficients within
// ±kLargestCoefficient.
bool isUsableRedValue(std::size_t row, double value);

// Whether the record's four coefficients can correct a photo, read as the coefficients in use read
// them (single precision, a missing one as 0).
bool hasUsableCoefficients(const qv::Value& record);

// The manufacturer and model the edit sheet shows, and the pop-up positions they were chosen at.
struct ManufacturerFields {
    std::string manufacturer, model;
    int manufacturerPosition = -1;
    int modelPosition = -1;
};

// Stores the two fields in the manufacturer list: the entry at the chosen position takes the
// manufacturer's name and, at the chosen model position, the model. Without a usable position (no
// list, an empty one, nothing chosen) the fields go into the entry of that name, or a new entry
// at the end; an empty manufacturer field then adds nothing.
void storeManufacturer(qv::Array& manufacturers, const ManufacturerFields& fields);

// The manufacturer names in list order, and the models of the entry at a position (none outside).
std::vector<std::string> manufacturerNames(const qv::Array& manufacturers);
std::vector<std::string> modelsOf(const qv::Array& manufacturers, int position);

}  // namespace lens::userdb
