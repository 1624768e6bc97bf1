#pragma once

// An unbound drop-down list. Setting the item index from code runs nothing; the user's pick sets it
// and runs the change handler.

#include "toolkit/Control.h"

#include <vector>

namespace tk {

class TComboBox : public Control {
public:
    TComboBox(Form& form, std::string name, Control* parent);
    const char* typeName() const override { return "TComboBox"; }
    bool focusable() const override { return true; }

    const std::vector<std::string>& items() const { return items_; }
    void setItems(std::vector<std::string> items);
    int itemIndex() const { return itemIndex_; }
    // Any index outside the items means no selection (-1).
    void setItemIndex(int index);
    // The user picked the item at `index` (the caller checked the range).
    void userPick(int index);

    std::string text() const override;
    void describe(nlohmann::json& out) const override;

private:
    std::vector<std::string> items_;
    int itemIndex_ = -1;
};

} // namespace tk
