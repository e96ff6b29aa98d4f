#include "appkit/PopUpButton.h"

#include "appkit/NumberText.h"
#include "foundation/Notifications.h"

namespace qv::ui {

PopUpButton::PopUpButton(const Rect& frame) : Control(frame) { setIntValue(-1); }

Value PopUpButton::normalize(const Value& value, const Value& current) const {
    const int index = intFromValue(value);
    if (index == -1) return Value(-1);
    if (index < 0 || index >= int(m_items.size()) || m_items[std::size_t(index)].separator) return current;
    return Value(index);
}

int PopUpButton::findTitle(const std::string& title) const {
    for (std::size_t i = 0; i < m_items.size(); ++i)
        if (!m_items[i].separator && m_items[i].title == title) return int(i);
    return -1;
}

void PopUpButton::editItems(const std::function<int(std::vector<Item>&, int)>& edit) {
    changeValue([&](Value& value) {
        int selected = edit(m_items, intFromValue(value));
        // A pop-up with items always shows one: the first real item when the old one went away.
        if (selected < 0 || selected >= int(m_items.size()) || m_items[std::size_t(selected)].separator) {
            selected = -1;
            for (std::size_t i = 0; i < m_items.size(); ++i)
                if (!m_items[i].separator) {
                    selected = int(i);
                    break;
                }
        }
        value = Value(selected);
    });
}

void PopUpButton::insertItemWithTitle(const std::string& title, int index) {
    editItems([&](std::vector<Item>& items, int selected) {
        bool movedSelected = false;
        if (int old = findTitle(title); old >= 0) {
            items.erase(items.begin() + old);
            movedSelected = old == selected;
            if (old < selected) --selected;
        }
        if (index < 0 || index > int(items.size())) index = int(items.size());
        items.insert(items.begin() + index, Item{title, 0, false});
        if (movedSelected) return index;
        return selected >= index ? selected + 1 : selected;
    });
}

void PopUpButton::addItemWithTitle(const std::string& title) { insertItemWithTitle(title, -1); }

void PopUpButton::addItemsWithTitles(const std::vector<std::string>& titles) {
    for (const std::string& t : titles) addItemWithTitle(t);
}

void PopUpButton::addSeparator() {
    editItems([](std::vector<Item>& items, int selected) {
        items.push_back(Item{"", 0, true});
        return selected;
    });
}

void PopUpButton::removeItemAtIndex(int index) {
    editItems([&](std::vector<Item>& items, int selected) {
        if (index < 0 || index >= int(items.size())) return selected;
        items.erase(items.begin() + index);
        if (index == selected) return -1;
        return index < selected ? selected - 1 : selected;
    });
}

void PopUpButton::removeItemWithTitle(const std::string& title) { removeItemAtIndex(indexOfItemWithTitle(title)); }

void PopUpButton::removeAllItems() {
    editItems([](std::vector<Item>& items, int) {
        items.clear();
        return -1;
    });
}

int PopUpButton::numberOfItems() const {
    std::lock_guard<std::mutex> lock(m_valueMutex);
    return int(m_items.size());
}

std::vector<std::string> PopUpButton::itemTitles() const {
    std::lock_guard<std::mutex> lock(m_valueMutex);
    std::vector<std::string> titles;
    for (const Item& item : m_items) titles.push_back(item.title);
    return titles;
}

std::string PopUpButton::itemTitleAtIndex(int index) const {
    std::lock_guard<std::mutex> lock(m_valueMutex);
    return index >= 0 && index < int(m_items.size()) ? m_items[std::size_t(index)].title : "";
}

int PopUpButton::indexOfItemWithTitle(const std::string& title) const {
    std::lock_guard<std::mutex> lock(m_valueMutex);
    return findTitle(title);
}

int PopUpButton::indexOfItemWithTag(int tag) const {
    std::lock_guard<std::mutex> lock(m_valueMutex);
    for (std::size_t i = 0; i < m_items.size(); ++i)
        if (!m_items[i].separator && m_items[i].tag == tag) return int(i);
    return -1;
}

bool PopUpButton::isSeparatorAtIndex(int index) const {
    std::lock_guard<std::mutex> lock(m_valueMutex);
    return index >= 0 && index < int(m_items.size()) && m_items[std::size_t(index)].separator;
}

void PopUpButton::setTagAtIndex(int index, int tag) {
    std::lock_guard<std::mutex> lock(m_valueMutex);
    if (index >= 0 && index < int(m_items.size())) m_items[std::size_t(index)].tag = tag;
}

int PopUpButton::tagAtIndex(int index) const {
    std::lock_guard<std::mutex> lock(m_valueMutex);
    return index >= 0 && index < int(m_items.size()) ? m_items[std::size_t(index)].tag : 0;
}

bool PopUpButton::selectItemAtIndex(int index) {
    setIntValue(index);
    return index == -1 || indexOfSelectedItem() == index;
}

bool PopUpButton::selectItemWithTitle(const std::string& title) {
    int index = indexOfItemWithTitle(title);
    return index >= 0 && selectItemAtIndex(index);
}

bool PopUpButton::selectItemWithTag(int tag) {
    int index = indexOfItemWithTag(tag);
    return index >= 0 && selectItemAtIndex(index);
}

std::optional<std::string> PopUpButton::titleOfSelectedItem() const {
    std::lock_guard<std::mutex> lock(m_valueMutex);
    const int index = intFromValue(storedValue());
    if (index < 0 || index >= int(m_items.size())) return std::nullopt;
    return m_items[std::size_t(index)].title;
}

void PopUpButton::userPopUp() { NotificationCenter::defaultCenter().post(kPopUpButtonWillPopUpNotification, this); }

bool PopUpButton::userChooseItem(int index) {
    if (!acceptsUserInput()) return false;
    userPopUp();
    if (index < 0 || !selectItemAtIndex(index)) return false;
    userDidChangeValue();
    sendAction();
    return true;
}

}  // namespace qv::ui
