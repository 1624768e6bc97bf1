#pragma once

// A label that shows a field of the current record, as displayed (through the field's display text).

#include "toolkit/DataControl.h"

namespace tk {

class TDBText : public DataControl {
public:
    TDBText(Form& form, std::string name, Control* parent);
    const char* typeName() const override { return "TDBText"; }
    // A label takes no focus: a field's focus request goes past it.
    void focusField(const Field&) override {}

protected:
    void showRecord() override;
};

} // namespace tk
