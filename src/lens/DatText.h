#pragma once
// The readable text form of a resource lens database, which the qv-lensdb tool builds files from and
// dumps files to. Records start at the left margin and their fields are indented below them:
//
//   group "Canon APS-C"
//
//   camera "Canon" "EOS 400D"                  (menu make, menu model)
//       exif "Canon" "Canon EOS 400D DIGITAL"
//       group "Canon APS-C"                    (or a group's index when names repeat)
//       multiplier 1.6
//       standard 0
//
//   lens "Canon EF-S 18-55mm f/3.5-5.6"
//       group "Canon APS-C"
//       multiplier 1.6
//       max aperture 3.61                      (APEX, as EXIF's MaxApertureValue)
//       focal range 18 55
//       calibration 18 0.0123 -0.0412 0        (focal length, a, b, c; one line each)
//
// Every record may carry "next <index>". Strings are quoted, with \" \\ and \xHH escapes for bytes
// that are not UTF-8 text. "#" starts a comment. A dump of a file built from text in this canonical
// form gives that text back.
#include <string>
#include <string_view>

#include "lens/DatFormat.h"

namespace lensdb {

// Parses the text form. On failure `error` says "line N: what".
bool parseDatabaseText(std::string_view text, DATDatabase& db, std::string& error);

// The canonical text of a database: a fixed preamble comment, the groups, the cameras, the lenses,
// each lens with its calibration records inline.
std::string formatDatabaseText(const DATDatabase& db);

}  // namespace lensdb
