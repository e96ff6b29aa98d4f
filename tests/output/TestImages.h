#pragma once
// Fixtures of the output tests: bitmaps made from a formula, TIFF files written with libtiff, ICC
// profiles made with Little CMS, and ImageMagick's pictures of a document.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "foundation/Bitmap.h"

namespace psdtest {

// Sample c of pixel (x, y) in the format's own range (0..255 or 0..65535).
using SampleFormula = std::function<std::uint32_t(int x, int y, int c)>;
qv::Bitmap makeBitmap(int width, int height, qv::PixelFormat format, const SampleFormula& formula);
std::uint32_t sampleAt(const qv::Bitmap& bitmap, int x, int y, int c);

// Writes Gray8, RGB8, RGBA8, RGB16 or RGBA16 bitmaps, alpha as unassociated, with an optional profile.
void writeTiff(const std::string& path, const qv::Bitmap& bitmap, const std::vector<std::uint8_t>& profile = {});

// An sRGB profile whose preferred-CMM field says `cmm` ("Lino", "ADBE", ...).
std::vector<std::uint8_t> makeProfile(const char* cmm);

struct Netpbm {
    int width = 0, height = 0, depth = 0, maxval = 0;
    std::vector<std::uint16_t> samples;  // row by row, `depth` samples per pixel
    std::uint32_t at(int x, int y, int c) const { return samples[(std::size_t(y) * width + x) * depth + c]; }
};
// Reads a binary PPM (P6) or PAM (P7) file.
std::optional<Netpbm> readNetpbm(const std::string& path);

// Image `index` of a PSD file as ImageMagick sees it, saved as `output` (".ppm" or ".pam").
std::optional<Netpbm> magickImage(const std::string& psd, int index, const std::string& output, int depth);

}  // namespace psdtest
