#pragma once
// Fixtures for the image layer's tests, all generated here: pictures, profiles, metadata and
// small files of every format (a DNG camera raw file among them).
#include <string>

#include "foundation/Bitmap.h"
#include "foundation/Value.h"
#include "imageio/ImageTypes.h"

namespace qvtest {

// A deterministic picture with gradients and fine detail in every channel. With `transparent`,
// alpha varies over the picture (0 in the top-left corner, opaque in the bottom-right); colour
// is premultiplied when `premultiplied` is set.
qv::Bitmap makeTestBitmap(int width, int height, qv::PixelFormat format, bool transparent = false,
                          bool premultiplied = false);

// ICC profiles made by Little CMS.
qv::Data makeSRGBProfile();
qv::Data makeGrayProfile();
qv::Data makeLabProfile();  // a valid profile of neither RGB nor gray

// Metadata of a photo: make, model, orientation, focal length, maximum aperture and more EXIF,
// GPS and IPTC entries.
qv::Dictionary sampleMetadata(long orientation = 6);

// A small DNG camera raw file (16-bit colour filter array) with the given make, model, orientation.
qv::Data makeDng(int width, int height, const std::string& make, const std::string& model, int orientation);

// A damaged DNG of 202 bytes: a 32 x 32 colour filter array whose pattern tag (and strip) point
// past the end of the file. Such a file has crashed the camera raw library while it was sniffed.
qv::Data makeDamagedDng();

// TIFF layouts the writer never produces, written with libtiff directly.
enum class TiffLayout { Tiled, SeparatePlanes, Palette, Bilevel, MinIsWhite, Cmyk, Float, GrayAlpha, Deflate };
qv::Data makeTiff(TiffLayout layout, int width, int height);

// A file of the given type written by the layer under test (8-bit RGB unless `deep`).
qv::Data encodeWithLayer(qv::io::ImageType type, int width, int height, bool deep, const qv::Dictionary& properties,
                         const qv::Data& profile = {});

// The largest difference between two pictures' samples, compared as straight 16-bit RGBA.
int maxDifference16(const qv::Bitmap& a, const qv::Bitmap& b);
// The same in 8-bit steps (rounded).
int maxDifference8(const qv::Bitmap& a, const qv::Bitmap& b);

void writeFile(const std::string& path, const qv::Data& bytes);
qv::Data readFile(const std::string& path);

}  // namespace qvtest

namespace qvtest {

// A CMYK JPEG with Adobe's marker (its samples stored inverted: 255 is no ink), written with
// libjpeg directly. The ink at (x, y, c) is fixtureInk(x, y, c).
qv::Data makeCmykJpeg(int width, int height);
int fixtureInk(int x, int y, int c);

// A 4-bit palette PNG, interlaced, whose palette entry 0 is fully transparent.
qv::Data makePalettePng(int width, int height);

}  // namespace qvtest
