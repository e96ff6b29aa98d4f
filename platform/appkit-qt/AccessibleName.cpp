#include "appkit-qt/AccessibleName.h"

#include <QWidget>
#include <cctype>

#include "appkit-qt/ViewPeer.h"
#include "appkit/Control.h"

namespace qv::qt {

namespace {

// "rotationAngle" reads "Rotation angle".
std::string inWords(const std::string& key) {
    std::string words;
    for (char c : key) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isupper(u) && !words.empty()) {
            words += ' ';
            words += char(std::tolower(u));
        } else {
            words += c;
        }
    }
    if (!words.empty()) words[0] = char(std::toupper(static_cast<unsigned char>(words[0])));
    return words;
}

}  // namespace

QString accessibleName(const ui::View& view, const std::string& shown, const char* kind) {
    if (!view.accessibilityLabel().empty()) return toQt(view.accessibilityLabel());
    if (!shown.empty()) return toQt(shown);
    if (auto* control = dynamic_cast<const ui::Control*>(&view); control && !control->valueBindingKey().empty())
        return toQt(inWords(control->valueBindingKey()));
    return QString::fromUtf8(kind);
}

void nameForAccess(QWidget& widget, const ui::View& view, const std::string& shown, const char* kind) {
    const QString name = accessibleName(view, shown, kind);
    if (widget.accessibleName() != name) widget.setAccessibleName(name);
}

}  // namespace qv::qt
