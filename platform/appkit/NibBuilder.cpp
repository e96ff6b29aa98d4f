#include "appkit/NibBuilder.h"

namespace qv::ui {

Nib NibBuilder::finish() {
    Nib nib = std::move(m_nib);
    m_nib = Nib();
    // awakeFromNib may make further objects; only those of this build are woken.
    const std::vector<std::shared_ptr<NibObject>> objects = nib.m_objects;
    for (const auto& object : objects) object->awakeFromNib();
    return nib;
}

}  // namespace qv::ui
