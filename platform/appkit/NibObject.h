#pragma once
// The root of every object that a nib builder makes: windows, views, controls and the
// controllers. awakeFromNib runs once on each after all of them exist and their outlets are set.
namespace qv::ui {

class NibObject {
public:
    virtual ~NibObject() = default;
    virtual void awakeFromNib() {}
};

}  // namespace qv::ui
