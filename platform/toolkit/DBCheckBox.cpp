#include "toolkit/DBCheckBox.h"

#include "toolkit/Form.h"

#include <nlohmann/json.hpp>

namespace tk {

TDBCheckBox::TDBCheckBox(Form& form, std::string name, Control* parent)
    : Control(form, std::move(name), parent), link_(*this) {}

void TDBCheckBox::setDataSource(DataSource* source) {
    link_.setDataSource(source);
    recordChanged(nullptr);
}

void TDBCheckBox::setDataField(std::string field) {
    link_.setFieldName(std::move(field));
    recordChanged(nullptr);
}

void TDBCheckBox::setValues(std::string checkedValue, std::string uncheckedValue) {
    valueChecked_ = std::move(checkedValue);
    valueUnchecked_ = std::move(uncheckedValue);
    recordChanged(nullptr);
}

CheckState TDBCheckBox::stateFromRecord() const {
    const Field* f = link_.field();
    if (!f || !link_.active()) return CheckState::Unchecked;
    if (!link_.hasRecord()) return CheckState::Grayed;
    const Value value = f->value();
    if (value && *value == valueChecked_) return CheckState::Checked;
    if (value && *value == valueUnchecked_) return CheckState::Unchecked;
    return CheckState::Grayed;
}

void TDBCheckBox::show(CheckState state) {
    if (state == state_) return;
    state_ = state;
    fire(onClick);
}

void TDBCheckBox::setChecked(bool checked) {
    show(checked ? CheckState::Checked : CheckState::Unchecked);
}

void TDBCheckBox::userClick() {
    // A toggle always changes the shown state, so the click handler always runs.
    marked_ = true;
    state_ = state_ == CheckState::Checked ? CheckState::Unchecked : CheckState::Checked;
    fire(onClick);
}

void TDBCheckBox::writeBack() {
    if (!marked_ || state_ == CheckState::Grayed) return;
    Field* f = link_.field();
    if (!f || !link_.editing()) return;
    f->setValue(checked() ? valueChecked_ : valueUnchecked_);
    // Writing the value the box already shows notifies nothing back, so the mark is dropped here.
    marked_ = false;
}

void TDBCheckBox::recordChanged(const Field* field) {
    if (field && field != link_.field()) return;
    marked_ = false;
    show(stateFromRecord());
}

void TDBCheckBox::focusField(const Field&) {
    form().setFocus(this);
}

void TDBCheckBox::describe(nlohmann::json& out) const {
    Control::describe(out);
    if (state_ == CheckState::Grayed)
        out["checked"] = nullptr;
    else
        out["checked"] = state_ == CheckState::Checked;
    out["text"] = "";
    if (const Field* f = link_.field()) out["field"] = f->name();
}

} // namespace tk
