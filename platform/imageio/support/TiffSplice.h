#pragma once
// A TIFF made of two: a small TIFF that carries the metadata (its first directory's tags, EXIF and
// GPS directories, XMP, IPTC, ICC profile), followed by a TIFF that carries the picture. The first
// directory keeps the small file's tags but takes the picture's structure (size, samples,
// compression, strips), so the metadata is written without rewriting the picture's bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/Value.h"

namespace qv::io::support {

// file holds the metadata TIFF in [0, pictureStart) and the picture TIFF from pictureStart on
// (its offsets counted from pictureStart). Rewrites the metadata TIFF's first directory in
// place to describe the picture, appending the values that do not fit in an entry. False (and a
// reason) when the two do not fit together: another byte order, a structure tag missing from
// the metadata TIFF, or damaged directories.
//
// With `omitted` bytes, `file` holds only the picture TIFF's first 8 bytes and its bytes from
// 8 + omitted on (its directory and the values after it): the strips between stay where they are
// written, and the values appended to `file` belong that many bytes further on in the whole file.
bool spliceTiffPicture(Data& file, std::size_t pictureStart, std::string& error, std::uint64_t omitted = 0);

// The same for a file being written: `fd` holds `head` (the metadata TIFF, already written at its
// start) followed by the picture TIFF up to `end`. Reads back only the picture's header and
// directory, and writes the rewritten head and the appended values into the file.
bool spliceTiffPictureInFile(int fd, Data head, std::uint64_t end, std::string& error);

}  // namespace qv::io::support
