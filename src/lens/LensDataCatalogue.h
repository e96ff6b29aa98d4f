#pragma once
// The lens calibration catalogue that Debian's lens data package installs (XML files, one element
// per mount, camera and lens), read into plain records for the converter that turns it into a
// resource lens database. Only what the conversion needs is kept.
#include <string>
#include <string_view>
#include <vector>

namespace lensdata {

struct Mount {
    std::string name;
    std::vector<std::string> compatible;  // mounts whose lenses fit this one (by adapter or design)
};

struct Camera {
    std::string maker, makerEnglish;  // as the photo's EXIF names it, and the English display name
    std::string model, modelEnglish;
    std::string variant;
    std::string mount;
    double cropFactor = 0;  // 0 when the file gives none
};

// One distortion calibration at one focal length. The coefficients a model does not use stay 0.
struct Distortion {
    std::string model;  // "ptlens", "poly3", "poly5", "none", ...
    double focal = 0;   // 0 when the file gives none
    double a = 0, b = 0, c = 0, k1 = 0, k2 = 0;
};

struct Lens {
    std::string maker, model;
    std::vector<std::string> mounts;
    double cropFactor = 0;     // of the frame the calibration was made on; 0 when missing
    double aspectRatio = 1.5;  // of that frame, longer side over shorter; 0 when unreadable
    std::string type;          // "" for rectilinear (the data's default)
    double minFocal = 0, maxFocal = 0;  // from the file's focal element; 0 when missing
    double minAperture = 0;             // the smallest f-number; 0 when missing
    std::vector<Distortion> distortions;
};

struct Catalogue {
    std::vector<Mount> mounts;
    std::vector<Camera> cameras;
    std::vector<Lens> lenses;
};

// Adds the records of one XML file's text. False, with a message in `error`, when the text is not
// well-formed XML or its root is not a lens database.
bool readCatalogueText(std::string_view xml, Catalogue& catalogue, std::string& error);

// Adds every ".xml" file of the folder, in name order. False when the folder holds none or one
// cannot be read; `error` names the file.
bool readCatalogueFolder(const std::string& folder, Catalogue& catalogue, std::string& error);

}  // namespace lensdata
