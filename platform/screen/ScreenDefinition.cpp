#include "screen/ScreenDefinition.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>
#include <set>
#include <utility>

namespace screen {

DefinitionError::DefinitionError(int id, const std::string& detail)
    : std::runtime_error("[screen.definition." + std::to_string(id) + "] " + detail), id_(id) {}

namespace {

using nlohmann::json;

constexpr int kNotJson = 101;
constexpr int kMissing = 102;
constexpr int kBadValue = 103;
constexpr int kDuplicate = 104;
constexpr int kDangling = 105;
constexpr int kWrongKind = 106;
constexpr int kUnknownMember = 107;

[[noreturn]] void fail(int id, const std::string& detail) {
    throw DefinitionError(id, detail);
}

std::string named(std::string_view text) {
    return "'" + std::string(text) + "'";
}

constexpr std::array kControlTypes = {
    "TLabel",    "TDBText",      "TGroupBox", "TPanel",       "TBevel",       "TScrollBox", "TPageControl",
    "TTabSheet", "TSpeedButton", "TMenuItem", "TDBCheckBox",  "TRadioButton", "TDBEdit",    "TEdit",
    "TComboBox", "TDBComboBox",  "TDBGrid",   "TDBNavigator", "TBtnPesquisa",
};
constexpr std::array kContainerTypes = {"TGroupBox", "TPanel", "TScrollBox", "TPageControl", "TTabSheet"};

// Reads one JSON object member by member and remembers which members it consumed, so that a
// member nobody asked for (a misspelt property) is reported instead of silently ignored.
class ObjectReader {
public:
    ObjectReader(const json& object, std::string path) : object_(object), path_(std::move(path)) {
        if (!object_.is_object())
            fail(kBadValue, path_ + ": esperado um objeto, encontrado " + object_.type_name());
    }

    void setPath(std::string path) { path_ = std::move(path); }
    const std::string& path() const { return path_; }
    std::string at(std::string_view key) const { return path_ + "." + std::string(key); }

    const json* find(const char* key) {
        const auto it = object_.find(key);
        if (it == object_.end()) return nullptr;
        seen_.insert(key);
        return &*it;
    }

    const json& require(const char* key) {
        const json* value = find(key);
        if (!value) fail(kMissing, path_ + ": falta o membro " + named(key));
        return *value;
    }

    std::string string(const char* key) { return asString(require(key), key); }

    std::string stringOr(const char* key, std::string fallback) {
        const json* value = find(key);
        return value ? asString(*value, key) : std::move(fallback);
    }

    // A required member that may be null (a control on the form itself has the parent null).
    std::string stringOrNull(const char* key) {
        const json& value = require(key);
        return value.is_null() ? std::string() : asString(value, key);
    }

    std::optional<std::string> optionalString(const char* key) {
        const json* value = find(key);
        if (!value || value->is_null()) return std::nullopt;
        return asString(*value, key);
    }

    int integer(const char* key) { return asInt(require(key), key); }

    int integerOr(const char* key, int fallback) {
        const json* value = find(key);
        return value ? asInt(*value, key) : fallback;
    }

    std::optional<int> optionalInteger(const char* key) {
        const json* value = find(key);
        if (!value || value->is_null()) return std::nullopt;
        return asInt(*value, key);
    }

    bool boolean(const char* key) { return asBool(require(key), key); }

    bool booleanOr(const char* key, bool fallback) {
        const json* value = find(key);
        return value ? asBool(*value, key) : fallback;
    }

    std::optional<bool> optionalBoolean(const char* key) {
        const json* value = find(key);
        if (!value || value->is_null()) return std::nullopt;
        return asBool(*value, key);
    }

    std::vector<std::string> strings(const char* key) {
        const json* value = find(key);
        if (!value) return {};
        return stringList(*value, at(key));
    }

    std::vector<std::string> requiredStrings(const char* key) { return stringList(require(key), at(key)); }

    const json& array(const char* key) {
        const json& value = require(key);
        if (!value.is_array()) wrongType(key, "uma lista", value);
        return value;
    }

    EventMap events() {
        EventMap out;
        const json* value = find("events");
        if (!value) return out;
        if (!value->is_object()) wrongType("events", "um objeto", *value);
        for (const auto& [event, handler] : value->items()) {
            if (!handler.is_string() || handler.get_ref<const std::string&>().empty())
                fail(kBadValue, at("events") + "." + event + ": esperado o nome de um manipulador");
            out.emplace(event, handler.get<std::string>());
        }
        return out;
    }

    // Left, top, width and height stand together: all four or none.
    std::optional<Geometry> geometry() {
        const std::array<const char*, 4> keys = {"left", "top", "width", "height"};
        std::array<std::optional<int>, 4> values;
        int present = 0;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            values[i] = optionalInteger(keys[i]);
            present += values[i].has_value() ? 1 : 0;
        }
        if (present == 0) return std::nullopt;
        if (present != 4) fail(kBadValue, path_ + ": a geometria exige left, top, width e height juntos");
        if (*values[2] < 0 || *values[3] < 0)
            fail(kBadValue, path_ + ": largura e altura não podem ser negativas");
        return Geometry{*values[0], *values[1], *values[2], *values[3]};
    }

    void finish() const {
        for (const auto& [key, value] : object_.items())
            if (!seen_.contains(key)) fail(kUnknownMember, path_ + ": membro desconhecido " + named(key));
    }

private:
    [[noreturn]] void wrongType(std::string_view key, std::string_view expected, const json& value) const {
        fail(kBadValue,
             at(key) + ": esperado " + std::string(expected) + ", encontrado " + value.type_name());
    }

    std::string asString(const json& value, std::string_view key) const {
        if (!value.is_string()) wrongType(key, "texto", value);
        return value.get<std::string>();
    }

    int asInt(const json& value, std::string_view key) const {
        if (!value.is_number_integer()) wrongType(key, "um número inteiro", value);
        return value.get<int>();
    }

    bool asBool(const json& value, std::string_view key) const {
        if (!value.is_boolean()) wrongType(key, "true ou false", value);
        return value.get<bool>();
    }

    static std::vector<std::string> stringList(const json& value, const std::string& path) {
        if (!value.is_array()) fail(kBadValue, path + ": esperado uma lista de textos");
        std::vector<std::string> out;
        out.reserve(value.size());
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (!value[i].is_string()) fail(kBadValue, path + "[" + std::to_string(i) + "]: esperado texto");
            out.push_back(value[i].get<std::string>());
        }
        return out;
    }

    const json& object_;
    std::string path_;
    std::set<std::string, std::less<>> seen_;
};

std::string indexed(std::string_view list, std::size_t index, std::string_view name = {}) {
    std::string out = std::string(list) + "[" + std::to_string(index) + "]";
    if (!name.empty()) out += " (" + std::string(name) + ")";
    return out;
}

Control readControl(const json& value, std::size_t index) {
    ObjectReader r(value, indexed("controls", index));
    Control c;
    c.name = r.string("name");
    r.setPath(indexed("controls", index, c.name));
    c.type = r.string("type");
    if (!isKnownControlType(c.type))
        fail(kBadValue, r.at("type") + ": tipo de controle desconhecido " + named(c.type));
    c.parent = r.stringOrNull("parent");
    c.inherited = r.booleanOr("inherited", false);
    c.caption = r.optionalString("caption");
    c.text = r.optionalString("text");
    c.enabled = r.optionalBoolean("enabled");
    c.visible = r.optionalBoolean("visible");
    c.checked = r.optionalBoolean("checked");
    c.items = r.strings("items");
    c.itemIndex = r.optionalInteger("itemIndex");
    c.dataSource = r.optionalString("dataSource");
    c.field = r.optionalString("field");
    c.maxLength = r.optionalInteger("maxLength");
    c.readOnly = r.optionalBoolean("readOnly");
    c.tabStop = r.optionalBoolean("tabStop");
    c.color = r.optionalString("color");
    c.style = r.optionalString("style");
    c.align = r.optionalString("align");
    c.valueChecked = r.optionalString("valueChecked");
    c.valueUnchecked = r.optionalString("valueUnchecked");
    c.hint = r.optionalString("hint");
    c.title = r.optionalString("title");
    c.associate = r.optionalString("associate");
    c.searchDataSource = r.optionalString("searchDataSource");
    c.emptyError = r.optionalString("emptyError");
    if (const json* columns = r.find("columns")) {
        if (!columns->is_array()) fail(kBadValue, r.at("columns") + ": esperado uma lista");
        for (std::size_t i = 0; i < columns->size(); ++i) {
            ObjectReader cr((*columns)[i], r.at("columns") + "[" + std::to_string(i) + "]");
            GridColumn column;
            column.field = cr.string("field");
            column.title = cr.stringOr("title", "");
            column.width = cr.integer("width");
            cr.finish();
            c.columns.push_back(std::move(column));
        }
    }
    c.options = r.strings("options");
    c.geometry = r.geometry();
    c.events = r.events();
    r.finish();

    if (c.itemIndex && (*c.itemIndex < -1 || *c.itemIndex >= static_cast<int>(c.items.size())))
        fail(kBadValue, r.at("itemIndex") + ": fora da lista de itens");
    if (c.maxLength && *c.maxLength < 0) fail(kBadValue, r.at("maxLength") + ": não pode ser negativo");
    if (c.field && !c.dataSource) fail(kMissing, r.path() + ": um campo exige a fonte de dados");
    if (!c.columns.empty() && !c.dataSource) fail(kMissing, r.path() + ": colunas exigem a fonte de dados");
    return c;
}

FieldDef readField(const json& value, const std::string& path) {
    ObjectReader r(value, path);
    FieldDef f;
    f.name = r.string("name");
    r.setPath(path + " (" + f.name + ")");
    f.size = r.integer("size");
    if (f.size <= 0) fail(kBadValue, r.at("size") + ": o tamanho deve ser positivo");
    f.label = r.stringOr("label", "");
    f.visible = r.booleanOr("visible", true);
    f.required = r.booleanOr("required", false);
    f.fixedChar = r.booleanOr("fixedChar", false);
    f.displayWidth = r.integerOr("displayWidth", 0);
    f.editMask = r.stringOr("editMask", "");
    f.control = r.stringOr("control", "");
    f.origin = r.stringOr("origin", "");
    f.events = r.events();
    r.finish();
    return f;
}

void readFields(ObjectReader& r, FieldList& list) {
    const json& fields = r.array("fields");
    std::set<std::string, std::less<>> names;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        FieldDef f = readField(fields[i], r.at("fields") + "[" + std::to_string(i) + "]");
        if (!names.insert(f.name).second)
            fail(kDuplicate, r.at("fields") + ": campo repetido " + named(f.name));
        list.fields.push_back(std::move(f));
    }
}

DataSetDef readDataSet(const json& value, std::size_t index) {
    ObjectReader r(value, indexed("dataSets", index));
    DataSetDef d;
    d.name = r.string("name");
    r.setPath(indexed("dataSets", index, d.name));
    d.provider = r.stringOr("provider", "");
    d.connection = r.stringOr("connection", "");
    d.indexName = r.stringOr("indexName", "");
    d.indexFields = r.stringOr("indexFields", "");
    d.filledBy = r.strings("filledBy");
    d.events = r.events();
    readFields(r, d);
    r.finish();
    return d;
}

DataSourceDef readDataSource(const json& value, std::size_t index) {
    ObjectReader r(value, indexed("dataSources", index));
    DataSourceDef d;
    d.name = r.string("name");
    r.setPath(indexed("dataSources", index, d.name));
    d.dataSet = r.string("dataSet");
    d.inherited = r.booleanOr("inherited", false);
    d.events = r.events();
    r.finish();
    return d;
}

QueryDef readQuery(const json& value, std::size_t index) {
    ObjectReader r(value, indexed("queries", index));
    QueryDef q;
    q.name = r.string("name");
    r.setPath(indexed("queries", index, q.name));
    q.table = r.stringOr("table", "");
    q.readOnly = r.booleanOr("readOnly", true);
    q.cursorLocation = r.stringOr("cursorLocation", "");
    q.cursorType = r.stringOr("cursorType", "");
    q.parameters = r.strings("parameters");
    q.sql = r.requiredStrings("SQL");
    q.sqlOracle = r.strings("SQL_ORACLE");
    q.sqlMssql = r.strings("SQL_MSSQL");
    q.sqlIb = r.strings("SQL_IB");
    readFields(r, q);
    r.finish();
    return q;
}

std::vector<std::vector<std::string>> readRows(ObjectReader& r, const char* key, std::size_t maxCells) {
    const json& rows = r.array(key);
    std::vector<std::vector<std::string>> out;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string path = r.at(key) + "[" + std::to_string(i) + "]";
        const json& row = rows[i];
        if (!row.is_array() || row.empty() || row.size() > maxCells)
            fail(kBadValue, path + ": esperado uma lista de 1 a " + std::to_string(maxCells) + " nomes");
        std::vector<std::string> cells;
        for (const auto& cell : row) {
            if (cell.is_null())
                cells.emplace_back();
            else if (cell.is_string())
                cells.push_back(cell.get<std::string>());
            else
                fail(kBadValue, path + ": esperado nome de controle ou null");
        }
        out.push_back(std::move(cells));
    }
    return out;
}

Arrangement readArrangement(const json& value) {
    ObjectReader r(value, "arrangement");
    Arrangement a;
    {
        ObjectReader lr(r.require("layout"), r.at("layout"));
        auto& l = a.layout;
        l.container = lr.string("container");
        l.top = lr.integer("top");
        l.rowHeight = lr.integer("rowHeight");
        const json& columns = lr.array("columns");
        for (const auto& column : columns) {
            if (!column.is_number_integer())
                fail(kBadValue, lr.at("columns") + ": esperado números inteiros");
            l.columns.push_back(column.get<int>());
        }
        if (l.columns.empty()) fail(kBadValue, lr.at("columns") + ": ao menos uma coluna");
        l.lowerGap = lr.integer("lowerGap");
        l.rowGap = lr.integer("rowGap");
        l.besideLeft = lr.integer("besideLeft");
        l.bottomMargin = lr.integer("bottomMargin");
        if (l.rowHeight <= 0) fail(kBadValue, lr.at("rowHeight") + ": deve ser positivo");
        lr.finish();
    }
    const auto readKind = [&](const char* key) {
        ObjectReader kr(r.require(key), r.at(key));
        KindArrangement k;
        k.upper = readRows(kr, "upper", a.layout.columns.size());
        k.lower = readRows(kr, "lower", 2);
        kr.finish();
        return k;
    };
    a.entrada = readKind("E");
    a.saida = readKind("S");
    r.finish();
    return a;
}

FormDef readForm(const json& value) {
    ObjectReader r(value, "form");
    FormDef f;
    f.name = r.string("name");
    f.className = r.string("class");
    f.baseClass = r.stringOr("baseClass", "");
    f.caption = r.string("caption");
    f.screenCode = r.string("screenCode");
    f.formStyle = r.stringOr("formStyle", "");
    f.helpContext = r.integerOr("helpContext", 0);
    f.helpFile = r.stringOr("helpFile", "");
    f.activeControl = r.stringOr("activeControl", "");
    f.geometry = r.geometry();
    f.events = r.events();
    r.finish();
    return f;
}

ConnectionDef readConnection(const json& value) {
    ObjectReader r(value, "connection");
    ConnectionDef c;
    c.name = r.string("name");
    c.className = r.string("class");
    c.serverName = r.string("serverName");
    c.throwException = r.booleanOr("throwException", true);
    c.events = r.events();
    r.finish();
    return c;
}

// Cross-references: everything a name points at must exist and be of the right kind.
void validate(const Definition& d) {
    std::set<std::string, std::less<>> components;
    const auto claim = [&](const std::string& name, const std::string& where) {
        if (!components.insert(name).second)
            fail(kDuplicate, where + ": nome de componente repetido " + named(name));
    };
    claim(d.form.name, "form");
    claim(d.connection.name, "connection");
    for (const auto& [name, lines] : d.catalogues)
        claim(name, "catalogues");
    for (const auto& ds : d.dataSets)
        claim(ds.name, "dataSets");
    for (const auto& ds : d.dataSources)
        claim(ds.name, "dataSources");
    for (const auto& q : d.queries)
        claim(q.name, "queries");

    std::set<std::string, std::less<>> earlier; // controls already seen: a parent comes first
    for (std::size_t i = 0; i < d.controls.size(); ++i) {
        const Control& c = d.controls[i];
        const std::string where = indexed("controls", i, c.name);
        claim(c.name, where);
        if (!c.parent.empty()) {
            const Control* parent = d.findControl(c.parent);
            if (!parent) fail(kDangling, where + ".parent: " + named(c.parent) + " não existe");
            if (!parent->isContainer())
                fail(kWrongKind,
                     where + ".parent: " + named(c.parent) + " (" + parent->type + ") não é um contêiner");
            if (c.type == "TTabSheet" && parent->type != "TPageControl")
                fail(kWrongKind, where + ".parent: uma página pertence a um TPageControl");
            if (!earlier.contains(c.parent))
                fail(kWrongKind, where + ".parent: o contêiner " + named(c.parent) + " deve vir antes");
        }
        earlier.insert(c.name);
        if (c.dataSource) {
            const FieldList* fields = d.fieldsOf(*c.dataSource);
            if (!fields) fail(kDangling, where + ".dataSource: " + named(*c.dataSource) + " não existe");
            if (c.field && !fields->findField(*c.field))
                fail(kDangling,
                     where + ".field: " + named(*c.field) + " não é campo de " + named(*c.dataSource));
            for (const auto& column : c.columns)
                if (!fields->findField(column.field))
                    fail(kDangling, where + ".columns: " + named(column.field) + " não é campo de " +
                                        named(*c.dataSource));
        }
        if (c.associate && !d.findControl(*c.associate))
            fail(kDangling, where + ".associate: " + named(*c.associate) + " não existe");
        if (c.searchDataSource && !d.findDataSource(*c.searchDataSource))
            fail(kDangling, where + ".searchDataSource: " + named(*c.searchDataSource) + " não existe");
    }

    for (const auto& ds : d.dataSources)
        if (!d.findDataSet(ds.dataSet) && !d.findQuery(ds.dataSet))
            fail(kDangling, "dataSources (" + ds.name + ").dataSet: " + named(ds.dataSet) + " não existe");

    for (const auto& ds : d.dataSets) {
        if (!ds.connection.empty() && ds.connection != d.connection.name)
            fail(kDangling, "dataSets (" + ds.name + ").connection: " + named(ds.connection) + " não existe");
        if (!ds.indexFields.empty() && !ds.findField(ds.indexFields))
            fail(kDangling,
                 "dataSets (" + ds.name + ").indexFields: " + named(ds.indexFields) + " não é campo");
        for (const auto& f : ds.fields) {
            if (f.control.empty()) continue;
            const std::string where = "dataSets (" + ds.name + ").fields (" + f.name + ").control";
            const Control* c = d.findControl(f.control);
            if (!c) fail(kDangling, where + ": " + named(f.control) + " não existe");
            const DataSourceDef* source = c->dataSource ? d.findDataSource(*c->dataSource) : nullptr;
            if (!source || source->dataSet != ds.name || c->field != f.name)
                fail(kWrongKind, where + ": " + named(f.control) + " não está ligado a este campo");
        }
    }

    if (!d.form.activeControl.empty() && !d.findControl(d.form.activeControl))
        fail(kDangling, "form.activeControl: " + named(d.form.activeControl) + " não existe");

    for (const auto& [name, lines] : d.catalogues) {
        std::set<std::string, std::less<>> keys;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const auto bar = lines[i].find('|');
            const std::string where = "catalogues." + name + "[" + std::to_string(i) + "]";
            if (bar == std::string::npos) fail(kBadValue, where + ": linha sem '|' entre chave e texto");
            if (!keys.insert(lines[i].substr(0, bar)).second)
                fail(kDuplicate, where + ": chave repetida " + named(lines[i].substr(0, bar)));
        }
    }

    const auto& layout = d.arrangement.layout;
    const Control* container = d.findControl(layout.container);
    if (!container)
        fail(kDangling, "arrangement.layout.container: " + named(layout.container) + " não existe");
    if (!container->isContainer()) fail(kWrongKind, "arrangement.layout.container: não é um contêiner");
    for (const Kind kind : {Kind::Entrada, Kind::Saida}) {
        const std::string where = kind == Kind::Entrada ? "arrangement.E" : "arrangement.S";
        std::set<std::string, std::less<>> placed;
        for (const auto& name : d.arrangement.of(kind).tabOrder()) {
            const Control* c = d.findControl(name);
            if (!c) fail(kDangling, where + ": " + named(name) + " não existe");
            if (c->parent != layout.container)
                fail(kWrongKind, where + ": " + named(name) + " não está em " + named(layout.container));
            if (!placed.insert(name).second)
                fail(kDuplicate, where + ": " + named(name) + " aparece duas vezes");
        }
    }
}

template <typename T> const T* findByName(const std::vector<T>& list, std::string_view name) {
    const auto it = std::find_if(list.begin(), list.end(), [&](const T& item) { return item.name == name; });
    return it == list.end() ? nullptr : &*it;
}

template <typename T>
const T& getByName(const std::vector<T>& list, std::string_view name, std::string_view what) {
    if (const T* item = findByName(list, name)) return *item;
    throw std::out_of_range(std::string(what) + " inexistente na definição da tela: " + std::string(name));
}

} // namespace

bool isKnownControlType(std::string_view type) {
    return std::find(kControlTypes.begin(), kControlTypes.end(), type) != kControlTypes.end();
}

bool isContainerType(std::string_view type) {
    return std::find(kContainerTypes.begin(), kContainerTypes.end(), type) != kContainerTypes.end();
}

bool Control::isContainer() const {
    return isContainerType(type);
}

std::string Control::handler(std::string_view event) const {
    const auto it = events.find(event);
    return it == events.end() ? std::string() : it->second;
}

const FieldDef* FieldList::findField(std::string_view name) const {
    return findByName(fields, name);
}

const FieldDef& FieldList::field(std::string_view name) const {
    return getByName(fields, name, "Campo");
}

int FieldList::fieldIndex(std::string_view name) const {
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name == name) return static_cast<int>(i);
    return -1;
}

std::vector<std::string> FieldList::fieldNames() const {
    std::vector<std::string> out;
    out.reserve(fields.size());
    for (const auto& f : fields)
        out.push_back(f.name);
    return out;
}

std::string_view dialectKey(Dialect dialect) {
    switch (dialect) {
    case Dialect::Generic:
        return "SQL";
    case Dialect::Oracle:
        return "SQL_ORACLE";
    case Dialect::MsSql:
        return "SQL_MSSQL";
    case Dialect::InterBase:
        return "SQL_IB";
    }
    return "SQL";
}

const std::vector<std::string>& QueryDef::lines(Dialect dialect) const {
    switch (dialect) {
    case Dialect::Generic:
        return sql;
    case Dialect::Oracle:
        return sqlOracle;
    case Dialect::MsSql:
        return sqlMssql;
    case Dialect::InterBase:
        return sqlIb;
    }
    return sql;
}

std::string QueryDef::text(Dialect dialect) const {
    std::string out;
    const auto& source = lines(dialect);
    for (std::size_t i = 0; i < source.size(); ++i) {
        if (i > 0) out += '\n';
        out += source[i];
    }
    return out;
}

std::string QueryDef::effectiveText(Dialect dialect) const {
    return text(hasText(dialect) ? dialect : Dialect::Generic);
}

std::vector<std::string> KindArrangement::tabOrder() const {
    std::vector<std::string> out;
    for (const auto& row : upper)
        if (!row[0].empty()) out.push_back(row[0]);
    for (const auto& row : upper)
        for (std::size_t i = 1; i < row.size(); ++i)
            if (!row[i].empty()) out.push_back(row[i]);
    for (const auto& row : lower)
        for (const auto& name : row)
            if (!name.empty()) out.push_back(name);
    return out;
}

const Placement* ArrangedLayout::find(std::string_view name) const {
    return findByName(placements, name);
}

const Control* Definition::findControl(std::string_view name) const {
    return findByName(controls, name);
}

const Control& Definition::control(std::string_view name) const {
    return getByName(controls, name, "Controle");
}

std::vector<const Control*> Definition::children(std::string_view parent) const {
    std::vector<const Control*> out;
    for (const auto& c : controls)
        if (c.parent == parent) out.push_back(&c);
    return out;
}

const DataSetDef* Definition::findDataSet(std::string_view name) const {
    return findByName(dataSets, name);
}

const DataSetDef& Definition::dataSet(std::string_view name) const {
    return getByName(dataSets, name, "Conjunto de dados");
}

const QueryDef* Definition::findQuery(std::string_view name) const {
    return findByName(queries, name);
}

const QueryDef& Definition::query(std::string_view name) const {
    return getByName(queries, name, "Consulta");
}

const DataSourceDef* Definition::findDataSource(std::string_view name) const {
    return findByName(dataSources, name);
}

const DataSourceDef& Definition::dataSource(std::string_view name) const {
    return getByName(dataSources, name, "Fonte de dados");
}

const FieldList* Definition::fieldsOf(std::string_view dataSourceName) const {
    const DataSourceDef* source = findDataSource(dataSourceName);
    if (!source) return nullptr;
    if (const DataSetDef* ds = findDataSet(source->dataSet)) return ds;
    return findQuery(source->dataSet);
}

const std::vector<std::string>& Definition::catalogue(std::string_view name) const {
    const auto it = catalogues.find(name);
    if (it == catalogues.end())
        throw std::out_of_range("Catálogo inexistente na definição da tela: " + std::string(name));
    return it->second;
}

std::vector<HandlerBinding> Definition::handlerBindings() const {
    std::vector<HandlerBinding> out;
    const auto add = [&](const std::string& component, const EventMap& events) {
        for (const auto& [event, handler] : events)
            out.push_back({component, event, handler});
    };
    add(form.name, form.events);
    add(connection.name, connection.events);
    for (const auto& c : controls)
        add(c.name, c.events);
    for (const auto& ds : dataSets) {
        add(ds.name, ds.events);
        for (const auto& f : ds.fields)
            add(ds.name + f.name, f.events);
    }
    for (const auto& ds : dataSources)
        add(ds.name, ds.events);
    for (const auto& q : queries)
        for (const auto& f : q.fields)
            add(q.name + f.name, f.events);
    return out;
}

std::vector<std::string> Definition::handlerNames() const {
    std::set<std::string> names;
    for (const auto& binding : handlerBindings())
        names.insert(binding.handler);
    return {names.begin(), names.end()};
}

ArrangedLayout Definition::arrange(Kind kind) const {
    const auto& layout = arrangement.layout;
    const auto& rows = arrangement.of(kind);
    const auto heightOf = [&](const std::string& name) {
        const Control* c = findControl(name);
        return c && c->geometry ? c->geometry->height : layout.rowHeight - layout.rowGap;
    };

    std::map<std::string, std::pair<int, int>, std::less<>> positions;
    for (std::size_t r = 0; r < rows.upper.size(); ++r)
        for (std::size_t col = 0; col < rows.upper[r].size(); ++col)
            if (!rows.upper[r][col].empty())
                positions[rows.upper[r][col]] = {layout.columns[col],
                                                 layout.top + static_cast<int>(r) * layout.rowHeight};

    int y = layout.top + static_cast<int>(rows.upper.size()) * layout.rowHeight + layout.lowerGap;
    for (const auto& row : rows.lower) {
        int tallest = 0;
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (row[i].empty()) continue;
            positions[row[i]] = {i == 0 ? layout.columns[0] : layout.besideLeft, y};
            tallest = std::max(tallest, heightOf(row[i]));
        }
        y += std::max(layout.rowHeight, tallest + layout.rowGap);
    }

    ArrangedLayout out;
    out.containerHeight = y + layout.bottomMargin;
    int order = 0;
    for (const auto& name : rows.tabOrder()) {
        const auto& [left, top] = positions.at(name);
        out.placements.push_back({name, left, top, order++});
    }
    return out;
}

Definition parseDefinition(std::string_view jsonText) {
    json root;
    try {
        root = json::parse(jsonText.begin(), jsonText.end());
    } catch (const json::parse_error& e) {
        fail(kNotJson, std::string("JSON inválido: ") + e.what());
    }

    ObjectReader r(root, "definição");
    Definition d;
    d.version = r.integer("version");
    if (d.version != 1)
        fail(kBadValue, r.at("version") + ": versão não suportada " + std::to_string(d.version));
    d.notes = r.stringOr("notes", "");
    d.form = readForm(r.require("form"));
    d.connection = readConnection(r.require("connection"));

    const json& controls = r.array("controls");
    for (std::size_t i = 0; i < controls.size(); ++i)
        d.controls.push_back(readControl(controls[i], i));
    const json& dataSets = r.array("dataSets");
    for (std::size_t i = 0; i < dataSets.size(); ++i)
        d.dataSets.push_back(readDataSet(dataSets[i], i));
    const json& dataSources = r.array("dataSources");
    for (std::size_t i = 0; i < dataSources.size(); ++i)
        d.dataSources.push_back(readDataSource(dataSources[i], i));
    const json& queries = r.array("queries");
    for (std::size_t i = 0; i < queries.size(); ++i)
        d.queries.push_back(readQuery(queries[i], i));

    const json& catalogues = r.require("catalogues");
    ObjectReader cr(catalogues, "catalogues");
    for (const auto& [name, lines] : catalogues.items())
        d.catalogues.emplace(name, cr.requiredStrings(name.c_str()));
    cr.finish();

    d.arrangement = readArrangement(r.require("arrangement"));
    r.finish();
    validate(d);
    return d;
}

} // namespace screen
