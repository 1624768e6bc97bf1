#pragma once

// An unbound single-line edit. Setting its text, from code or by typing, runs the change handler
// when the text changes.

#include "toolkit/Control.h"
#include "toolkit/TextControl.h"

namespace tk {

class TEdit : public Control, public TextControl {
public:
    TEdit(Form& form, std::string name, Control* parent);
    const char* typeName() const override { return "TEdit"; }
    bool focusable() const override { return true; }
    TextControl* asText() override { return this; }

    void setText(const std::string& text) override;

    // Limits typing (0 = no limit); text set from code is not cut.
    int maxLength() const { return maxLength_; }
    void setMaxLength(int length) { maxLength_ = length; }
    bool readOnly() const override { return readOnly_; }
    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }

    void userType(std::string_view text) override;

protected:
    void describeKind(MemberSink& out) const override;

private:
    int maxLength_ = 0;
    bool readOnly_ = false;
};

// `text` cut to `maxLength` characters (0: not cut).
std::string typedText(std::string_view text, int maxLength);

} // namespace tk
