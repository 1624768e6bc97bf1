#pragma once

#include "toolkit/Control.h"

#include <nlohmann/json.hpp>

namespace tk {

// A menu command. Like a toolbar button it does not take the focus. `checked` marks the item of the
// page currently shown in the page menus.
class TMenuItem : public Control {
public:
    using Control::Control;
    const char* typeName() const override { return "TMenuItem"; }

    bool checked() const { return checked_; }
    void setChecked(bool checked) { checked_ = checked; }

    void describe(nlohmann::json& out) const override {
        Control::describe(out);
        out["checked"] = checked_;
    }

private:
    bool checked_ = false;
};

} // namespace tk
