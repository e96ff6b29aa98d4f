#pragma once
// Menus and their items. An item names its action (the selector a target validates by, such as
// "onSave:") and carries the handler that runs it; before an item runs, its target may validate it.
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qv::ui {

class MenuItem;

class MenuValidator {
public:
    virtual ~MenuValidator() = default;
    virtual bool validateMenuItem(const MenuItem& item) = 0;
};

class Menu;

class MenuItem {
public:
    using Handler = std::function<void(MenuItem& sender)>;

    MenuItem(std::string title, std::string action = "", Handler handler = {});
    static std::shared_ptr<MenuItem> separator();

    const std::string& title() const { return m_title; }
    void setTitle(const std::string& title) { m_title = title; }
    const std::string& action() const { return m_action; }
    void setAction(std::string action, Handler handler);
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }
    bool isSeparator() const { return m_separator; }
    MenuValidator* target() const { return m_target; }
    void setTarget(MenuValidator* target) { m_target = target; }
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }
    const std::shared_ptr<Menu>& submenu() const { return m_submenu; }
    void setSubmenu(std::shared_ptr<Menu> submenu) { m_submenu = std::move(submenu); }
    const Handler& handler() const { return m_handler; }

private:
    std::string m_title;
    std::string m_action;
    Handler m_handler;
    int m_tag = 0;
    bool m_separator = false;
    bool m_enabled = true;
    MenuValidator* m_target = nullptr;
    std::shared_ptr<Menu> m_submenu;
};

class Menu {
public:
    explicit Menu(std::string title = "") : m_title(std::move(title)) {}

    const std::string& title() const { return m_title; }
    const std::vector<std::shared_ptr<MenuItem>>& items() const { return m_items; }
    int numberOfItems() const { return int(m_items.size()); }
    std::shared_ptr<MenuItem> itemAtIndex(int index) const;  // null out of range
    int indexOfItemWithTitle(const std::string& title) const;  // -1 when none
    std::shared_ptr<MenuItem> addItem(std::shared_ptr<MenuItem> item);
    std::shared_ptr<MenuItem> addItem(const std::string& title, const std::string& action, MenuItem::Handler handler);
    void insertItem(std::shared_ptr<MenuItem> item, int index);
    void removeItemAtIndex(int index);  // out of range: nothing

    // Items enable themselves from their target's validation (or, without a target, from having a
    // handler) unless automatic enabling is off.
    bool autoenablesItems() const { return m_autoenables; }
    void setAutoenablesItems(bool on) { m_autoenables = on; }
    void update();  // validates every item, submenus included

    // The first item, in this menu or its submenus, with the given action; null when none.
    std::shared_ptr<MenuItem> findItemWithAction(const std::string& action) const;
    // Validates the item and runs its handler when it is enabled; answers whether it ran.
    bool performItem(MenuItem& item);

private:
    bool validate(MenuItem& item) const;

    std::string m_title;
    std::vector<std::shared_ptr<MenuItem>> m_items;
    bool m_autoenables = true;
};

}  // namespace qv::ui
