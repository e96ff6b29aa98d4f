#pragma once
// The cell of a check-box table column: its value is the state (0 off, 1 on). A transparent or
// disabled cell shows nothing the user can click.
#include "appkit/Matrix.h"

namespace qv::ui {

class CheckBoxCell : public Cell {
public:
    explicit CheckBoxCell(std::string title = "") : Cell(std::move(title)) {}
    // Whether the user can click it now.
    bool takesClicks() const { return isEnabled() && !isTransparent(); }
};

}  // namespace qv::ui
