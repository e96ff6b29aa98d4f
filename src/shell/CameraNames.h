#pragma once
// Some cameras write their EXIF make and model padded with blanks; the lens database stores them
// unpadded. These are the known cases.
#include <string>

namespace shell {

inline constexpr const char* kPaddedRicohMake = "RICOH      ";  // "RICOH" and six blanks

// The database's form of a photo's EXIF model: a padded model of the padded RICOH make, or the
// padded FinePix F31fd of FUJIFILM, loses its blanks; every other model stays as it is.
std::string unpaddedExifModel(const std::string& exifMake, const std::string& exifModel);

}  // namespace shell
