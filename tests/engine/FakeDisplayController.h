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

    CorrectionParameters correctionParameters() override {
        CorrectionParameters parameters = p.correctionParameters();
        parameters.showGrid = grid;
        parameters.gridSpacing = spacing;
        parameters.gridColor = colour;
        return parameters;
    }
    void setDFOVwithWidth(double width, double height) override { p.setDFOVwithWidth(width, height); }

    bool previewCheckboxStatus() const override { return preview; }
    bool canDragImage() const override { return dropsAllowed; }
    void openImage(const std::string& path) override { opened.push_back(path); }
    void showErrorDialog(const std::string& path) override { errorDialogs.push_back(path); }
};
