#pragma once
// In place of loading a nib: the code that describes a window makes its objects through a builder,
// in a fixed order, sets the outlets (plain pointers or shared pointers of the controllers) as it
// goes, and then finishes the build, which sends awakeFromNib to every object in the order they
// were made. The resulting Nib keeps the objects alive.
#include <memory>
#include <utility>
#include <vector>

#include "appkit/NibObject.h"
#include "appkit/View.h"
#include "appkit/Window.h"

namespace qv::ui {

class Nib {
public:
    const std::vector<std::shared_ptr<NibObject>>& objects() const { return m_objects; }
    // The first object of a type, in creation order; null when there is none.
    template <class T>
    std::shared_ptr<T> first() const {
        for (const auto& object : m_objects)
            if (auto typed = std::dynamic_pointer_cast<T>(object)) return typed;
        return nullptr;
    }

private:
    friend class NibBuilder;
    std::vector<std::shared_ptr<NibObject>> m_objects;
};

class NibBuilder {
public:
    // Makes an object and records it.
    template <class T, class... Args>
    std::shared_ptr<T> make(Args&&... args) {
        return add(std::make_shared<T>(std::forward<Args>(args)...));
    }
    // Makes a view and puts it into a superview (a window's content view, say).
    template <class T, class... Args>
    std::shared_ptr<T> makeIn(View& superview, Args&&... args) {
        auto view = make<T>(std::forward<Args>(args)...);
        superview.addSubview(view);
        return view;
    }
    template <class T, class... Args>
    std::shared_ptr<T> makeIn(Window& window, Args&&... args) {
        return makeIn<T>(*window.contentView(), std::forward<Args>(args)...);
    }
    // Records an object made elsewhere (the controller that owns the nib, say).
    template <class T>
    std::shared_ptr<T> add(std::shared_ptr<T> object) {
        if (object) m_nib.m_objects.push_back(object);
        return object;
    }

    // Sends awakeFromNib to every object in creation order and hands the objects over. The
    // builder is empty afterwards.
    Nib finish();

private:
    Nib m_nib;
};

}  // namespace qv::ui
