#pragma once
// The image tool's three commands, run in-process: no shell and no command line is ever built, so
// any path (quotes, "$(...)", spaces, a leading dash) is just a path. Every file is replaced whole
// through a temporary file in its folder, so a failure leaves it as it was.
#include <string>

namespace qv::io {

// Writes the ICC profile embedded in the image into profilePath. When the image has no profile or
// cannot be read, no profile file is left at profilePath (a stale one is removed) and the answer
// is false; `reason` then says why.
bool extractProfile(const std::string& imagePath, const std::string& profilePath);
bool extractProfile(const std::string& imagePath, const std::string& profilePath, std::string& reason);

// Embeds the profile file into the image in place, in the image's own format, keeping its pixels
// and metadata byte for byte (JPEG: APP2 segments; TIFF: tag 34675; PSD: resource 1039; PNG:
// iCCP). Refused, leaving the image untouched, for a profile Little CMS cannot read, a profile of
// another colour model than the image's pixels, or an image format without profiles (OpenEXR).
bool embedProfile(const std::string& profilePath, const std::string& imagePath);
bool embedProfile(const std::string& profilePath, const std::string& imagePath, std::string& reason);

// Rewrites a TIFF file in place with LZW compression (or another of the writer's TIFF codes),
// keeping its pixels, depth, alpha, orientation, profile and metadata.
bool recompressTiff(const std::string& path, int compression = 5);
bool recompressTiff(const std::string& path, int compression, std::string& reason);

}  // namespace qv::io
