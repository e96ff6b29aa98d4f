#pragma once
// What the correction chain asks the window controller at the moment a step runs. The controller
// answers from its controls; the chain caches nothing between runs. QVController implements this,
// tests use a fake. Every accessor may be called from the thread that runs a chain (the main thread
// for the preview, a save or batch thread for the full-resolution chain).
#include <string>
#include <vector>

class QVParameterSource {
public:
    virtual ~QVParameterSource() = default;

    // 0 = lens correction; any other value makes the distortion step pass its input through.
    virtual int correctionType() = 0;
    // The radial coefficients a, b, c, d (at least four numbers); the chain reads a, b and c and
    // recomputes d itself.
    virtual std::vector<double> correctionValues() = 0;

    // Channel scale factors: 1 + the fringe control value; green is always 1.
    virtual double redValue() = 0;
    virtual double greenValue() = 0;
    virtual double blueValue() = 0;

    // Vignetting: whether the amount control is not zero, the amount and the midpoint control values.
    virtual bool isVignetRequired() = 0;
    virtual double vignetBrightness() = 0;
    virtual double vignetMidpoint() = 0;

    // Scale in per cent (100 leaves the image unchanged) and the aspect-ratio factor (1 leaves it).
    virtual double scaleValue() = 0;
    virtual double aspectValue() = 0;

    // Perspective angles in degrees.
    virtual double yaw() = 0;
    virtual double pitch() = 0;
    virtual double rotationAngle() = 0;

    // Sets the diagonal angle of view for an image of that size; angularWidth then returns it (degrees).
    virtual void setDFOVwithWidth(double width, double height) = 0;
    virtual double angularWidth() = 0;

    // The crop choice: exactly one of none, inside and outside is selected.
    virtual bool isCropNoneSelected() = 0;
    virtual bool isCropInsideSelected() = 0;
    virtual bool isCropOutsideSelected() = 0;

    // The photo as the user chose it (read again for the plug-in's full-resolution result).
    virtual std::string originalImagePath() = 0;
};
