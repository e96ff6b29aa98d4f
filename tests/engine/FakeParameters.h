#pragma once
// A controller stand-in for the chain tests: every answer is a plain field that a test sets, and
// setDFOVwithWidth records the size it was asked about.
#include "engine/QVParameterSource.h"

#include <atomic>
#include <string>
#include <vector>

struct FakeParameters : QVParameterSource {
    int type = 0;
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

    int correctionType() override { return type; }
    std::vector<double> correctionValues() override { return coefficients; }
    double redValue() override { return red; }
    double greenValue() override { return green; }
    double blueValue() override { return blue; }
    bool isVignetRequired() override { return float(vignetAmount) != 0; }
    double vignetBrightness() override { return vignetAmount; }
    double vignetMidpoint() override { return vignetMid; }
    double scaleValue() override { return scale; }
    double aspectValue() override { return aspect; }
    double yaw() override { return yawAngle; }
    double pitch() override { return pitchAngle; }
    double rotationAngle() override { return rotation; }
    void setDFOVwithWidth(double width, double height) override {
        lastFOVWidth = width;
        lastFOVHeight = height;
    }
    double angularWidth() override { return angleOfView; }
    bool isCropNoneSelected() override { return crop == Crop::None; }
    bool isCropInsideSelected() override { return crop == Crop::Inside; }
    bool isCropOutsideSelected() override { return crop == Crop::Outside; }
    std::string originalImagePath() override { return originalPath; }
};
