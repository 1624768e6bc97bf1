#pragma once

// An edit bound to a field. Its text is the field's text; setting the text from code behaves like
// typing: when the text changes the edit is marked and its change handler runs, and the field takes
// the text the next time the record is written from the controls, that is when the focus leaves the
// edit (before its exit handler runs, so the exit handler reads the typed value in the field) and
// before the record is posted. Showing a record drops the mark and shows the field's text, running
// the change handler when the shown text changes.

#include "toolkit/Control.h"
#include "toolkit/DataSet.h"
#include "toolkit/FieldLink.h"

namespace tk {

class TDBEdit : public Control, public DataLink {
public:
    TDBEdit(Form& form, std::string name, Control* parent);
    const char* typeName() const override { return "TDBEdit"; }
    bool focusable() const override { return true; }

    void setDataSource(DataSource* source);
    DataSource* dataSource() const { return link_.dataSource(); }
    void setDataField(std::string field);
    const std::string& fieldName() const override { return link_.fieldName(); }
    Field* field() const { return link_.field(); }

    void setText(const std::string& text) override;
    // The text as shown: formatted through the field's edit mask (the raw text without a mask).
    std::string displayText() const;
    bool marked() const { return marked_; }

    // Limits typing (0 = no limit); text set from code is not cut.
    int maxLength() const { return maxLength_; }
    void setMaxLength(int length) { maxLength_ = length; }
    bool readOnly() const { return readOnly_; }
    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }

    void writeBack() override;
    void recordChanged(const Field* field) override;
    void updateData() override { writeBack(); }
    void focusField(const Field& field) override;
    void describe(nlohmann::json& out) const override;

private:
    FieldLink link_;
    bool marked_ = false;
    int maxLength_ = 0;
    bool readOnly_ = false;
};

} // namespace tk
