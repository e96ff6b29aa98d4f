#pragma once
// The keys of an image's property dictionary, as the reader fills it and the writer reads it.
// Top-level entries describe the picture; the nested dictionaries carry the file's metadata
// ("{TIFF}", "{Exif}", "{GPS}", "{IPTC}") under the usual platform key names, and under Exiv2's
// tag names where the platform has none.
namespace qv::io {

// Top level
inline constexpr const char* kCGImagePropertyDepth = "Depth";              // 8 or 16 bits per component
inline constexpr const char* kCGImagePropertyPixelWidth = "PixelWidth";
inline constexpr const char* kCGImagePropertyPixelHeight = "PixelHeight";
inline constexpr const char* kCGImagePropertyOrientation = "Orientation";  // 1-8, as in EXIF
inline constexpr const char* kCGImagePropertyColorModel = "ColorModel";    // "RGB", "Gray", "CMYK"
inline constexpr const char* kCGImagePropertyHasAlpha = "HasAlpha";
inline constexpr const char* kCGImagePropertyProfileName = "ProfileName";
inline constexpr const char* kCGImagePropertyDPIWidth = "DPIWidth";
inline constexpr const char* kCGImagePropertyDPIHeight = "DPIHeight";
// The file's XMP packet, as its text. The platform keeps XMP beside the property dictionary; here it
// travels in it, so that whatever carries a photo's metadata to an output carries its XMP too.
inline constexpr const char* kQVImagePropertyXMPPacket = "XMPPacket";

inline constexpr const char* kCGImagePropertyColorModelRGB = "RGB";
inline constexpr const char* kCGImagePropertyColorModelGray = "Gray";
inline constexpr const char* kCGImagePropertyColorModelCMYK = "CMYK";

// Nested dictionaries
inline constexpr const char* kCGImagePropertyTIFFDictionary = "{TIFF}";
inline constexpr const char* kCGImagePropertyExifDictionary = "{Exif}";
inline constexpr const char* kCGImagePropertyGPSDictionary = "{GPS}";
inline constexpr const char* kCGImagePropertyIPTCDictionary = "{IPTC}";

// Inside "{TIFF}"
inline constexpr const char* kCGImagePropertyTIFFMake = "Make";
inline constexpr const char* kCGImagePropertyTIFFModel = "Model";
inline constexpr const char* kCGImagePropertyTIFFOrientation = "Orientation";
inline constexpr const char* kCGImagePropertyTIFFCompression = "Compression";  // writer: 1, 5, 32773 (and 8)

// Inside "{Exif}"
inline constexpr const char* kCGImagePropertyExifFocalLength = "FocalLength";            // millimetres
inline constexpr const char* kCGImagePropertyExifMaxApertureValue = "MaxApertureValue";  // APEX
inline constexpr const char* kCGImagePropertyExifPixelXDimension = "PixelXDimension";
inline constexpr const char* kCGImagePropertyExifPixelYDimension = "PixelYDimension";

// Inside "{IPTC}"
inline constexpr const char* kCGImagePropertyIPTCKeywords = "Keywords";

// Writer options given among the properties
inline constexpr const char* kCGImageDestinationLossyCompressionQuality = "kCGImageDestinationLossyCompressionQuality";

// TIFF compression codes the writer understands.
inline constexpr int kTIFFCompressionNone = 1;
inline constexpr int kTIFFCompressionLZW = 5;
inline constexpr int kTIFFCompressionDeflate = 8;
inline constexpr int kTIFFCompressionPackBits = 32773;

}  // namespace qv::io
