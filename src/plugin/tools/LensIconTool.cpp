// qv-lensicon OUTPUT.png [SIZE]: draws the plug-in bundle's "lens" icon, the picture its alerts
// show, as a SIZE x SIZE PNG (128 when not given): a lens seen from the front, its dark barrel,
// a bright ring, blue glass shading towards the rim and a highlight.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "appkit/Canvas.h"
#include "appkit/Path.h"

namespace {

using qv::ui::Color;
using qv::ui::Path;

Path circle(double cx, double cy, double radius) {
    constexpr int kSegments = 96;
    Path path;
    for (int i = 0; i < kSegments; ++i) {
        const double angle = 2 * M_PI * i / kSegments;
        const qv::Point p{cx + radius * std::cos(angle), cy + radius * std::sin(angle)};
        if (i == 0) path.moveTo(p);
        else path.lineTo(p);
    }
    path.close();
    return path;
}

void drawLens(qv::ui::Canvas& canvas, double size) {
    const double c = size / 2, unit = size / 128;
    canvas.setFillColor(Color::white(0.18));
    canvas.fillPath(circle(c, c, 62 * unit));
    Path ring = circle(c, c, 55 * unit);
    ring.setLineWidth(3 * unit);
    canvas.setStrokeColor(Color::white(0.75));
    canvas.strokePath(ring);
    canvas.setFillColor(Color::white(0.04));
    canvas.fillPath(circle(c, c, 51 * unit));
    // The glass: darker at the rim, lighter towards the middle.
    constexpr int kSteps = 14;
    for (int i = 0; i < kSteps; ++i) {
        const double t = double(i) / (kSteps - 1);
        canvas.setFillColor(Color::rgb(0.08 + 0.30 * t, 0.16 + 0.42 * t, 0.40 + 0.45 * t));
        canvas.fillPath(circle(c, c, (46 - 40 * t) * unit));
    }
    canvas.setFillColor(Color::rgb(1, 1, 1, 0.55));
    canvas.fillPath(circle(c - 16 * unit, c + 16 * unit, 9 * unit));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: qv-lensicon OUTPUT.png [SIZE]\n");
        return 2;
    }
    const int size = argc == 3 ? std::atoi(argv[2]) : 128;
    if (size < 16 || size > 1024) {
        std::fprintf(stderr, "qv-lensicon: SIZE must be 16 to 1024\n");
        return 2;
    }
    qv::ui::Canvas canvas(size, size);
    canvas.setShouldAntialias(true);
    drawLens(canvas, size);
    std::string error;
    if (!canvas.writePNG(argv[1], error)) {
        std::fprintf(stderr, "qv-lensicon: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
