#pragma once
// The main menu as a window's menu bar: one Qt menu per submenu, each item an action that runs
// the model's item (validated as the model validates it), with the usual keyboard shortcuts.
#include <QMenuBar>
#include <memory>

#include "appkit/Menu.h"

namespace qv::qt {

class MenuBarPeer {
public:
    MenuBarPeer(const std::shared_ptr<ui::Menu>& menu, QMenuBar& bar);
    bool mirrors(const std::shared_ptr<ui::Menu>& menu) const { return m_menu.lock() == menu; }

    // The shortcut of a menu command, by the action it names; empty for none.
    static QKeySequence shortcutFor(const std::string& action);

private:
    void fill(QMenu& into, const std::shared_ptr<ui::Menu>& menu);
    std::weak_ptr<ui::Menu> m_menu;
};

}  // namespace qv::qt
