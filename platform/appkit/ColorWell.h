#pragma once
// A colour well. Its value is the colour as an array of red, green, blue and alpha (0 to 1).
#include "appkit/Color.h"
#include "appkit/Control.h"

namespace qv::ui {

class ColorWell : public Control {
public:
    explicit ColorWell(const Rect& frame = Rect(), const Color& color = Color::blackColor());
    Color color() const;
    void setColor(const Color& color);
    // The user picks a colour in the colour panel: the action is sent.
    bool userChooseColor(const Color& color);

protected:
    Value normalize(const Value& value, const Value& current) const override;
};

}  // namespace qv::ui
