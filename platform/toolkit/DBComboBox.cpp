#include "toolkit/DBComboBox.h"

#include "toolkit/Form.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace tk {

TDBComboBox::TDBComboBox(Form& form, std::string name, Control* parent)
    : Control(form, std::move(name), parent), link_(*this) {
    setColor("clWindow");
}

void TDBComboBox::setDataSource(DataSource* source) {
    link_.setDataSource(source);
    recordChanged(nullptr);
}

void TDBComboBox::setDataField(std::string field) {
    link_.setFieldName(std::move(field));
    recordChanged(nullptr);
}

void TDBComboBox::setItems(std::vector<std::string> items) {
    items_ = std::move(items);
    recordChanged(nullptr);
}

void TDBComboBox::recordChanged(const Field* field) {
    Field* f = link_.field();
    if (field && field != f) return;
    // The text is asked for before the index changes: a get-text handler that reads this list sees
    // what it showed until now, as the classic list does.
    std::string text = f && link_.hasRecord() ? f->text() : std::string();
    const auto it = std::find(items_.begin(), items_.end(), text);
    itemIndex_ = it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
    shownText_ = std::move(text);
}

void TDBComboBox::userPick(int index) {
    if (index < 0 || index >= static_cast<int>(items_.size())) return;
    itemIndex_ = index;
    shownText_ = items_[static_cast<std::size_t>(index)];
    if (Field* f = link_.field(); f && link_.editing()) {
        const std::string picked = shownText_;
        f->setText(picked);
    }
    fire(onChange);
}

void TDBComboBox::focusField(const Field&) {
    form().setFocus(this);
}

void TDBComboBox::describe(nlohmann::json& out) const {
    Control::describe(out);
    out["itemIndex"] = itemIndex_;
    out["items"] = items_;
    if (const Field* f = link_.field()) out["field"] = f->name();
}

} // namespace tk
