#pragma once
// Turns the lens calibration catalogue (LensDataCatalogue) into a resource lens database.
//
// - A camera group per mount and crop factor; each camera with its EXIF make and model as the data
//   spells them, its English names for the menus.
// - A lens record in every group whose mount the lens fits (its own mounts, or a mount that declares
//   one of them compatible), unless the group's crop factor is much smaller than the one the lens was
//   calibrated at: the coefficients would be extrapolated beyond the calibrated frame. Where lenses
//   of one name (calibrations on several bodies) fit a group, the group keeps the one calibrated at
//   the crop factor nearest its own.
// - The calibrations: "ptlens" (a, b, c) as they stand; "poly3" (k1) is a = 0, b = k1, c = 0;
//   "poly5" (k1, k2) by a least-squares fit of a, b, c over r from 0 to the calibration frame's
//   corner, to the polynomial scaled so that r = 1 stays in place as in ours. Both sides put r = 1
//   at half the shorter side of the frame.
// - Multipliers: the database rescales coefficients by the ratio of the lens's multiplier to the
//   camera's, that ratio being how much larger the camera's unit radius is than the calibration's.
//   Both are therefore the crop factor scaled by the frame's aspect ratio (3:2 gives the crop factor
//   itself); a camera's frame takes the aspect ratio of the lenses calibrated on that frame.
#include <array>
#include <map>
#include <string>

#include "lens/DatFormat.h"
#include "lens/LensDataCatalogue.h"

namespace lensdata {

// What a conversion took in, gave out and left out, with the reason for each left-out record.
struct ImportReport {
    int camerasRead = 0, camerasConverted = 0;
    int lensesRead = 0, lensesConverted = 0;
    int groups = 0, lensRecords = 0, calibrationRecords = 0;
    std::map<std::string, int> calibrationsByModel;  // converted distortion entries per model
    std::map<std::string, int> camerasSkipped, lensesSkipped, calibrationsSkipped, lensRecordsSkipped;
};

DATDatabase convertCatalogue(const Catalogue& catalogue, ImportReport& report);

// The report as the tool prints it: one line per count, then one per reason.
std::string formatReport(const ImportReport& report);

// a, b, c of the radial polynomial closest in least squares to (1 + k1 r^2 + k2 r^4) / (1 + k1 + k2)
// over [0, corner], measured on the mapped radius.
std::array<double, 3> fitFifthOrder(double k1, double k2, double corner);

// The multiplier of a frame with this crop factor and aspect ratio (longer over shorter side).
double frameMultiplier(double cropFactor, double aspectRatio);

// The focal range ("18-55mm", "50mm") and the smallest f-number ("f/3.5-5.6", "F4", "1:2.8") that
// a lens's model name states; 0 where it states none.
struct NamedLensFacts {
    double minFocal = 0, maxFocal = 0, minAperture = 0;
};
NamedLensFacts factsFromLensName(const std::string& model);

}  // namespace lensdata
