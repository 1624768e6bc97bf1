#include "toolkit/DBComboBox.h"

#include "toolkit/ControlKinds.h"

#include <algorithm>

namespace tk {

TDBComboBox::TDBComboBox(Form& form, std::string name, Control* parent)
    : DataControl(form, std::move(name), parent) {
    setColor("clWindow");
}

void TDBComboBox::setItems(std::vector<std::string> items) {
    items_ = std::move(items);
    recordChanged(nullptr);
}

void TDBComboBox::showRecord() {
    Field* f = field();
    // The text is asked for before the index changes: a get-text handler that reads this list sees
    // what it showed until now, as the classic list does.
    std::string text = f && hasRecord() ? f->text() : std::string();
    const auto it = std::find(items_.begin(), items_.end(), text);
    itemIndex_ = it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
    shownText_ = std::move(text);
}

void TDBComboBox::userPick(int index) {
    if (index < 0 || index >= static_cast<int>(items_.size())) return;
    itemIndex_ = index;
    shownText_ = items_[static_cast<std::size_t>(index)];
    if (Field* f = field(); f && editing()) {
        const std::string picked = shownText_;
        f->setText(picked);
    }
    fire(onChange);
}

bool TDBComboBox::userKey(std::uint16_t key, ShiftState shift) {
    if (!editing()) return false;
    return pickByKey(key, shift);
}

void TDBComboBox::describeKind(MemberSink& out) const {
    DataControl::describeKind(out);
    describeField(out);
}

namespace {

const KindRegistration registration{
    KindOf<TDBComboBox>("TDBComboBox", "DataControl").property("items", &TDBComboBox::setItems)};

} // namespace

} // namespace tk
