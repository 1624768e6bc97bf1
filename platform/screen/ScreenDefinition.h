#pragma once

// A screen's definition (its form resource) as plain data: the form's attributes, every control with
// its caption and initial state, the datasets with their fields in record order, the data sources, the
// local queries with one SQL text per dialect, the message catalogues, the per-kind arrangement of
// option check boxes and the server connection.
//
// A screen module keeps its definition as JSON compiled into it (module/screen/ holds the
// operation-type screen's), so the definition travels with the module and cannot drift from it at run
// time. Nothing here depends on the toolkit: the loader (frm/ScreenLoader.h) builds the screen model
// from these structs.
//
// Errors while reading a definition are reported as DefinitionError with a stable id:
//   [screen.definition.101]  the text is not valid JSON
//   [screen.definition.102]  a required member is missing
//   [screen.definition.103]  a member has the wrong type or a value outside its domain
//   [screen.definition.104]  a name (component, field, catalogue key) is used twice
//   [screen.definition.105]  a reference names nothing (parent, data source, field, control, ...)
//   [screen.definition.106]  a reference names the wrong kind of thing (a parent that is not a
//                            container, a field whose control is bound elsewhere, ...)
//   [screen.definition.107]  a member that this format does not know (usually a typo)

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace screen {

class DefinitionError : public std::runtime_error {
public:
    DefinitionError(int id, const std::string& detail);
    int id() const noexcept { return id_; }

private:
    int id_;
};

// Event name ("OnClick", "AfterScroll", ...) -> handler name of TfrmTipOper.
using EventMap = std::map<std::string, std::string, std::less<>>;

struct Geometry {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Geometry&) const = default;
};

struct GridColumn {
    std::string field;
    std::string title;
    int width = 0;
};

// One visual component. Properties that the resource does not set are empty optionals, so that an
// inherited entry overrides only what it names and the base form keeps the rest.
struct Control {
    std::string name;
    std::string type;   // "TDBCheckBox", "TGroupBox", ... (see isKnownControlType)
    std::string parent; // empty: on the form itself, or wherever the base form puts its own component
    bool inherited = false;

    std::optional<std::string> caption;
    std::optional<std::string> text;
    std::optional<bool> enabled;
    std::optional<bool> visible;
    std::optional<bool> checked;
    std::vector<std::string> items;
    std::optional<int> itemIndex;
    std::optional<std::string> dataSource;
    std::optional<std::string> field;
    std::optional<int> maxLength;
    std::optional<bool> readOnly;
    std::optional<bool> tabStop;
    std::optional<std::string> color;
    std::optional<std::string> style; // combo style, e.g. "csDropDownList"
    std::optional<std::string> align; // "alTop", "alClient"
    std::optional<std::string> valueChecked;
    std::optional<std::string> valueUnchecked;
    // Search buttons.
    std::optional<std::string> hint;
    std::optional<std::string> title;
    std::optional<std::string> associate;
    std::optional<std::string> searchDataSource;
    std::optional<std::string> emptyError;
    // Grids.
    std::vector<GridColumn> columns;
    std::vector<std::string> options;

    std::optional<Geometry> geometry;
    EventMap events;

    bool isContainer() const;
    bool isEnabled() const { return enabled.value_or(true); }
    bool isVisible() const { return visible.value_or(true); }
    bool isChecked() const { return checked.value_or(false); }
    // The handler bound to an event, or the empty string.
    std::string handler(std::string_view event) const;
};

bool isKnownControlType(std::string_view type);
bool isContainerType(std::string_view type);

struct FieldDef {
    std::string name;
    int size = 0;
    std::string label; // empty: the field's name is its label
    bool visible = true;
    bool required = false;
    bool fixedChar = false;
    int displayWidth = 0; // 0: derived from the size
    std::string editMask;
    std::string control; // the form-page control that shows the field, if any
    std::string origin;  // "SCHEMA.TABLE.COLUMN" where the resource records it
    EventMap events;     // OnGetText, OnSetText

    const std::string& displayLabel() const { return label.empty() ? name : label; }
};

// Rows of a client dataset or of a query: an ordered list of fields.
struct FieldList {
    std::vector<FieldDef> fields;

    const FieldDef* findField(std::string_view name) const;
    const FieldDef& field(std::string_view name) const; // throws std::out_of_range
    int fieldIndex(std::string_view name) const;        // -1 when absent
    std::vector<std::string> fieldNames() const;
};

struct DataSetDef : FieldList {
    std::string name;
    std::string provider;   // empty for a dataset filled only by assigning packets
    std::string connection; // the server connection the provider lives on
    std::string indexName;
    std::string indexFields;
    std::vector<std::string> filledBy; // server operations whose packets it receives
    EventMap events;
};

struct DataSourceDef {
    std::string name;
    std::string dataSet; // a client dataset or a query
    bool inherited = false;
    EventMap events;
};

enum class Dialect { Generic, Oracle, MsSql, InterBase };

// The member name of a dialect's text: "SQL", "SQL_ORACLE", "SQL_MSSQL", "SQL_IB".
std::string_view dialectKey(Dialect dialect);

struct QueryDef : FieldList {
    std::string name;
    std::string table;
    bool readOnly = true;
    std::string cursorLocation;
    std::string cursorType;
    std::vector<std::string> parameters;
    // One text per dialect, line by line, exactly as stored (empty lines and lines of one blank
    // included). An empty list means the query carries no text for that dialect.
    std::vector<std::string> sql;
    std::vector<std::string> sqlOracle;
    std::vector<std::string> sqlMssql;
    std::vector<std::string> sqlIb;

    const std::vector<std::string>& lines(Dialect dialect) const;
    bool hasText(Dialect dialect) const { return !lines(dialect).empty(); }
    // The lines of a dialect joined with "\n" (no line break after the last one).
    std::string text(Dialect dialect) const;
    // What runs on a database of that dialect: its own text, or the generic one when it has none.
    std::string effectiveText(Dialect dialect) const;
};

struct ConnectionDef {
    std::string name;
    std::string className;
    std::string serverName;
    bool throwException = true;
    EventMap events;
};

struct FormDef {
    std::string name;
    std::string className;
    std::string baseClass;
    std::string caption;
    std::string screenCode;
    std::string formStyle;
    int helpContext = 0;
    std::string helpFile;
    std::string activeControl;
    std::optional<Geometry> geometry;
    EventMap events;
};

// Entry/exit kind of the records listed: the item index of the filter combo (0 Entrada, 1 Saída).
enum class Kind { Entrada, Saida };

// Where the option check boxes stand for one kind. Upper rows list the left, right and (where
// present) third column, an empty name leaving a cell free; lower rows list the item of the single
// column and, optionally, the control placed beside it.
struct KindArrangement {
    std::vector<std::vector<std::string>> upper;
    std::vector<std::vector<std::string>> lower;

    // Every arranged control in tab order: down the left column, then down the right column (a
    // third-column item right after the right-column item of its row), then the lower rows.
    std::vector<std::string> tabOrder() const;
};

struct ArrangementLayout {
    std::string container; // the group box that holds the arranged controls
    int top = 0;
    int rowHeight = 0;
    std::vector<int> columns; // left edge of each upper column
    int lowerGap = 0;         // between the upper block and the lower column
    int rowGap = 0;           // below a lower row taller than rowHeight
    int besideLeft = 0;       // left edge of a control placed beside a lower item
    int bottomMargin = 0;
};

struct Arrangement {
    ArrangementLayout layout;
    KindArrangement entrada;
    KindArrangement saida;

    const KindArrangement& of(Kind kind) const { return kind == Kind::Entrada ? entrada : saida; }
};

struct Placement {
    std::string name;
    int left = 0;
    int top = 0;
    int tabOrder = 0;
};

struct ArrangedLayout {
    std::vector<Placement> placements; // in tab order
    int containerHeight = 0;

    const Placement* find(std::string_view name) const;
};

// Where an event is bound: component ("dckDocDevo", "cdsTipOper", or a persistent field named
// dataset plus field, "cdsTipOperIDGERANFCMP"), the event and the handler.
struct HandlerBinding {
    std::string component;
    std::string event;
    std::string handler;
};

struct Definition {
    int version = 0;
    std::string notes;
    FormDef form;
    ConnectionDef connection;
    std::vector<Control> controls; // in resource order: a parent before its children
    std::vector<DataSetDef> dataSets;
    std::vector<DataSourceDef> dataSources;
    std::vector<QueryDef> queries;
    std::map<std::string, std::vector<std::string>, std::less<>> catalogues; // name -> "key|text" lines
    Arrangement arrangement;

    const Control* findControl(std::string_view name) const;
    const Control& control(std::string_view name) const; // throws std::out_of_range
    std::vector<const Control*> children(std::string_view parent) const;

    const DataSetDef* findDataSet(std::string_view name) const;
    const DataSetDef& dataSet(std::string_view name) const;
    const QueryDef* findQuery(std::string_view name) const;
    const QueryDef& query(std::string_view name) const;
    const DataSourceDef* findDataSource(std::string_view name) const;
    const DataSourceDef& dataSource(std::string_view name) const;
    // The fields behind a data source (its client dataset's or its query's); nullptr if unknown.
    const FieldList* fieldsOf(std::string_view dataSourceName) const;

    const std::vector<std::string>& catalogue(std::string_view name) const; // throws std::out_of_range

    std::vector<HandlerBinding> handlerBindings() const;
    std::vector<std::string> handlerNames() const; // sorted, each once

    // Positions, tab order and container height of the option check boxes for a kind. Row heights
    // come from the controls' own heights, so a taller group pushes the rows below it down.
    ArrangedLayout arrange(Kind kind) const;
};

// Reads and checks a definition; throws DefinitionError.
Definition parseDefinition(std::string_view jsonText);

} // namespace screen
