#pragma once

// A drop-down list bound to a field. The item shown is the one whose text equals the field's text;
// the field is asked for its text (through its get-text handler, when it has one) every time the list
// shows the record: after a scroll, a load, or an assignment of the field. A user's pick sets the
// field's text to the item (through its set-text handler) and then runs the change handler.

#include "toolkit/Control.h"
#include "toolkit/DataSet.h"
#include "toolkit/FieldLink.h"

#include <vector>

namespace tk {

class TDBComboBox : public Control, public DataLink {
public:
    TDBComboBox(Form& form, std::string name, Control* parent);
    const char* typeName() const override { return "TDBComboBox"; }
    bool focusable() const override { return true; }

    void setDataSource(DataSource* source);
    DataSource* dataSource() const { return link_.dataSource(); }
    void setDataField(std::string field);
    const std::string& fieldName() const override { return link_.fieldName(); }
    Field* field() const { return link_.field(); }

    const std::vector<std::string>& items() const { return items_; }
    void setItems(std::vector<std::string> items);
    // The index of the field's text among the items as last shown; -1 when none matches.
    int itemIndex() const { return itemIndex_; }
    // The user picked the item at `index` (the caller checked the range and that the dataset edits).
    void userPick(int index);

    std::string text() const override { return shownText_; }
    void recordChanged(const Field* field) override;
    void focusField(const Field& field) override;
    void describe(nlohmann::json& out) const override;

private:
    FieldLink link_;
    std::vector<std::string> items_;
    std::string shownText_;
    int itemIndex_ = -1;
};

} // namespace tk
