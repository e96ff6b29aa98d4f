#pragma once
// A TIFF made of two: a small TIFF that carries the metadata (its first directory's tags, EXIF and
// GPS directories, XMP, IPTC, ICC profile), followed by a TIFF that carries the picture. The first
// directory keeps the small file's tags but takes the picture's structure (size, samples,
// compression, strips), so the metadata is written without rewriting the picture's bytes.
#include <cstddef>
#include <string>

#include "foundation/Value.h"

namespace qv::io::support {

// file holds the metadata TIFF in [0, pictureStart) and the picture TIFF from pictureStart on
// (its offsets counted from pictureStart). Rewrites the metadata TIFF's first directory in
// place to describe the picture, appending the values that do not fit in an entry. False (and a
// reason) when the two do not fit together: another byte order, a structure tag missing from
// the metadata TIFF, or damaged directories.
bool spliceTiffPicture(Data& file, std::size_t pictureStart, std::string& error);

}  // namespace qv::io::support
