#pragma once

// The base of every control bound to a data source: grids and navigators, which work on the whole
// dataset, and the controls that show one field of its current record.
//
// Showing: when the record changes (a scroll, a load, an insert, a cancel) or the bound field is
// assigned, the mark is dropped and the control shows the record anew (showRecord).
// Writing back: a user's change marks the control; a marked control writes its value into the field
// when the record is written from the controls, that is when the focus leaves it (before its exit
// handler runs) and before the record is posted. Outside edit and insert nothing is written and the
// mark stays for the next post.
// The data source does not start editing by itself: an act of the user that would change the value
// is refused unless the dataset is being edited (editing()), and a read-only control refuses it always.

#include "toolkit/Control.h"
#include "toolkit/DataSet.h"
#include "toolkit/FieldLink.h"

namespace tk {

class DataControl : public Control, public DataLink {
public:
    DataControl(Form& form, std::string name, Control* parent);

    DataControl* asData() override { return this; }

    // Changing the source or the field shows the record anew.
    void setDataSource(DataSource* source);
    DataSource* dataSource() const { return link_.dataSource(); }
    DataSet* dataSet() const { return link_.dataSet(); }
    void setDataField(std::string field);
    const std::string& fieldName() const override { return link_.fieldName(); }
    // The bound field, or nullptr (no source, no dataset, no such field, or a control without one).
    Field* field() const { return link_.field(); }

    virtual bool readOnly() const { return readOnly_; }
    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }
    // The dataset is in edit or insert, so the user may change what the control shows.
    bool editing() const { return link_.editing(); }
    bool marked() const { return marked_; }

    void writeBack() override;
    void updateData() override { writeBack(); }
    void recordChanged(const Field* field) override;
    void focusField(const Field& field) override;

protected:
    // Shows the current record (or the bound field after an assignment).
    virtual void showRecord() {}
    // Writes the user's value into the field; returning false keeps the mark.
    virtual bool writeValue(Field&) { return true; }
    void mark() { marked_ = true; }
    void unmark() { marked_ = false; }
    // The dataset is open (and stands on a record, a new one in insert included).
    bool active() const { return link_.active(); }
    bool hasRecord() const { return link_.hasRecord(); }

    // dataSet: the name of the dataset shown, or null.
    void describeKind(MemberSink& out) const override;
    // field: the bound field's name, when it has one.
    void describeField(MemberSink& out) const;

private:
    FieldLink link_;
    bool marked_ = false;
    bool readOnly_ = false;
};

} // namespace tk
