#pragma once

// The state of a form as JSON, for the host's automation API and for tests:
//   controls    name -> {type, parent, caption, text, enabled, visible, checked (true, false, or null
//               for an undetermined box and for kinds without a check), itemIndex and items (null for
//               kinds without items), color, tabOrder, bounds and hint (when set), plus per kind:
//               grids editing, column, columns, options; edits displayText, maxLength, readOnly;
//               bound controls field; page controls activePage and pages; search buttons title}
//   activePage  the active page of the form's first page control (null without one)
//   focus       the focused control's name, or null
//   datasets    name -> {state ("inactive", "browse", "edit", "insert"), recordCount, recNo,
//               changeCount, current (field -> value, null apart from ""; all null without a
//               record), editMasks (field -> mask, non-empty masks only), and rows (every row in order,
//               field -> value) when asked}
// Menu items are among the controls.

#include <nlohmann/json.hpp>

namespace tk {

class Control;
class DataSet;
class Form;

class Snapshot {
public:
    Snapshot() = delete;

    static nlohmann::json of(const Form& form, bool withRows = false);
    static nlohmann::json control(const Control& control);
    static nlohmann::json dataSet(const DataSet& dataSet, bool withRows = false);
};

} // namespace tk
