#pragma once
// A combo box: a text field with a list of items. Choosing an item puts its text in the field and
// tells the delegate; typing leaves no item selected, so the text is what was typed.
#include <string>
#include <vector>

#include "appkit/TextField.h"

namespace qv::ui {

class ComboBox;

class ComboBoxDelegate {
public:
    virtual ~ComboBoxDelegate() = default;
    virtual void comboBoxSelectionDidChange(ComboBox& comboBox) = 0;
};

class ComboBox : public TextField {
public:
    explicit ComboBox(const Rect& frame = Rect());

    void addItemWithObjectValue(const std::string& item);
    void addItemsWithObjectValues(const std::vector<std::string>& items);
    void removeAllItems();
    int numberOfItems() const;
    std::string itemObjectValueAtIndex(int index) const;  // empty out of range

    ComboBoxDelegate* comboDelegate() const { return m_comboDelegate; }
    void setComboDelegate(ComboBoxDelegate* delegate) { m_comboDelegate = delegate; }

    // Selects an item (its text fills the field) and tells the delegate; -1 or an index out of
    // range leaves nothing selected and the text as it is.
    void selectItemAtIndex(int index);
    void deselectItemAtIndex(int index);
    int indexOfSelectedItem() const;

    bool userType(const std::string& text) override;
    bool userChooseItem(int index);

private:
    std::vector<std::string> m_items;  // m_valueMutex
    int m_selected = -1;               // m_valueMutex
    ComboBoxDelegate* m_comboDelegate = nullptr;
};

}  // namespace qv::ui
