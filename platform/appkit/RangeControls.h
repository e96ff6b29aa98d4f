#pragma once
// Controls whose value is a number within a range: the slider, the stepper and the progress bar.
// Like the platform's, they clamp what they are given to the range; a value that is no number
// becomes the minimum.
#include <atomic>

#include "appkit/Control.h"

namespace qv::ui {

class RangeControl : public Control {
public:
    RangeControl(const Rect& frame, double minValue, double maxValue, double value);

    double minValue() const { return m_min.load(); }
    double maxValue() const { return m_max.load(); }
    void setMinValue(double v);  // the value is clamped again
    void setMaxValue(double v);

protected:
    Value normalize(const Value& value, const Value& current) const override;
    double clamp(double v) const;

private:
    std::atomic<double> m_min, m_max;
};

class Slider : public RangeControl {
public:
    explicit Slider(const Rect& frame = Rect(), double minValue = 0, double maxValue = 1, double value = 0)
        : RangeControl(frame, minValue, maxValue, value) {}
    // The user drags the knob to a value.
    bool userMoveTo(double value);
};

class Stepper : public RangeControl {
public:
    // The platform's defaults: 0 to 59 in steps of 1, wrapping around.
    explicit Stepper(const Rect& frame = Rect()) : RangeControl(frame, 0, 59, 0) {}
    double increment() const { return m_increment.load(); }
    void setIncrement(double step) { m_increment.store(step); }
    bool valueWraps() const { return m_wraps.load(); }
    void setValueWraps(bool wraps) { m_wraps.store(wraps); }
    // The user clicks the upper or lower arrow: one step, wrapping or stopping at the ends.
    bool userClickUp() { return step(+1); }
    bool userClickDown() { return step(-1); }

private:
    bool step(int direction);
    std::atomic<double> m_increment{1.0};
    std::atomic<bool> m_wraps{true};
};

class ProgressIndicator : public RangeControl {
public:
    explicit ProgressIndicator(const Rect& frame = Rect()) : RangeControl(frame, 0, 100, 0) {}
    void incrementBy(double delta) { setDoubleValue(doubleValue() + delta); }
    bool isIndeterminate() const { return m_indeterminate.load(); }
    void setIndeterminate(bool on) { m_indeterminate.store(on); }
    bool isAnimating() const { return m_animating.load(); }
    void startAnimation() { m_animating.store(true); }
    void stopAnimation() { m_animating.store(false); }

private:
    std::atomic<bool> m_indeterminate{false};
    std::atomic<bool> m_animating{false};
};

}  // namespace qv::ui
