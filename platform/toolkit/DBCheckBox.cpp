#include "toolkit/DBCheckBox.h"

#include "toolkit/ControlKinds.h"

namespace tk {

TDBCheckBox::TDBCheckBox(Form& form, std::string name, Control* parent)
    : DataControl(form, std::move(name), parent) {}

void TDBCheckBox::setValues(std::string checkedValue, std::string uncheckedValue) {
    valueChecked_ = std::move(checkedValue);
    valueUnchecked_ = std::move(uncheckedValue);
    recordChanged(nullptr);
}

CheckState TDBCheckBox::stateFromRecord() const {
    const Field* f = field();
    if (!f || !active()) return CheckState::Unchecked;
    if (!hasRecord()) return CheckState::Grayed;
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
    mark();
    state_ = state_ == CheckState::Checked ? CheckState::Unchecked : CheckState::Checked;
    fire(onClick);
}

bool TDBCheckBox::writeValue(Field& f) {
    // A box the user left undetermined has nothing to write.
    if (state_ == CheckState::Grayed) return false;
    // Writing the value the box already shows notifies nothing back, so the mark is dropped here.
    f.setValue(checked() ? valueChecked_ : valueUnchecked_);
    return true;
}

void TDBCheckBox::showRecord() {
    show(stateFromRecord());
}

std::optional<bool> TDBCheckBox::shownCheck() const {
    if (state_ == CheckState::Grayed) return std::nullopt;
    return state_ == CheckState::Checked;
}

void TDBCheckBox::describeKind(MemberSink& out) const {
    DataControl::describeKind(out);
    describeField(out);
}

namespace {

const KindRegistration registration{KindOf<TDBCheckBox>("TDBCheckBox", "DataControl")
                                        .property("valueChecked", &TDBCheckBox::setValueChecked)
                                        .property("valueUnchecked", &TDBCheckBox::setValueUnchecked)};

} // namespace

} // namespace tk
