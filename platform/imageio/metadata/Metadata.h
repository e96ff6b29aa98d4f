#pragma once
// The file metadata of the property dictionary ("{TIFF}", "{Exif}", "{GPS}", "{IPTC}" and the XMP
// packet) read from and written into JPEG, TIFF, PSD, PNG and camera raw bytes through Exiv2. Exiv2 never prints:
// its log is muted and its exceptions end up as a false result with a message.
#include <string>

#include "foundation/Value.h"

namespace qv::io::metadata {

// Adds the dictionaries Exiv2 reads from the file to properties; an entry already present in
// properties wins. False (properties unchanged) when Exiv2 cannot read the file.
bool readMetadata(const Data& file, Dictionary& properties, std::string& error);

struct WriteRequest {
    long orientation = 0;  // 1-8 written to the EXIF (and an XMP packet's) orientation; 0 leaves it out
    int pixelWidth = 0;    // the picture's size, replacing the source's pixel dimensions in EXIF and XMP
    int pixelHeight = 0;
};

// Whether properties hold anything writeMetadata would write.
bool hasMetadata(const Dictionary& properties);

// Writes the dictionaries into an encoded file, keeping what the file already holds (its own
// structure, its ICC profile).
bool writeMetadata(Data& file, const Dictionary& properties, const WriteRequest& request, std::string& error);

// Replaces the ICC profile of a TIFF file in place (tag 34675), keeping everything else.
bool replaceIccProfile(Data& file, const Data& icc, std::string& error);

}  // namespace qv::io::metadata
