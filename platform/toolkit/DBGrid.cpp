#include "toolkit/DBGrid.h"

#include "toolkit/ControlKinds.h"
#include "toolkit/Form.h"
#include "toolkit/JsonText.h"
#include "toolkit/MemberSink.h"
#include "toolkit/Utf8.h"

namespace tk {

TDBGrid::TDBGrid(Form& form, std::string name, Control* parent) : DataControl(form, std::move(name), parent) {
    setColor("clWindow");
}

void TDBGrid::setColumns(std::vector<GridColumn> columns) {
    discardCell();
    columns_ = std::move(columns);
    selected_ = 0;
}

void TDBGrid::addColumn(std::string field, std::string title, int width) {
    columns_.push_back({std::move(field), std::move(title), width});
}

int TDBGrid::columnOf(std::string_view field) const {
    for (std::size_t i = 0; i < columns_.size(); ++i)
        if (columns_[i].field == field) return static_cast<int>(i);
    return -1;
}

void TDBGrid::setOptions(std::set<std::string> options) {
    options_ = std::move(options);
    if (!editingEnabled()) discardCell();
}

void TDBGrid::setOption(const std::string& option, bool on) {
    if (on)
        options_.insert(option);
    else
        options_.erase(option);
    if (!editingEnabled()) discardCell();
}

std::string TDBGrid::selectedField() const {
    return selected_ >= 0 && selected_ < static_cast<int>(columns_.size())
               ? columns_[static_cast<std::size_t>(selected_)].field
               : std::string();
}

Field* TDBGrid::columnField(int index) const {
    DataSet* set = dataSet();
    if (!set || index < 0 || index >= static_cast<int>(columns_.size())) return nullptr;
    return set->findField(columns_[static_cast<std::size_t>(index)].field);
}

void TDBGrid::selectColumn(int index) {
    if (index < 0 || index >= static_cast<int>(columns_.size()) || index == selected_) return;
    writeBack();
    fire(onColExit);
    selected_ = index;
}

bool TDBGrid::selectField(std::string_view field) {
    const int index = columnOf(field);
    if (index < 0) return false;
    selectColumn(index);
    return true;
}

void TDBGrid::typeText(std::string_view text) {
    Field* f = columnField(selected_);
    if (!f) return;
    const std::size_t limit = f->size() > 0 ? static_cast<std::size_t>(f->size()) : std::string::npos;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t len = utf8::sequenceLength(static_cast<unsigned char>(text[pos]));
        const std::string_view character = text.substr(pos, len);
        pos += len;

        // The key-press handler sees one char: the character itself, or the lead byte of a
        // multi-byte character. Setting it to 0 discards the character.
        char key = character[0];
        if (onKeyPress) {
            auto handler = onKeyPress;
            handler(*this, key);
        }
        if (key == 0) continue;
        if (!cellActive_ || cellColumn_ != selected_) {
            cellActive_ = true;
            cellColumn_ = selected_;
            cellBuffer_.clear();
        }
        if (key == '\b') {
            utf8::popBack(cellBuffer_);
            continue;
        }
        if (utf8::length(cellBuffer_) >= limit) continue;
        if (key != character[0] && static_cast<unsigned char>(key) < 0x80)
            cellBuffer_ += key;
        else
            cellBuffer_ += character;
    }
}

std::string TDBGrid::cellText(std::string_view field) const {
    if (cellActive_ && cellColumn_ >= 0 && cellColumn_ < static_cast<int>(columns_.size()) &&
        columns_[static_cast<std::size_t>(cellColumn_)].field == field)
        return cellBuffer_;
    DataSet* set = dataSet();
    if (!set || !set->active() || (set->isEmpty() && !set->isEditing())) return {};
    Field* f = set->findField(field);
    return f ? f->text() : std::string();
}

void TDBGrid::writeBack() {
    if (!cellActive_) return;
    Field* f = columnField(cellColumn_);
    DataSet* set = dataSet();
    if (!f || !set || !set->isEditing()) {
        discardCell();
        return;
    }
    const std::string typed = cellBuffer_;
    f->setText(typed);
    discardCell();
}

void TDBGrid::discardCell() {
    cellActive_ = false;
    cellColumn_ = -1;
    cellBuffer_.clear();
}

void TDBGrid::recordChanged(const Field* field) {
    if (!cellActive_) return;
    if (!field || field == columnField(cellColumn_)) discardCell();
}

bool TDBGrid::userKey(std::uint16_t key, ShiftState shift) {
    if (key != keys::Tab || shift.alt || shift.ctrl || !hasOption("dgTabs")) return false;
    const int next = selectedIndex() + (shift.shift ? -1 : 1);
    if (next < 0 || next >= static_cast<int>(columns_.size())) return false;
    selectColumn(next);
    return true;
}

void TDBGrid::focusField(const Field& field) {
    form().setFocus(this);
    selectField(field.name());
}

void TDBGrid::describeKind(MemberSink& out) const {
    DataControl::describeKind(out);
    out.boolean("editing", editingEnabled());
    const std::string column = selectedField();
    if (column.empty())
        out.null("column");
    else
        out.text("column", column);
    std::string columns = "[";
    for (const auto& c : columns_) {
        if (columns.size() > 1) columns += ',';
        columns += "{\"field\":";
        json::appendString(columns, c.field);
        columns += ",\"title\":";
        json::appendString(columns, c.title);
        columns += ",\"width\":";
        json::appendInt(columns, c.width);
        columns += '}';
    }
    columns += ']';
    out.json("columns", columns);
    out.texts("options", std::vector<std::string>(options_.begin(), options_.end()));
}

namespace {

const KindRegistration registration{
    KindOf<TDBGrid>("TDBGrid", "DataControl")
        .property("columns", &TDBGrid::setColumns)
        .property<std::vector<std::string>>("options",
                                            [](TDBGrid& grid, const std::vector<std::string>& options) {
                                                grid.setOptions({options.begin(), options.end()});
                                            })
        .event("OnColExit", &TDBGrid::onColExit)};

} // namespace

} // namespace tk
