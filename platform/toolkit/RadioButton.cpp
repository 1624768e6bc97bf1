#include "toolkit/RadioButton.h"

#include "toolkit/ControlKinds.h"
#include "toolkit/Form.h"

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

namespace {

const KindRegistration registration{
    KindOf<TRadioButton>("TRadioButton", "Control").property("checked", &TRadioButton::setChecked)};

} // namespace

} // namespace tk
