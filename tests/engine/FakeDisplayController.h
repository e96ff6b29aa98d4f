#pragma once
// A controller stand-in for the display-view tests: the correction parameters are those of
// FakeParameters (set its fields through `p`), the display answers are plain fields, and the open
// step and the open-error alert are recorded.
#include <string>
#include <vector>

#include "FakeParameters.h"
#include "engine/QVDisplayController.h"

struct FakeDisplayController : QVDisplayController {
    FakeParameters p;
    bool preview = true;
    bool grid = false;
    int spacing = 45;
    qv::ui::Color colour = qv::ui::Color::redColor();
    bool dropsAllowed = true;
    std::vector<std::string> opened;
    std::vector<std::string> errorDialogs;

    int correctionType() override { return p.correctionType(); }
    std::vector<double> correctionValues() override { return p.correctionValues(); }
    double redValue() override { return p.redValue(); }
    double greenValue() override { return p.greenValue(); }
    double blueValue() override { return p.blueValue(); }
    bool isVignetRequired() override { return p.isVignetRequired(); }
    double vignetBrightness() override { return p.vignetBrightness(); }
    double vignetMidpoint() override { return p.vignetMidpoint(); }
    double scaleValue() override { return p.scaleValue(); }
    double aspectValue() override { return p.aspectValue(); }
    double yaw() override { return p.yaw(); }
    double pitch() override { return p.pitch(); }
    double rotationAngle() override { return p.rotationAngle(); }
    void setDFOVwithWidth(double width, double height) override { p.setDFOVwithWidth(width, height); }
    double angularWidth() override { return p.angularWidth(); }
    bool isCropNoneSelected() override { return p.isCropNoneSelected(); }
    bool isCropInsideSelected() override { return p.isCropInsideSelected(); }
    bool isCropOutsideSelected() override { return p.isCropOutsideSelected(); }
    std::string originalImagePath() override { return p.originalImagePath(); }

    bool previewCheckboxStatus() override { return preview; }
    bool showGrid() override { return grid; }
    int gridSpacing() override { return spacing; }
    qv::ui::Color gridColor() override { return colour; }
    bool canDragImage() override { return dropsAllowed; }
    void openImage(const std::string& path) override { opened.push_back(path); }
    void showErrorDialog(const std::string& path) override { errorDialogs.push_back(path); }
};
