#pragma once
// The name that assistive technology reads for a view's widget: the name the nib gave the view,
// else the title or text the control shows, else the user-defaults key it is bound to, in words,
// else its kind.
#include <QString>
#include <string>

class QWidget;

namespace qv::ui {
class View;
}

namespace qv::qt {

QString accessibleName(const ui::View& view, const std::string& shown, const char* kind);

// Gives the widget that name, when it has another.
void nameForAccess(QWidget& widget, const ui::View& view, const std::string& shown, const char* kind);

}  // namespace qv::qt
