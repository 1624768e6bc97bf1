#pragma once

// A grid over a data source's dataset: one row per record, the columns it declares. One column is
// selected; typing goes into an in-place cell buffer that reaches the field when the column is left,
// when the focus leaves the grid and before the record is posted.
//
// Typing needs the "dgEditing" option and the dataset in edit or insert. The first character that
// gets through starts the buffer empty (typing replaces the cell); each character first goes through
// the key-press handler, which may discard it by setting it to 0; a backspace removes the last
// character; the others are appended up to the field's size. Later typing into the same cell
// continues the buffer until the cell is written or the record changes.
//
// Selecting another column writes a pending buffer into the field, runs the column-exit handler for
// the column left (an exception there keeps the column), then selects the new column.

#include "toolkit/DataControl.h"
#include "toolkit/Properties.h"

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tk {

class TDBGrid : public DataControl {
public:
    TDBGrid(Form& form, std::string name, Control* parent);
    const char* typeName() const override { return "TDBGrid"; }
    bool focusable() const override { return true; }

    const std::vector<GridColumn>& columns() const { return columns_; }
    void setColumns(std::vector<GridColumn> columns);
    void addColumn(std::string field, std::string title = {}, int width = 64);
    int columnOf(std::string_view field) const; // -1 when no column shows it

    const std::set<std::string>& options() const { return options_; }
    void setOptions(std::set<std::string> options);
    bool hasOption(const std::string& option) const { return options_.count(option) != 0; }
    // Turning "dgEditing" off drops a pending cell buffer.
    void setOption(const std::string& option, bool on);
    bool editingEnabled() const { return hasOption("dgEditing"); }

    int selectedIndex() const { return selected_; }
    std::string selectedField() const;
    // Selects a column as the user does (write-back, column-exit handler). Same column: nothing.
    void selectColumn(int index);
    bool selectField(std::string_view field);

    // Typing into the selected cell; the caller checked the editing conditions.
    void typeText(std::string_view text);
    bool cellEditing() const { return cellActive_; }
    // The text of the current row in the column of `field`: the buffer while that cell is typed
    // into, otherwise the field's text.
    std::string cellText(std::string_view field) const;

    std::function<void(Control& sender)> onColExit;

    // Tab and Shift+Tab move between the columns when the grid has "dgTabs" (the focus leaves from
    // the first and the last column).
    bool userKey(std::uint16_t key, ShiftState shift) override;

    // The pending cell reaches its field (the grid binds no single field, so no mark is involved).
    void writeBack() override;
    // Another record, or the typed field assigned by code: what was typed no longer applies.
    void recordChanged(const Field* field) override;
    bool selectsFields() const override { return true; }
    // Selects the field's column and focuses the grid.
    void focusField(const Field& field) override;

protected:
    std::string shownText() const override { return cellText(selectedField()); }
    void describeKind(MemberSink& out) const override;

private:
    Field* columnField(int index) const;
    void discardCell();

    std::vector<GridColumn> columns_;
    std::set<std::string> options_;
    int selected_ = 0;
    bool cellActive_ = false;
    int cellColumn_ = -1;
    std::string cellBuffer_;
};

} // namespace tk
