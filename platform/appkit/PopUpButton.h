#pragma once
// A pop-up button: a list of titled items (and separators), one of them selected. Its value is
// the selected index (-1 when none). Like the platform's, adding or inserting a title that is
// already there removes the old item first, so each title appears once.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "appkit/Control.h"

namespace qv::ui {

// Posted to the default notification center, with the pop-up as sender, when its menu is about
// to open.
inline constexpr const char* kPopUpButtonWillPopUpNotification = "NSPopUpButtonWillPopUpNotification";

class PopUpButton : public Control {
public:
    explicit PopUpButton(const Rect& frame = Rect());

    void addItemWithTitle(const std::string& title);
    void addItemsWithTitles(const std::vector<std::string>& titles);
    void insertItemWithTitle(const std::string& title, int index);
    void addSeparator();
    void removeItemAtIndex(int index);
    void removeItemWithTitle(const std::string& title);
    void removeAllItems();

    int numberOfItems() const;
    std::vector<std::string> itemTitles() const;  // separators read as empty titles
    std::string itemTitleAtIndex(int index) const;
    int indexOfItemWithTitle(const std::string& title) const;  // -1 when none
    int indexOfItemWithTag(int tag) const;
    bool isSeparatorAtIndex(int index) const;
    void setTagAtIndex(int index, int tag);
    int tagAtIndex(int index) const;

    // Selection; a separator or an index out of range selects nothing (answers false).
    bool selectItemAtIndex(int index);
    bool selectItemWithTitle(const std::string& title);
    bool selectItemWithTag(int tag);
    int indexOfSelectedItem() const { return intValue(); }
    std::optional<std::string> titleOfSelectedItem() const;

    // The user opens the menu (which posts the will-pop-up notification) and chooses an item; the
    // action is sent.
    void userPopUp();
    bool userChooseItem(int index);

protected:
    Value normalize(const Value& value, const Value& current) const override;

private:
    struct Item {
        std::string title;
        int tag = 0;
        bool separator = false;
    };
    // Changes the items under the value lock; `index` maps the old selection to the new one.
    void editItems(const std::function<int(std::vector<Item>& items, int selected)>& edit);
    int findTitle(const std::string& title) const;  // m_valueMutex held

    std::vector<Item> m_items;
};

}  // namespace qv::ui
