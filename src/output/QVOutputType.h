#pragma once
// The output file types: 0 JPEG, 1 TIFF, 2 PSD, 3 OpenEXR; any other code writes JPEG.
namespace QVOutputType {

inline constexpr int kJPEG = 0;
inline constexpr int kTIFF = 1;
inline constexpr int kPSD = 2;
inline constexpr int kOpenEXR = 3;

// The type identifier the image writer takes for a code.
const char* typeIdentifier(int type);

// TIFF compression codes of the save (the compression pop-up's index): 1 LZW, 2 PackBits, any
// other value none. Answers the TIFF tag value, 0 for none.
int tiffCompressionTag(int compressionCode);

}  // namespace QVOutputType
