#pragma once
// Fixtures for the display-view tests: photo files written by the image layer, a view wired to a
// fake controller, and canvas pictures saved as PNG and read back.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "FakeDisplayController.h"
#include "appkit/Canvas.h"
#include "engine/QVDisplayView.h"
#include "foundation/Bitmap.h"
#include "foundation/Value.h"

namespace viewtest {

using Rgb = std::array<std::uint8_t, 3>;

// An opaque 8-bit RGB picture whose pixel in column x, row y (row 0 on top, as files store it)
// has colour(x, y).
qv::Bitmap makePicture(int width, int height, const std::function<Rgb(int x, int y)>& colour);

// Writes the picture as a lossless TIFF with the given properties (an "Orientation" among them is
// written as the file's orientation); the path of the file.
std::string writePhoto(const std::string& path, const qv::Bitmap& picture, const qv::Dictionary& properties = {});

// The colour of a sample picture at a photo position: red grows to the right, green upwards, blue
// marks 8-pixel checks, so every position of a test picture can be told from its neighbours.
Rgb sampleColour(int x, int yUp, int width, int height);
// A photo file of that picture (stored upright, orientation 1).
std::string writeSamplePhoto(const std::string& path, int width, int height);

// A view of the given size wired to a controller, with the bundle's kernels reachable.
struct ViewSetup {
    FakeDisplayController controller;
    std::shared_ptr<QVDisplayView> view;
    explicit ViewSetup(double width = 600, double height = 400);
};

// The view drawn onto a canvas of its size, saved as a PNG file and read back.
class Picture {
public:
    Picture(QVDisplayView& view, const std::string& pngPath);
    bool isValid() const { return m_pixels.isValid(); }
    int width() const { return m_pixels.width; }
    int height() const { return m_pixels.height; }
    // The unpremultiplied colour at view point (x + 0.5, y + 0.5), y up from the view's bottom.
    std::array<int, 4> at(int x, int yUp) const;

private:
    qv::Bitmap m_pixels;  // RGBA8 rows top-down, as read from the PNG
};

// Close enough for 8-bit samples that went through resampling.
bool near(const std::array<int, 4>& pixel, const Rgb& expected, int tolerance);

}  // namespace viewtest
