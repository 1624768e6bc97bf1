#pragma once

// A check box bound to a one-character flag field: "S" shows checked, "N" unchecked, anything else
// (null and "" included) shows the undetermined (grayed) state, which reads as not checked.
//
// Three ways its shown state changes, and what each does:
//   - code (setChecked): the shown state changes and the click handler runs; the field is NOT
//     written and the box is not marked, so a handler that means to change the record assigns the
//     field itself;
//   - the user (userClick): grayed and unchecked become checked, checked becomes unchecked; the box
//     is marked and the click handler runs;
//   - the record (a scroll, a load, an assignment of the field): the mark is dropped and the state
//     follows the field; the click handler runs when the shown state changed.
// Giving the state it already shows runs nothing. A marked box writes "S" or "N" into its field when
// the focus leaves it and before the record is posted.

#include "toolkit/DataControl.h"

namespace tk {

enum class CheckState { Unchecked, Checked, Grayed };

class TDBCheckBox : public DataControl {
public:
    TDBCheckBox(Form& form, std::string name, Control* parent);
    const char* typeName() const override { return "TDBCheckBox"; }
    bool focusable() const override { return true; }

    const std::string& valueChecked() const { return valueChecked_; }
    const std::string& valueUnchecked() const { return valueUnchecked_; }
    void setValues(std::string checkedValue, std::string uncheckedValue);
    void setValueChecked(std::string value) { setValues(std::move(value), valueUnchecked_); }
    void setValueUnchecked(std::string value) { setValues(valueChecked_, std::move(value)); }

    CheckState state() const { return state_; }
    bool checked() const { return state_ == CheckState::Checked; }
    // From code: changes what the box shows and runs the click handler when it changed.
    void setChecked(bool checked);
    // The user's toggle; the caller has made sure the dataset is editing.
    void userClick() override;
    bool userClickWrites() const override { return true; }

protected:
    void showRecord() override;
    bool writeValue(Field& field) override;
    std::string shownText() const override { return {}; }
    std::optional<bool> shownCheck() const override;
    void describeKind(MemberSink& out) const override;

private:
    CheckState stateFromRecord() const;
    void show(CheckState state);

    std::string valueChecked_ = "S";
    std::string valueUnchecked_ = "N";
    CheckState state_ = CheckState::Unchecked;
};

} // namespace tk
