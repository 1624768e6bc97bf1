#pragma once

// The user's acts on a form, as the host receives them and as tests play them. Every act names its
// target; an unknown name is Unknown (404). An act the screen would not let the user do is Refused
// (409) and changes nothing: it is checked before anything runs. Handler exceptions (the silent abort
// included) propagate to the caller.
//
// Refusals are data: a stable code that programs match on (the table below, also in docs/api.md) and
// a Portuguese reason that names the target for whoever reads a log.
//
// Refused: a control that cannot be operated (hidden, disabled, inside a disabled or hidden
// container, on a page not shown); an act that would change a data-bound control's value (toggle,
// type, pick, grid typing) while its dataset is not in edit or insert; typing into a read-only edit;
// an item index out of range; a move while the dataset is being edited.
//
// A click, focus, type, pick or key first moves the focus to the control when it takes the focus
// (toolbar buttons, menu items and search buttons do not), running the exit handlers of the control
// that had it. Key events need only an operable control: they reach its key handlers, which test the
// state themselves.

#include "toolkit/Forward.h"
#include "toolkit/Keys.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tk {

class Form;

enum class InputStatus { Ok, Unknown, Refused };

// The codes of refused and unknown acts.
namespace refusal {
inline constexpr const char* UnknownControl = "unknown-control"; // no control of that name
inline constexpr const char* UnknownPage = "unknown-page";       // no page of that name
inline constexpr const char* UnknownDataSet = "unknown-dataset"; // no dataset of that name
inline constexpr const char* UnknownColumn = "unknown-column";   // the grid shows no such field
inline constexpr const char* Hidden = "hidden"; // hidden itself, in a hidden container, on a page not shown
inline constexpr const char* Disabled = "disabled";      // disabled itself or in a disabled container
inline constexpr const char* NotEditing = "not-editing"; // would change data while its dataset is not edited
inline constexpr const char* ReadOnly = "read-only"; // a read-only control, a grid without in-place editing
inline constexpr const char* OutOfRange = "out-of-range";    // item index or record number outside the list
inline constexpr const char* NotFocusable = "not-focusable"; // the control never takes the focus
inline constexpr const char* WrongKind = "wrong-kind";       // the act does not apply to that kind of control
inline constexpr const char* DataSetClosed = "dataset-closed"; // a move on a closed dataset
inline constexpr const char* Editing = "editing";              // a move while the record is being edited
} // namespace refusal

struct InputResult {
    InputStatus status = InputStatus::Ok;
    std::string code;   // one of tk::refusal, empty when the act was accepted
    std::string reason; // Portuguese

    bool ok() const { return status == InputStatus::Ok; }
    // 200, 404 or 409.
    int httpStatus() const;
    static InputResult done() { return {}; }
    static InputResult unknown(std::string code, std::string reason) {
        return {InputStatus::Unknown, std::move(code), std::move(reason)};
    }
    static InputResult refused(std::string code, std::string reason) {
        return {InputStatus::Refused, std::move(code), std::move(reason)};
    }
};

class Input {
public:
    Input() = delete;

    static InputResult click(Form& form, std::string_view control);
    static InputResult focus(Form& form, std::string_view control);
    // Replaces the edit's text as typing does (each change runs the change handler once).
    static InputResult type(Form& form, std::string_view control, std::string_view text);
    static InputResult pick(Form& form, std::string_view control, int index);
    // A key pressed in the control: its key-down handler, then the control's own handling of a key it
    // did not discard (Tab and Shift+Tab move the focus, or the column of a grid with "dgTabs"; a
    // letter in a drop-down list picks the next item starting with it).
    static InputResult key(Form& form, std::string_view control, std::uint16_t key, ShiftState shift = {});
    static InputResult page(Form& form, std::string_view page);
    // Moves a dataset to record `recNo` (1-based), as the grid or the navigator does.
    static InputResult move(Form& form, std::string_view dataSet, int recNo);
    // Focuses the grid and selects the cell of `column` (a field name): leaving a column runs its
    // column-exit handler.
    static InputResult gridFocus(Form& form, std::string_view grid, std::string_view column);
    // Selects the cell and types `text` into it, character by character, through the grid's key-press
    // handler.
    static InputResult gridType(Form& form, std::string_view grid, std::string_view column,
                                std::string_view text);
    // Closes the form as its close button does; CloseQuery::Skip closes without asking (the host
    // ending the client, where nobody is left to answer).
    static InputResult close(Form& form, CloseQuery query = CloseQuery::Ask);
};

} // namespace tk
