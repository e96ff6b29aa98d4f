#include "appkit-qt/MenuBarPeer.h"

#include <QAction>
#include <QMenu>

#include "appkit-qt/ViewPeer.h"
#include "foundation/RunLoop.h"

namespace qv::qt {

namespace {

struct Shortcut {
    const char* action;
    QKeyCombination keys;
};

// One table of the menu commands' shortcuts, by the action each item names.
const Shortcut kShortcuts[] = {
    {"onLoadImage:", Qt::CTRL | Qt::Key_O},
    {"onSave:", Qt::CTRL | Qt::Key_S},
    {"onSaveAs:", Qt::CTRL | Qt::SHIFT | Qt::Key_S},
    {"terminate:", Qt::CTRL | Qt::Key_Q},
};

}  // namespace

QKeySequence MenuBarPeer::shortcutFor(const std::string& action) {
    for (const Shortcut& s : kShortcuts)
        if (action == s.action) return QKeySequence(s.keys);
    return QKeySequence();
}

MenuBarPeer::MenuBarPeer(const std::shared_ptr<ui::Menu>& menu, QMenuBar& bar) : m_menu(menu) {
    bar.clear();
    if (!menu) return;
    for (const auto& item : menu->items()) {
        if (!item->submenu()) continue;
        QMenu* submenu = bar.addMenu(toQt(item->submenu()->title()));
        fill(*submenu, item->submenu());
    }
}

void MenuBarPeer::fill(QMenu& into, const std::shared_ptr<ui::Menu>& menu) {
    std::weak_ptr<ui::Menu> weakMenu = menu;
    for (const auto& item : menu->items()) {
        if (item->isSeparator()) {
            into.addSeparator();
            continue;
        }
        if (item->submenu()) {
            fill(*into.addMenu(toQt(item->title())), item->submenu());
            continue;
        }
        QAction* action = into.addAction(toQt(item->title()));
        action->setShortcut(shortcutFor(item->action()));
        std::weak_ptr<ui::MenuItem> weakItem = item;
        QObject::connect(action, &QAction::triggered, [weakMenu, weakItem] {
            RunLoop::main().perform([weakMenu, weakItem] {
                auto menu = weakMenu.lock();
                auto item = weakItem.lock();
                if (menu && item) menu->performItem(*item);
            });
        });
    }
    // Items enable themselves as the model validates them, each time the menu opens.
    QObject::connect(&into, &QMenu::aboutToShow, [&into, weakMenu] {
        auto menu = weakMenu.lock();
        if (!menu) return;
        menu->update();
        const auto actions = into.actions();
        int index = 0;
        for (const auto& item : menu->items()) {
            if (index >= actions.size()) break;
            actions[index++]->setEnabled(item->isSeparator() || item->submenu() || item->isEnabled());
        }
    });
}

}  // namespace qv::qt
