#pragma once

// An unbound drop-down list. Setting the item index from code runs nothing; the user's pick sets it
// and runs the change handler.

#include "toolkit/Control.h"
#include "toolkit/ListControl.h"

#include <vector>

namespace tk {

class TComboBox : public Control, public ListControl {
public:
    TComboBox(Form& form, std::string name, Control* parent);
    const char* typeName() const override { return "TComboBox"; }
    bool focusable() const override { return true; }
    ListControl* asList() override { return this; }

    const std::vector<std::string>& items() const override { return items_; }
    void setItems(std::vector<std::string> items);
    int itemIndex() const override { return itemIndex_; }
    // Any index outside the items means no selection (-1).
    void setItemIndex(int index);
    void userPick(int index) override;
    bool userKey(std::uint16_t key, ShiftState shift) override { return pickByKey(key, shift); }

    std::string text() const override;

private:
    std::vector<std::string> items_;
    int itemIndex_ = -1;
};

} // namespace tk
