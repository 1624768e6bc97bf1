#pragma once

// The user's acts on a form, as the host receives them and as tests play them. Every act names its
// target; an unknown name is Unknown (404). An act the screen would not let the user do is Refused
// (409), with a Portuguese reason, and changes nothing: it is checked before anything runs. Handler
// exceptions (the silent abort included) propagate to the caller.
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

struct InputResult {
    InputStatus status = InputStatus::Ok;
    std::string reason;

    bool ok() const { return status == InputStatus::Ok; }
    // 200, 404 or 409.
    int httpStatus() const;
    static InputResult done() { return {}; }
    static InputResult unknown(std::string reason) { return {InputStatus::Unknown, std::move(reason)}; }
    static InputResult refused(std::string reason) { return {InputStatus::Refused, std::move(reason)}; }
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
    // did not discard (Tab and Shift+Tab move the focus; a letter in a drop-down list picks the first
    // item starting with it).
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
