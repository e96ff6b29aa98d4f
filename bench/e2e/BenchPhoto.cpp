// qv-benchphoto: writes a photo-sized test picture for the end-to-end benchmark (bench/e2e/run).
//   qv-benchphoto OUT.jpg|OUT.tif WIDTHxHEIGHT
// The picture is photo-like for the codecs (smooth gradients, a grid of edges and a fine grain, so
// JPEG neither collapses it into nothing nor meets pure noise) and carries the EXIF of the sample
// photo's camera and zoom at 18 mm, so that "quorvelci correct" chooses that lens by itself. The
// lens-information line is added with exiftool, as the sample photo's is.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/Bitmap.h"
#include "foundation/Process.h"
#include "imageio/ImageDestination.h"

namespace {

bool parseSize(const std::string& text, int& width, int& height) {
    char x = 0;
    return std::sscanf(text.c_str(), "%d%c%d", &width, &x, &height) == 3 && x == 'x' && width > 0 && height > 0;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

void paint(qv::Bitmap& bitmap) {
    std::uint32_t state = 2463534242u;
    for (int y = 0; y < bitmap.height; ++y) {
        std::uint8_t* p = bitmap.row(y);
        const int gy = (y * 200) / bitmap.height;
        const bool lineRow = y % 97 < 3;
        for (int x = 0; x < bitmap.width; ++x, p += 3) {
            state ^= state << 13, state ^= state >> 17, state ^= state << 5;  // xorshift grain
            const int grain = int(state & 15) - 8;
            const int gx = (x * 180) / bitmap.width;
            const int ink = lineRow || x % 113 < 3 ? -70 : 0;
            auto clamp = [](int v) { return std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
            p[0] = clamp(40 + gx + ink + grain);
            p[1] = clamp(30 + gy + ink + (grain >> 1));
            p[2] = clamp(150 - gx / 2 + gy / 3 + ink + grain);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    int width = 0, height = 0;
    if (argc != 3 || !parseSize(argv[2], width, height)) {
        std::fprintf(stderr, "usage: qv-benchphoto OUT.jpg|OUT.tif WIDTHxHEIGHT\n");
        return 2;
    }
    const std::string out = argv[1];
    const bool tiff = endsWith(out, ".tif") || endsWith(out, ".tiff");
    if (!tiff && !endsWith(out, ".jpg")) {
        std::fprintf(stderr, "qv-benchphoto: name the output .jpg or .tif\n");
        return 2;
    }
    qv::Bitmap bitmap = qv::Bitmap::makeUninitialized(width, height, qv::PixelFormat::RGB8);
    if (!bitmap.isValid()) {
        std::fprintf(stderr, "qv-benchphoto: no memory for %d x %d pixels\n", width, height);
        return 1;
    }
    paint(bitmap);
    qv::Value properties;
    properties["{TIFF}"]["Make"] = "Canon";
    properties["{TIFF}"]["Model"] = "Canon EOS 400D DIGITAL";
    properties["{TIFF}"]["Orientation"] = 1;
    properties["{Exif}"]["FocalLength"] = 18.0;
    properties["{Exif}"]["MaxApertureValue"] = 3.61;
    properties["kCGImageDestinationLossyCompressionQuality"] = 0.92;
    auto destination = qv::io::ImageDestination::createWithPath(out, tiff ? "public.tiff" : "public.jpeg");
    if (!destination) return 1;
    destination->addImage(std::move(bitmap), *properties.dictionary());
    if (!destination->finalize()) {
        std::fprintf(stderr, "qv-benchphoto: cannot write %s: %s\n", out.c_str(), destination->error().c_str());
        return 1;
    }
    const auto r = qv::runProcess("exiftool", {"-q", "-overwrite_original", "-LensInfo=18 55 3.5 5.6", out}, 600);
    return r && r->exitStatus == 0 ? 0 : 1;
}
