#pragma once

// An unbound radio button. Its group is its parent container (the form's top level for a button
// without a parent): checking one unchecks the others of the group without running their handlers.

#include "toolkit/Control.h"

namespace tk {

class TRadioButton : public Control {
public:
    using Control::Control;
    const char* typeName() const override { return "TRadioButton"; }
    bool focusable() const override { return true; }

    bool checked() const { return checked_; }
    // From code or from the user. Checking an unchecked button unchecks its siblings silently, then
    // runs its own click handler; unchecking a checked one runs its click handler; giving the state
    // it already has runs nothing.
    void setChecked(bool checked);
    void userClick() override { setChecked(true); }

protected:
    std::optional<bool> shownCheck() const override { return checked_; }

private:
    bool checked_ = false;
};

} // namespace tk
