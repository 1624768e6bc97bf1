#include "toolkit/ComboBox.h"

#include "toolkit/ControlKinds.h"

namespace tk {

TComboBox::TComboBox(Form& form, std::string name, Control* parent) : Control(form, std::move(name), parent) {
    setColor("clWindow");
}

void TComboBox::setItems(std::vector<std::string> items) {
    items_ = std::move(items);
    if (itemIndex_ >= static_cast<int>(items_.size())) itemIndex_ = -1;
}

void TComboBox::setItemIndex(int index) {
    itemIndex_ = index >= 0 && index < static_cast<int>(items_.size()) ? index : -1;
}

void TComboBox::userPick(int index) {
    setItemIndex(index);
    fire(onChange);
}

std::string TComboBox::text() const {
    return itemIndex_ >= 0 ? items_[static_cast<std::size_t>(itemIndex_)] : "";
}

namespace {

const KindRegistration registration{KindOf<TComboBox>("TComboBox", "Control")
                                        .property("items", &TComboBox::setItems)
                                        .property("itemIndex", &TComboBox::setItemIndex)};

} // namespace

} // namespace tk
