#pragma once

// A drop-down list bound to a field. The item shown is the one whose text equals the field's text;
// the field is asked for its text (through its get-text handler, when it has one) every time the list
// shows the record: after a scroll, a load, or an assignment of the field. A user's pick sets the
// field's text to the item (through its set-text handler) and then runs the change handler.

#include "toolkit/DataControl.h"
#include "toolkit/ListControl.h"

#include <vector>

namespace tk {

class TDBComboBox : public DataControl, public ListControl {
public:
    TDBComboBox(Form& form, std::string name, Control* parent);
    const char* typeName() const override { return "TDBComboBox"; }
    bool focusable() const override { return true; }
    ListControl* asList() override { return this; }

    const std::vector<std::string>& items() const override { return items_; }
    void setItems(std::vector<std::string> items);
    // The index of the field's text among the items as last shown; -1 when none matches.
    int itemIndex() const override { return itemIndex_; }
    void userPick(int index) override;
    // The list's keys pick only while its record is being edited.
    bool userKey(std::uint16_t key, ShiftState shift) override;

    std::string text() const override { return shownText_; }

protected:
    void showRecord() override;
    void describeKind(MemberSink& out) const override;

private:
    std::vector<std::string> items_;
    std::string shownText_;
    int itemIndex_ = -1;
};

} // namespace tk
