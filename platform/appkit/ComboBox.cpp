#include "appkit/ComboBox.h"

namespace qv::ui {

ComboBox::ComboBox(const Rect& frame) : TextField(frame) {}

void ComboBox::addItemWithObjectValue(const std::string& item) {
    std::lock_guard<std::mutex> lock(m_valueMutex);
    m_items.push_back(item);
}

void ComboBox::addItemsWithObjectValues(const std::vector<std::string>& items) {
    for (const std::string& item : items) addItemWithObjectValue(item);
}

void ComboBox::removeAllItems() {
    std::lock_guard<std::mutex> lock(m_valueMutex);
    m_items.clear();
    m_selected = -1;
}

int ComboBox::numberOfItems() const {
    std::lock_guard<std::mutex> lock(m_valueMutex);
    return int(m_items.size());
}

std::string ComboBox::itemObjectValueAtIndex(int index) const {
    std::lock_guard<std::mutex> lock(m_valueMutex);
    return index >= 0 && index < int(m_items.size()) ? m_items[std::size_t(index)] : "";
}

void ComboBox::selectItemAtIndex(int index) {
    std::string text;
    {
        std::lock_guard<std::mutex> lock(m_valueMutex);
        if (index < 0 || index >= int(m_items.size())) {
            m_selected = -1;
            return;
        }
        m_selected = index;
        text = m_items[std::size_t(index)];
    }
    setStringValue(text);
    if (m_comboDelegate) m_comboDelegate->comboBoxSelectionDidChange(*this);
}

void ComboBox::deselectItemAtIndex(int index) {
    std::lock_guard<std::mutex> lock(m_valueMutex);
    if (index == m_selected) m_selected = -1;
}

int ComboBox::indexOfSelectedItem() const {
    std::lock_guard<std::mutex> lock(m_valueMutex);
    return m_selected;
}

bool ComboBox::userType(const std::string& text) {
    if (!acceptsUserInput() || !isEditable()) return false;
    {
        std::lock_guard<std::mutex> lock(m_valueMutex);
        m_selected = -1;
    }
    return TextField::userType(text);
}

bool ComboBox::userChooseItem(int index) {
    if (!acceptsUserInput() || index < 0 || index >= numberOfItems()) return false;
    selectItemAtIndex(index);
    userDidChangeValue();
    sendAction();
    return true;
}

}  // namespace qv::ui
