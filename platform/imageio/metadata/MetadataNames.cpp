#include "imageio/metadata/MetadataNames.h"

#include <exiv2/exiv2.hpp>

#include <cstring>
#include <utility>

#include "imageio/ImageProperties.h"

namespace qv::io::metadata {

namespace {

struct Rename {
    const char* exiv2;
    const char* platform;
};

constexpr Rename kExifRenames[] = {
    {"FlashpixVersion", "FlashPixVersion"},
    {"FocalLengthIn35mmFilm", "FocalLenIn35mmFilm"},
    {"SubjectDistanceRange", "SubjectDistRange"},
};

constexpr Rename kGpsRenames[] = {
    {"GPSVersionID", "Version"},
    {"GPSDifferential", "Differental"},  // the platform's own spelling
};

constexpr Rename kIptcRenames[] = {
    {"SuppCategory", "SupplementalCategory"},
    {"FixtureId", "FixtureIdentifier"},
    {"LocationCode", "ContentLocationCode"},
    {"LocationName", "ContentLocationName"},
    {"DigitizationDate", "DigitalCreationDate"},
    {"DigitizationTime", "DigitalCreationTime"},
    {"Program", "OriginatingProgram"},
    {"Byline", "By-line"},
    {"BylineTitle", "By-lineTitle"},
    {"SubLocation", "Sub-location"},
    {"ProvinceState", "Province/State"},
    {"CountryCode", "Country/PrimaryLocationCode"},
    {"CountryName", "Country/PrimaryLocationName"},
    {"TransmissionReference", "OriginalTransmissionReference"},
    {"Copyright", "CopyrightNotice"},
    {"Caption", "Caption/Abstract"},
    {"Writer", "Writer/Editor"},
    {"LanguageId", "LanguageIdentifier"},
};

template <std::size_t N>
const char* platformName(const Rename (&table)[N], const std::string& exiv2) {
    for (const auto& r : table)
        if (exiv2 == r.exiv2) return r.platform;
    return nullptr;
}

template <std::size_t N>
const char* exiv2Name(const Rename (&table)[N], const std::string& platform) {
    for (const auto& r : table)
        if (platform == r.platform) return r.exiv2;
    return nullptr;
}

// IFD0 tags that describe how the file stores its picture, or point at other parts of it.
bool isStructureTag(std::uint16_t tag) {
    switch (tag) {
    case 0x00FE: case 0x00FF:                           // subfile types
    case 0x0100: case 0x0101: case 0x0102: case 0x0103:  // size, bits, compression
    case 0x0106: case 0x010A: case 0x0111: case 0x0115:  // photometric, fill order, strips, samples
    case 0x0116: case 0x0117: case 0x011C: case 0x013D:  // strips, planar configuration, predictor
    case 0x0140: case 0x0142: case 0x0143: case 0x0144:  // colour map, tiles
    case 0x0145: case 0x014A: case 0x0152: case 0x0153:  // tiles, sub-IFDs, extra samples, sample format
    case 0x015B: case 0x0201: case 0x0202: case 0x0212:  // JPEG tables, thumbnail, YCbCr subsampling
    case 0x02BC: case 0x828D: case 0x828E: case 0x83BB:  // XMP, CFA, IPTC
    case 0x8649: case 0x8769: case 0x8773: case 0x8825:  // resources, EXIF pointer, ICC, GPS pointer
    case 0xA005:                                        // interoperability pointer
        return true;
    default:
        return tag >= 0xC612;  // DNG tags: they would make a plain TIFF claim to be a raw file
    }
}

bool isCarriedPhotoTag(std::uint16_t tag) {
    // The maker note's internal offsets only hold in the file it came from.
    return tag != 0x927C && tag != 0xA005;
}

}  // namespace

std::optional<PropertyName> propertyNameForExif(const std::string& group, const std::string& tagName, std::uint16_t tag) {
    if (group == "Image") {
        if (isStructureTag(tag)) return std::nullopt;
        return PropertyName{kCGImagePropertyTIFFDictionary, tagName};
    }
    if (group == "Photo") {
        if (!isCarriedPhotoTag(tag)) return std::nullopt;
        const char* renamed = platformName(kExifRenames, tagName);
        return PropertyName{kCGImagePropertyExifDictionary, renamed ? renamed : tagName};
    }
    if (group == "GPSInfo") {
        if (const char* renamed = platformName(kGpsRenames, tagName)) return PropertyName{kCGImagePropertyGPSDictionary, renamed};
        const bool prefixed = tagName.size() > 3 && tagName.compare(0, 3, "GPS") == 0;
        return PropertyName{kCGImagePropertyGPSDictionary, prefixed ? tagName.substr(3) : tagName};
    }
    return std::nullopt;
}

std::optional<std::string> exifKeyForProperty(const std::string& dictionary, const std::string& key) {
    std::string candidate;
    if (dictionary == kCGImagePropertyTIFFDictionary) {
        candidate = "Exif.Image." + key;
    } else if (dictionary == kCGImagePropertyExifDictionary) {
        const char* renamed = exiv2Name(kExifRenames, key);
        candidate = std::string("Exif.Photo.") + (renamed ? renamed : key.c_str());
    } else if (dictionary == kCGImagePropertyGPSDictionary) {
        const char* renamed = exiv2Name(kGpsRenames, key);
        candidate = std::string("Exif.GPSInfo.") + (renamed ? std::string(renamed) : "GPS" + key);
    } else {
        return std::nullopt;
    }
    // Only names Exiv2 knows: a key such as "Focal Length", which the system adds to "{TIFF}" for its
    // own use, has no tag and is not written.
    try {
        Exiv2::ExifKey exifKey(candidate);
        if (exifKey.tagName().compare(0, 2, "0x") == 0) return std::nullopt;
        const auto group = exifKey.groupName();
        auto back = propertyNameForExif(group, exifKey.tagName(), exifKey.tag());
        if (!back || back->dictionary != dictionary) return std::nullopt;
        return exifKey.key();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string propertyNameForIptc(const std::string& dataset) {
    const char* renamed = platformName(kIptcRenames, dataset);
    return renamed ? renamed : dataset;
}

std::string iptcKeyForProperty(const std::string& key) {
    const char* renamed = exiv2Name(kIptcRenames, key);
    return "Iptc.Application2." + std::string(renamed ? renamed : key.c_str());
}

}  // namespace qv::io::metadata
