#include "toolkit/Control.h"

#include "toolkit/Form.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace tk {

Control::Control(Form& form, std::string name, Control* parent)
    : Component(std::move(name)), form_(&form), parent_(parent) {
    if (parent_) parent_->children_.push_back(this);
}

Control::~Control() {
    // While the form tears everything down the parent may already be gone; it no longer matters.
    if (form_->destroying_) return;
    if (parent_) std::erase(parent_->children_, this);
    for (Control* child : children_)
        child->parent_ = nullptr;
}

bool Control::isAncestorOf(const Control* other) const {
    for (const Control* c = other ? other->parent_ : nullptr; c; c = c->parent_)
        if (c == this) return true;
    return false;
}

bool Control::canOperate() const {
    if (!visible_ || !enabled_) return false;
    for (const Control* c = parent_; c; c = c->parent_)
        if (!c->visible_ || !c->enabled_ || !c->showsChildren()) return false;
    return true;
}

bool Control::canFocus() const {
    return focusable() && canOperate();
}

bool Control::focused() const {
    return form_->activeControl() == this;
}

void Control::setFocus() {
    form_->setFocus(this);
}

void Control::click() {
    fire(onClick);
}

void Control::describe(nlohmann::json& out) const {
    out["caption"] = caption_;
    out["text"] = text();
    out["enabled"] = enabled_;
    out["visible"] = visible_;
    out["checked"] = nullptr;
    out["itemIndex"] = nullptr;
    out["items"] = nullptr;
    // Colour, tab order and position are set by some rules (the per-kind arrangement), so they are
    // part of what a reviewer checks.
    out["color"] = color_;
    out["tabOrder"] = tabOrder_;
    if (bounds_)
        out["bounds"] = {{"left", bounds_->left},
                         {"top", bounds_->top},
                         {"width", bounds_->width},
                         {"height", bounds_->height}};
    if (!hint_.empty()) out["hint"] = hint_;
}

} // namespace tk
