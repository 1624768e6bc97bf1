#pragma once

#include "toolkit/Control.h"

namespace tk {

// A menu command. Like a toolbar button it does not take the focus. `checked` marks the item of the
// page currently shown in the page menus.
class TMenuItem : public Control {
public:
    using Control::Control;
    const char* typeName() const override { return "TMenuItem"; }

    bool checked() const { return checked_; }
    void setChecked(bool checked) { checked_ = checked; }

protected:
    std::optional<bool> shownCheck() const override { return checked_; }

private:
    bool checked_ = false;
};

} // namespace tk
