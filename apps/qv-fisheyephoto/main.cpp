// qv-fisheyephoto: writes an equidistant fisheye photo of a square grid of straight lines on a
// plane facing the lens, so that unwrapping it into a perspective view must give straight lines
// again, at known places. EXIF names a camera and the time it was taken.
//   qv-fisheyephoto [--width W] [--height H] [--fov DEG] [--depth 8|16] [--profile] [--] OUT.jpg|OUT.tif
// The grid's lines lie where x or y on the plane z = 1 is a multiple of 0.25 (the plane's unit is
// the lens's distance), so a perspective view of horizontal field of view F and width w shows the
// line x = 0.25 k at column w / 2 + 0.25 k * w / (2 tan(F / 2)). Pixel (i, j) is the point (i, j)
// and the centre is (w / 2, h / 2), as the unwrap engine takes them.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/Bitmap.h"
#include "foundation/Paths.h"
#include "foundation/Process.h"
#include "imageio/ColorSpace.h"
#include "imageio/ImageDestination.h"

namespace {

constexpr double kSpacing = 0.25;
constexpr double kPi = 3.141592653589793;

constexpr const char* kUsage =
    "usage: qv-fisheyephoto [--width W] [--height H] [--fov DEG] [--depth 8|16] [--profile] [--] OUT.jpg|OUT.tif\n"
    "  writes a W x H (1200 x 800) equidistant fisheye view (FOV 180 degrees across the width) of a grid\n"
    "  of straight lines every 0.25 on the plane z = 1; --profile embeds the sRGB profile\n";

// Ink of the grid at a plane point: 1 on a line, 0 between; lines thicken with the distance from
// the axis so that they stay a few pixels wide where the fisheye squeezes them.
double gridInk(double x, double y) {
    const double halfWidth = 0.006 * (1 + x * x + y * y);
    auto ink = [&](double v) {
        const double d = std::fabs(v - kSpacing * std::round(v / kSpacing));
        return d < halfWidth ? 1.0 : 0.0;
    };
    return std::max(ink(x), ink(y));
}

bool number(const char* text, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(out);
}

}  // namespace

int main(int argc, char** argv) {
    double width = 1200, height = 800, fov = 180, depth = 8;
    bool profile = false, optionsEnded = false;
    std::string out;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (argument == "--help" || argument == "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!optionsEnded && argument == "--profile") {
            profile = true;
        } else if (!optionsEnded && (argument == "--width" || argument == "--height" || argument == "--fov" ||
                                     argument == "--depth")) {
            double* target = argument == "--width" ? &width : argument == "--height" ? &height
                                                      : argument == "--fov"      ? &fov
                                                                                 : &depth;
            if (i + 1 >= argc || !number(argv[++i], *target)) {
                std::fprintf(stderr, "qv-fisheyephoto: %s needs a number\n%s", argument.c_str(), kUsage);
                return 2;
            }
        } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
            std::fprintf(stderr, "qv-fisheyephoto: unknown option %s\n%s", argument.c_str(), kUsage);
            return 2;
        } else if (out.empty()) {
            out = argument;
        } else {
            std::fprintf(stderr, "qv-fisheyephoto: one output only\n%s", kUsage);
            return 2;
        }
    }
    const std::string extension = qv::paths::pathExtension(out);
    const bool tiff = extension == "tif" || extension == "tiff";
    if (out.empty() || (!tiff && extension != "jpg" && extension != "jpeg") || width < 1 || height < 1 ||
        width > 20000 || height > 20000 || fov <= 0 || fov > 360 || (depth != 8 && depth != 16) || (depth == 16 && !tiff)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const int w = int(width), h = int(height);
    const bool sixteen = depth == 16;
    qv::Bitmap bitmap = qv::Bitmap::make(w, h, sixteen ? qv::PixelFormat::RGB16 : qv::PixelFormat::RGB8);
    if (!bitmap.isValid()) return 1;
    const double radiansPerPixel = fov * kPi / 180 / w;
    const double full = sixteen ? 65535 : 255;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            // Four samples per pixel keep the lines' edges smooth.
            double ink = 0;
            for (double oy : {-0.25, 0.25})
                for (double ox : {-0.25, 0.25}) {
                    const double dx = i + ox - w / 2.0, dy = j + oy - h / 2.0;
                    const double r = std::hypot(dx, dy), theta = r * radiansPerPixel;
                    if (theta >= kPi / 2 * 0.98) continue;  // the plane lies in front of the lens only
                    const double t = r > 0 ? std::tan(theta) / r : radiansPerPixel;
                    ink += gridInk(dx * t, dy * t);
                }
            const double v = full * (1 - ink / 4);
            // A slight colour, so that the channels are told apart.
            const double rgb[3] = {v, std::max(0.0, v - 0.1 * full * (1 - ink / 4)), v};
            for (int c = 0; c < 3; ++c) {
                if (sixteen) reinterpret_cast<std::uint16_t*>(bitmap.row(j))[3 * i + c] = std::uint16_t(std::lround(rgb[c]));
                else bitmap.row(j)[3 * i + c] = std::uint8_t(std::lround(rgb[c]));
            }
        }
    qv::Value properties;
    properties["{TIFF}"]["Make"] = "Fisheye Optics";
    properties["{TIFF}"]["Model"] = "Round 180";
    properties["{TIFF}"]["Orientation"] = 1;
    properties["kCGImageDestinationLossyCompressionQuality"] = 0.9;
    auto destination = qv::io::ImageDestination::createWithPath(out, tiff ? "public.tiff" : "public.jpeg");
    if (!destination) return 1;
    destination->addImage(std::move(bitmap), *properties.dictionary(),
                          profile ? qv::io::ColorSpace::sRGB() : qv::io::ColorSpace::deviceRGB());
    if (!destination->finalize()) {
        std::fprintf(stderr, "qv-fisheyephoto: cannot write %s: %s\n", out.c_str(), destination->error().c_str());
        return 1;
    }
    const auto dated = qv::runProcess("exiftool", {"-q", "-overwrite_original", "-DateTimeOriginal=2024:05:06 07:08:09", out}, 60);
    if (!dated || dated->exitStatus != 0) {
        std::fprintf(stderr, "qv-fisheyephoto: the metadata tool could not date %s\n", out.c_str());
        return 1;
    }
    return 0;
}
