#pragma once
// A colour with red, green, blue and alpha components from 0 to 1 (not premultiplied), as the
// controls, the colour well and the canvas exchange it.
namespace qv::ui {

struct Color {
    double red = 0, green = 0, blue = 0, alpha = 1;

    static Color rgb(double r, double g, double b, double a = 1) { return {r, g, b, a}; }
    static Color white(double w, double a = 1) { return {w, w, w, a}; }

    static Color blackColor() { return white(0); }
    static Color whiteColor() { return white(1); }
    static Color lightGrayColor() { return white(2.0 / 3.0); }
    static Color grayColor() { return white(0.5); }
    static Color darkGrayColor() { return white(1.0 / 3.0); }
    static Color clearColor() { return {0, 0, 0, 0}; }
    static Color redColor() { return {1, 0, 0, 1}; }
    static Color greenColor() { return {0, 1, 0, 1}; }
    static Color blueColor() { return {0, 0, 1, 1}; }
    static Color yellowColor() { return {1, 1, 0, 1}; }

    bool operator==(const Color& o) const {
        return red == o.red && green == o.green && blue == o.blue && alpha == o.alpha;
    }
    bool operator!=(const Color& o) const { return !(*this == o); }
};

}  // namespace qv::ui
