#include "toolkit/Control.h"

#include "toolkit/Form.h"
#include "toolkit/ListControl.h"
#include "toolkit/MemberSink.h"

#include <algorithm>

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

Reach Control::reach() const {
    if (!visible_) return Reach::Hidden;
    if (!enabled_) return Reach::Disabled;
    for (const Control* c = parent_; c; c = c->parent_) {
        if (!c->visible_ || !c->showsChildren()) return Reach::Hidden;
        if (!c->enabled_) return Reach::Disabled;
    }
    return Reach::Ok;
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

bool Control::userKey(std::uint16_t, ShiftState) {
    return false;
}

void MemberSink::nameOf(std::string_view name, const Component* component) {
    if (component)
        text(name, component->name());
    else
        null(name);
}

void Control::describe(MemberSink& out) const {
    out.text("caption", caption_);
    out.text("text", shownText());
    out.boolean("enabled", enabled_);
    out.boolean("visible", visible_);
    if (const auto check = shownCheck())
        out.boolean("checked", *check);
    else
        out.null("checked");
    if (const ListControl* list = asList()) {
        out.integer("itemIndex", list->itemIndex());
        out.texts("items", list->items());
    } else {
        out.null("itemIndex");
        out.null("items");
    }
    // Colour, tab order and position are set by some rules (the per-kind arrangement), so they are
    // part of what a reviewer checks.
    out.text("color", color_);
    out.integer("tabOrder", tabOrder_);
    if (bounds_) out.bounds("bounds", *bounds_);
    if (!hint_.empty()) out.text("hint", hint_);
    describeKind(out);
}

} // namespace tk
