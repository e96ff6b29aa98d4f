#pragma once
// A controller stand-in for the chain tests: every answer is a plain field that a test sets, and
// the size each field-of-view question was asked about is recorded.
#include "engine/QVParameterSource.h"

#include <atomic>
#include <string>
#include <vector>

struct FakeParameters : QVParameterSource {
    CorrectionType type = CorrectionType::Lens;
    std::vector<double> coefficients{0, 0, 0, 1};
    double red = 1, green = 1, blue = 1;
    double vignetAmount = 0, vignetMid = 0;
    double scale = 100, aspect = 1;
    double yawAngle = 0, pitchAngle = 0, rotation = 0;
    double angleOfView = 50;
    enum class Crop { None, Inside, Outside } crop = Crop::None;
    std::string originalPath;
    // Recorded from whichever thread runs a chain.
    std::atomic<double> lastFOVWidth{-1}, lastFOVHeight{-1};

    CorrectionParameters correctionParameters() override {
        CorrectionParameters p;
        p.correctionType = type;
        p.coefficients = coefficients;
        p.red = red;
        p.green = green;
        p.blue = blue;
        p.vignetRequired = float(vignetAmount) != 0;
        p.vignetBrightness = vignetAmount;
        p.vignetMidpoint = vignetMid;
        p.scale = scale;
        p.aspect = aspect;
        p.yaw = yawAngle;
        p.pitch = pitchAngle;
        p.rotation = rotation;
        // The angle as it stands now; the size each run asks about is recorded.
        p.angularWidthFor = [this, angle = angleOfView](double width, double height) {
            lastFOVWidth = width;
            lastFOVHeight = height;
            return angle;
        };
        p.cropNone = crop == Crop::None;
        p.cropInside = crop == Crop::Inside;
        p.cropOutside = crop == Crop::Outside;
        p.originalImagePath = originalPath;
        return p;
    }
    void setDFOVwithWidth(double width, double height) override {
        lastFOVWidth = width;
        lastFOVHeight = height;
    }
};
