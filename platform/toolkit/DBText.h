#pragma once

// A label that shows a field of the current record, as displayed (through the field's display text).

#include "toolkit/Control.h"
#include "toolkit/DataSet.h"
#include "toolkit/FieldLink.h"

namespace tk {

class TDBText : public Control, public DataLink {
public:
    TDBText(Form& form, std::string name, Control* parent);
    const char* typeName() const override { return "TDBText"; }

    void setDataSource(DataSource* source);
    DataSource* dataSource() const { return link_.dataSource(); }
    void setDataField(std::string field);
    const std::string& fieldName() const override { return link_.fieldName(); }

    void recordChanged(const Field* field) override;
    void focusField(const Field&) override {}

private:
    FieldLink link_;
};

} // namespace tk
