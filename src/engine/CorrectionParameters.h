#pragma once
// Every parameter one run of the correction chain reads, taken from the controls on the main
// thread at the moment the run starts. The chain and the save read only this value, so a run sees
// one consistent set however the controls change while it renders, and no control is read from a
// worker thread.
#include <functional>
#include <string>
#include <vector>

#include "appkit/Color.h"

// The correction the main window's type matrix chose, by its cells' tags. A tag of another value is
// kept as it is; only Lens runs the distortion step.
enum class CorrectionType : int { Lens = 0, Fisheye = 1, None = 2 };

struct CorrectionParameters {
    // Lens runs the distortion step; any other value makes it pass its input through.
    CorrectionType correctionType = CorrectionType::Lens;
    // The radial coefficients a, b, c, d; the chain reads a, b and c and recomputes d itself.
    std::vector<double> coefficients{0, 0, 0, 0};
    // Channel scale factors: 1 + the fringe control value; green is always 1.
    double red = 1, green = 1, blue = 1;
    // Vignetting: whether the amount control is not zero, the amount and the midpoint.
    bool vignetRequired = false;
    double vignetBrightness = 0, vignetMidpoint = 0;
    // Scale in per cent (100 leaves the image unchanged) and the aspect-ratio factor (1 leaves it).
    double scale = 100, aspect = 1;
    // Perspective angles in degrees.
    double yaw = 0, pitch = 0, rotation = 0;
    // The diagonal angle of view (degrees) for an image of that size, from the field-of-view
    // controls as they stood; safe to call on any thread. Without one the angle is 0.
    std::function<double(double width, double height)> angularWidthFor;
    // The crop choice: exactly one is selected.
    bool cropNone = true, cropInside = false, cropOutside = false;
    // The grid the view draws over the preview.
    bool showGrid = false;
    int gridSpacing = 0;
    qv::ui::Color gridColor = qv::ui::Color::yellowColor();
    // The photo as the user chose it (read again for the plug-in's full-resolution result).
    std::string originalImagePath;

    double angularWidth(double width, double height) const {
        return angularWidthFor ? angularWidthFor(width, height) : 0.0;
    }
};
