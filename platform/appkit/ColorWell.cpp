#include "appkit/ColorWell.h"

#include <algorithm>
#include <cmath>

namespace qv::ui {
namespace {
Value colorValue(const Color& c) { return Value(Array{c.red, c.green, c.blue, c.alpha}); }
}  // namespace

ColorWell::ColorWell(const Rect& frame, const Color& color) : Control(frame) { setColor(color); }

Color ColorWell::color() const {
    Value v = objectValue();
    return {v.at(0).doubleOr(0), v.at(1).doubleOr(0), v.at(2).doubleOr(0), v.at(3).doubleOr(1)};
}

void ColorWell::setColor(const Color& color) { setObjectValue(colorValue(color)); }

Value ColorWell::normalize(const Value& value, const Value& current) const {
    // Components outside 0..1 (or no number at all) are brought into range; anything that is not
    // a list of components keeps the colour as it was.
    if (!value.array() || value.size() < 3) return current.array() ? current : colorValue(Color::blackColor());
    auto component = [&](std::size_t i, double fallback) {
        double c = value.at(i).doubleOr(fallback);
        return std::isnan(c) ? fallback : std::clamp(c, 0.0, 1.0);
    };
    return colorValue({component(0, 0), component(1, 0), component(2, 0), component(3, 1)});
}

bool ColorWell::userChooseColor(const Color& color) {
    if (!acceptsUserInput()) return false;
    setColor(color);
    userDidChangeValue();
    sendAction();
    return true;
}

}  // namespace qv::ui
