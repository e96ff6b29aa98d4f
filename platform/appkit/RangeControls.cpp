#include "appkit/RangeControls.h"

#include <algorithm>
#include <cmath>

#include "appkit/NumberText.h"

namespace qv::ui {

RangeControl::RangeControl(const Rect& frame, double minValue, double maxValue, double value)
    : Control(frame), m_min(minValue), m_max(maxValue) {
    setDoubleValue(value);
}

void RangeControl::setMinValue(double v) {
    m_min.store(v);
    setObjectValue(objectValue());
}

void RangeControl::setMaxValue(double v) {
    m_max.store(v);
    setObjectValue(objectValue());
}

double RangeControl::clamp(double v) const {
    const double lo = minValue(), hi = std::max(lo, maxValue());
    if (std::isnan(v)) return lo;
    return std::clamp(v, lo, hi);
}

Value RangeControl::normalize(const Value& value, const Value&) const {
    const double number = numberFromValue(value);
    const double clamped = clamp(number);
    // A float that needed no clamping stays a float, so that reading it back as a float is exact.
    if (const Real* r = value.real(); r && r->singleBits && clamped == number) return value;
    return Value(clamped);
}

bool Slider::userMoveTo(double value) {
    if (!acceptsUserInput()) return false;
    setDoubleValue(value);
    userDidChangeValue();
    sendAction();
    return true;
}

bool Stepper::step(int direction) {
    if (!acceptsUserInput()) return false;
    const double lo = minValue(), hi = maxValue();
    double next = doubleValue() + direction * increment();
    if (next > hi) next = valueWraps() ? lo : hi;
    if (next < lo) next = valueWraps() ? hi : lo;
    setDoubleValue(next);
    userDidChangeValue();
    sendAction();
    return true;
}

}  // namespace qv::ui
