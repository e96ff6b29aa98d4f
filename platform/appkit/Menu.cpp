#include "appkit/Menu.h"

namespace qv::ui {

MenuItem::MenuItem(std::string title, std::string action, Handler handler)
    : m_title(std::move(title)), m_action(std::move(action)), m_handler(std::move(handler)) {}

std::shared_ptr<MenuItem> MenuItem::separator() {
    auto item = std::make_shared<MenuItem>("");
    item->m_separator = true;
    item->m_enabled = false;
    return item;
}

void MenuItem::setAction(std::string action, Handler handler) {
    m_action = std::move(action);
    m_handler = std::move(handler);
}

std::shared_ptr<MenuItem> Menu::itemAtIndex(int index) const {
    if (index < 0 || index >= numberOfItems()) return nullptr;
    return m_items[std::size_t(index)];
}

int Menu::indexOfItemWithTitle(const std::string& title) const {
    for (std::size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i]->title() == title) return int(i);
    return -1;
}

std::shared_ptr<MenuItem> Menu::addItem(std::shared_ptr<MenuItem> item) {
    if (item) m_items.push_back(item);
    return item;
}

std::shared_ptr<MenuItem> Menu::addItem(const std::string& title, const std::string& action, MenuItem::Handler handler) {
    return addItem(std::make_shared<MenuItem>(title, action, std::move(handler)));
}

void Menu::insertItem(std::shared_ptr<MenuItem> item, int index) {
    if (!item) return;
    if (index < 0 || index > numberOfItems()) index = numberOfItems();
    m_items.insert(m_items.begin() + index, std::move(item));
}

void Menu::removeItemAtIndex(int index) {
    if (index >= 0 && index < numberOfItems()) m_items.erase(m_items.begin() + index);
}

bool Menu::validate(MenuItem& item) const {
    if (item.isSeparator()) return false;
    if (!m_autoenables) return item.isEnabled();
    if (item.submenu()) return true;
    if (!item.handler()) return false;
    return item.target() ? item.target()->validateMenuItem(item) : true;
}

void Menu::update() {
    for (auto& item : m_items) {
        item->setEnabled(validate(*item));
        if (item->submenu()) item->submenu()->update();
    }
}

std::shared_ptr<MenuItem> Menu::findItemWithAction(const std::string& action) const {
    for (const auto& item : m_items) {
        if (!item->isSeparator() && item->action() == action) return item;
        if (item->submenu())
            if (auto found = item->submenu()->findItemWithAction(action)) return found;
    }
    return nullptr;
}

bool Menu::performItem(MenuItem& item) {
    item.setEnabled(validate(item));
    if (!item.isEnabled() || !item.handler()) return false;
    item.handler()(item);
    return true;
}

}  // namespace qv::ui
