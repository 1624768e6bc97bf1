#pragma once

// An edit bound to a field. Its text is the field's text; setting the text from code behaves like
// typing: when the text changes the edit is marked and its change handler runs, and the field takes
// the text the next time the record is written from the controls, that is when the focus leaves the
// edit (before its exit handler runs, so the exit handler reads the typed value in the field) and
// before the record is posted. Showing a record drops the mark and shows the field's text, running
// the change handler when the shown text changes.

#include "toolkit/DataControl.h"
#include "toolkit/TextControl.h"

namespace tk {

class TDBEdit : public DataControl, public TextControl {
public:
    TDBEdit(Form& form, std::string name, Control* parent);
    const char* typeName() const override { return "TDBEdit"; }
    bool focusable() const override { return true; }
    TextControl* asText() override { return this; }

    void setText(const std::string& text) override;
    // The text as shown: formatted through the field's edit mask (the raw text without a mask).
    std::string displayText() const;

    // Limits typing (0 = no limit); text set from code is not cut.
    int maxLength() const { return maxLength_; }
    void setMaxLength(int length) { maxLength_ = length; }
    bool readOnly() const override { return DataControl::readOnly(); }

    // Typing into a masked edit fills the mask's slots: the literals are not part of the value.
    void userType(std::string_view text) override;

protected:
    void showRecord() override;
    bool writeValue(Field& field) override;
    void describeKind(MemberSink& out) const override;

private:
    int maxLength_ = 0;
};

} // namespace tk
