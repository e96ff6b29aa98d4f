// qv-samplephoto: writes a sample photo for the demonstration and the end-to-end tests: a grid of
// straight lines bent by barrel distortion, with EXIF naming the Canon EOS 400D and its 18-55 zoom
// at 18 mm, so that correcting it with that lens's coefficients straightens the lines again.
//   qv-samplephoto [--no-lens-info] [--] OUT.jpg [a b c]
// The grid has lines every 80 pixels through the centre of a 1200 x 800 picture.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/Bitmap.h"
#include "foundation/Process.h"
#include "imageio/ImageDestination.h"

namespace {

constexpr int kWidth = 1200, kHeight = 800, kSpacing = 80;
constexpr double kLineHalfWidth = 1.5;

// The lens at 18 mm on that camera, as the shipped database gives it.
constexpr double kDefaultA = 0.0042, kDefaultB = -0.0315, kDefaultC = 0;

// Darkness of the straight grid at a point: 1 on a line, 0 between lines, smooth at the edges.
double gridInk(double x, double y) {
    auto ink = [](double v) {
        const double d = std::fabs(v - kSpacing * std::round(v / kSpacing));
        return std::clamp(kLineHalfWidth + 0.5 - d, 0.0, 1.0);
    };
    return std::max(ink(x - kWidth / 2.0), ink(y - kHeight / 2.0));
}

constexpr const char* kUsage = "usage: qv-samplephoto [--no-lens-info] [--] OUT.jpg [a b c]\n"
                               "  writes a 1200 x 800 grid bent by the radial polynomial a, b, c\n";

}  // namespace

int main(int argc, char** argv) {
    std::string out;
    double coefficients[3] = {kDefaultA, kDefaultB, kDefaultC};
    bool lensInfo = true;
    bool optionsEnded = false;  // after "--" every argument is the output or a number
    int numbers = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (argument == "--help" || argument == "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!optionsEnded && argument == "--no-lens-info") {
            lensInfo = false;
        } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-' && out.empty()) {
            std::fprintf(stderr, "qv-samplephoto: unknown option %s\n%s", argument.c_str(), kUsage);
            return 2;
        } else if (out.empty()) {
            out = argument;
        } else if (numbers < 3) {
            char* end = nullptr;
            coefficients[numbers++] = std::strtod(argument.c_str(), &end);
            if (end == argument.c_str() || *end != '\0') {
                std::fprintf(stderr, "qv-samplephoto: %s is not a number\n%s", argument.c_str(), kUsage);
                return 2;
            }
        } else {
            std::fprintf(stderr, "qv-samplephoto: too many arguments\n%s", kUsage);
            return 2;
        }
    }
    if (out.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const double a = coefficients[0], b = coefficients[1], c = coefficients[2];
    const double d = 1 - (a + b + c);
    const double radius = std::min(kWidth, kHeight) / 2.0;
    // The correction takes a point at radius r from the photo at r * poly(r): the photo's pixel at
    // radius q shows the straight grid at the r with r * poly(r) = q (found by Newton's method).
    auto poly = [&](double r) { return ((a * r + b) * r + c) * r + d; };
    auto inverse = [&](double q) {
        double r = q;
        for (int n = 0; n < 20; ++n) {
            const double f = r * poly(r) - q;
            const double df = ((4 * a * r + 3 * b) * r + 2 * c) * r + d;
            r -= f / df;
        }
        return r;
    };
    qv::Bitmap bitmap = qv::Bitmap::make(kWidth, kHeight, qv::PixelFormat::RGB8);
    for (int row = 0; row < kHeight; ++row)
        for (int x = 0; x < kWidth; ++x) {
            // Pixel centres; rows run top-down in the file, the grid is symmetric so it does not matter.
            const double dx = x + 0.5 - kWidth / 2.0, dy = row + 0.5 - kHeight / 2.0;
            const double q = std::hypot(dx, dy) / radius;
            const double s = q > 0 ? inverse(q) / q : 1;
            // Four samples per pixel keep the lines' edges smooth.
            double ink = 0;
            for (double oy : {-0.25, 0.25})
                for (double ox : {-0.25, 0.25})
                    ink += gridInk(kWidth / 2.0 + (dx + ox) * s, kHeight / 2.0 + (dy + oy) * s);
            const auto v = std::uint8_t(std::lround(255 * (1 - ink / 4)));
            std::uint8_t* p = bitmap.row(row) + 3 * x;
            p[0] = p[1] = p[2] = v;
        }
    qv::Value properties;
    properties["{TIFF}"]["Make"] = "Canon";
    properties["{TIFF}"]["Model"] = "Canon EOS 400D DIGITAL";
    properties["{TIFF}"]["Orientation"] = 1;
    properties["{Exif}"]["FocalLength"] = 18.0;
    properties["{Exif}"]["MaxApertureValue"] = 3.61;
    properties["kCGImageDestinationLossyCompressionQuality"] = 0.95;
    auto destination = qv::io::ImageDestination::createWithPath(out, "public.jpeg");
    if (!destination) return 1;
    destination->addImage(std::move(bitmap), *properties.dictionary());
    if (!destination->finalize()) {
        std::fprintf(stderr, "qv-samplephoto: cannot write %s: %s\n", out.c_str(), destination->error().c_str());
        return 1;
    }
    if (lensInfo) {
        const auto r = qv::runProcess("exiftool", {"-q", "-overwrite_original", "-LensInfo=18 55 3.5 5.6", out}, 60);
        if (!r || r->exitStatus != 0) return 1;
    }
    return 0;
}
