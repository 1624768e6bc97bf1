#pragma once

// An unbound single-line edit. Setting its text, from code or by typing, runs the change handler
// when the text changes.

#include "toolkit/Control.h"

namespace tk {

class TEdit : public Control {
public:
    TEdit(Form& form, std::string name, Control* parent);
    const char* typeName() const override { return "TEdit"; }
    bool focusable() const override { return true; }

    void setText(const std::string& text) override;

    int maxLength() const { return maxLength_; }
    void setMaxLength(int length) { maxLength_ = length; }
    bool readOnly() const { return readOnly_; }
    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }

    void describe(nlohmann::json& out) const override;

private:
    int maxLength_ = 0;
    bool readOnly_ = false;
};

} // namespace tk
