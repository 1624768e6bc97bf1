#include "toolkit/RadioButton.h"

#include "toolkit/Form.h"

#include <nlohmann/json.hpp>

namespace tk {

void TRadioButton::setChecked(bool checked) {
    if (checked == checked_) return;
    if (checked) {
        const auto& group = parent() ? parent()->children() : form().rootControls();
        for (Control* sibling : group)
            if (auto* radio = dynamic_cast<TRadioButton*>(sibling); radio && radio != this)
                radio->checked_ = false;
    }
    checked_ = checked;
    fire(onClick);
}

void TRadioButton::describe(nlohmann::json& out) const {
    Control::describe(out);
    out["checked"] = checked_;
}

} // namespace tk
