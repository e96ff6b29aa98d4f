#pragma once
// Where each Exiv2 tag lives in the property dictionary and under which key: the platform's usual
// name where there is one, Exiv2's tag name otherwise. Tags that describe a file's structure
// (strip offsets, sample layout, the sub-directory pointers, DNG tags) are not carried: they
// belong to the file they came from, not to a picture written anew.
#include <cstdint>
#include <optional>
#include <string>

namespace qv::io::metadata {

struct PropertyName {
    const char* dictionary;  // "{TIFF}", "{Exif}", "{GPS}" or "{IPTC}"
    std::string key;
};

// For an EXIF datum of Exiv2 group "Image", "Photo" or "GPSInfo".
std::optional<PropertyName> propertyNameForExif(const std::string& group, const std::string& tagName,
                                                std::uint16_t tag);
// "Exif.Photo.FocalLength" for ("{Exif}", "FocalLength"); nothing for keys with no EXIF tag.
std::optional<std::string> exifKeyForProperty(const std::string& dictionary, const std::string& key);

// For an IPTC dataset of the Application2 record.
std::string propertyNameForIptc(const std::string& dataset);
// "Iptc.Application2.Copyright" for "CopyrightNotice".
std::string iptcKeyForProperty(const std::string& key);

}  // namespace qv::io::metadata
