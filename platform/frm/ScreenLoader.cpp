#include "frm/ScreenLoader.h"

#include "frm/FrmPadrao.h"
#include "screen/ScreenDefinition.h"
#include "toolkit/ControlKinds.h"

#include <stdexcept>

namespace frm {

namespace {

[[noreturn]] void unfit(const std::string& what) {
    throw std::invalid_argument("a definição da tela não serve: " + what);
}

void addFields(tk::DataSet& set, const std::vector<screen::FieldDef>& fields) {
    for (const auto& f : fields) {
        auto& field = set.addField(f.name, f.size, f.label, f.visible);
        field.required = f.required;
        if (!f.editMask.empty()) field.setEditMask(f.editMask);
    }
}

void buildDataSets(TfrmPadrao& form, const screen::Definition& d) {
    for (const auto& def : d.dataSets) {
        auto& set = form.addDataSet(def.name);
        addFields(set, def.fields);
        if (!def.indexFields.empty()) set.setIndexFieldName(def.indexFields);
    }
    for (const auto& def : d.dataSources) {
        tk::DataSet* set = form.dataSet(def.dataSet);
        if (!set) {
            // The rows of a local query reach its data source through a dataset of the query's name.
            const screen::QueryDef* query = d.findQuery(def.dataSet);
            if (!query) unfit("a fonte de dados " + def.name + " mostra " + def.dataSet + ", que não existe");
            set = &form.addDataSet(query->name);
            addFields(*set, query->fields);
        }
        if (def.inherited) {
            tk::DataSource* source = form.dataSource(def.name);
            if (!source) unfit("componente herdado ausente: " + def.name);
            source->setDataSet(set);
        } else {
            form.addDataSource(def.name, set);
        }
    }
}

// The properties of one control, in an order that lets each find what it needs: items before the
// index, values before the binding, the data source before its field.
void applyProperties(const tk::ControlKind& kind, tk::Control& control, const screen::Control& c) {
    auto set = [&](const char* property, tk::PropertyValue value) { kind.set(control, property, value); };
    if (c.caption) set("caption", *c.caption);
    if (c.text) set("text", *c.text);
    if (c.enabled) set("enabled", *c.enabled);
    if (c.visible) set("visible", *c.visible);
    if (c.color) set("color", *c.color);
    if (c.hint) set("hint", *c.hint);
    if (c.tabStop) set("tabStop", *c.tabStop);
    if (c.geometry)
        set("bounds", tk::Bounds{c.geometry->left, c.geometry->top, c.geometry->width, c.geometry->height});
    if (!c.items.empty()) set("items", c.items);
    if (c.itemIndex) set("itemIndex", *c.itemIndex);
    if (c.checked) set("checked", *c.checked);
    if (c.valueChecked) set("valueChecked", *c.valueChecked);
    if (c.valueUnchecked) set("valueUnchecked", *c.valueUnchecked);
    if (c.readOnly) set("readOnly", *c.readOnly);
    if (c.maxLength) set("maxLength", *c.maxLength);
    if (!c.columns.empty()) {
        std::vector<tk::GridColumn> columns;
        for (const auto& col : c.columns)
            columns.push_back({col.field, col.title, col.width});
        set("columns", std::move(columns));
    }
    if (!c.options.empty()) set("options", c.options);
    if (c.title) set("title", *c.title);
    if (c.emptyError) set("emptyError", *c.emptyError);
    if (c.searchDataSource) set("searchDataSource", *c.searchDataSource);
    if (c.dataSource) set("dataSource", *c.dataSource);
    if (c.field) set("field", *c.field);
    // The combo style and the alignment are presentation the screen model does not use.
}

void buildControls(TfrmPadrao& form, const screen::Definition& d) {
    // Containers come before their children in the definition, so one pass builds the tree.
    for (const auto& c : d.controls) {
        tk::Control* control = nullptr;
        if (c.inherited) {
            control = form.control(c.name);
            if (!control) unfit("componente herdado ausente: " + c.name);
        } else {
            tk::Control* parent = c.parent.empty() ? nullptr : form.control(c.parent);
            control = &form.createControl(c.type, c.name, parent);
        }
        applyProperties(tk::ControlKinds::of(*control), *control, c);
    }
    // An associated control may come later in the definition than the control naming it.
    for (const auto& c : d.controls)
        if (c.associate) {
            tk::Control& control = *form.control(c.name);
            tk::ControlKinds::of(control).set(control, "associate", *c.associate);
        }
}

class Binder {
public:
    Binder(TfrmPadrao& form, const tk::Handlers& handlers) : form_(form), handlers_(handlers) {}

    void bind(const std::string& component, const screen::EventMap& events,
              const std::function<std::optional<tk::EventSlot>(std::string_view)>& slotOf) {
        for (const auto& [event, handler] : events) {
            const auto slot = slotOf(event);
            if (!slot) unfit(component + " não tem o evento " + event);
            const tk::Handlers::Entry* entry = handlers_.find(handler);
            if (!entry) continue; // listed by unboundHandlers()
            if (!entry->bind(form_, *slot))
                unfit("o tratador " + handler + " não recebe os argumentos do evento " + event + " de " +
                      component);
        }
    }

private:
    TfrmPadrao& form_;
    const tk::Handlers& handlers_;
};

void bindEvents(TfrmPadrao& form, const screen::Definition& d, const tk::Handlers& handlers,
                const ExtraEvents& extra) {
    Binder binder(form, handlers);
    binder.bind(d.form.name, d.form.events, [&](std::string_view e) { return tk::eventOf(form, e); });
    for (const auto& c : d.controls) {
        tk::Control& control = *form.control(c.name);
        const tk::ControlKind& kind = tk::ControlKinds::of(control);
        binder.bind(c.name, c.events, [&](std::string_view e) { return kind.event(control, e); });
    }
    auto bindFields = [&](tk::DataSet& set, const std::vector<screen::FieldDef>& fields) {
        for (const auto& f : fields) {
            tk::Field& field = set.fieldByName(f.name);
            binder.bind(set.name() + f.name, f.events,
                        [&](std::string_view e) { return tk::eventOf(field, e); });
        }
    };
    for (const auto& def : d.dataSets) {
        tk::DataSet& set = *form.dataSet(def.name);
        binder.bind(def.name, def.events, [&](std::string_view e) { return tk::eventOf(set, e); });
        bindFields(set, def.fields);
    }
    for (const auto& q : d.queries)
        if (tk::DataSet* rows = form.dataSet(q.name)) bindFields(*rows, q.fields);
    for (const auto& def : d.dataSources) {
        tk::DataSource& source = *form.dataSource(def.name);
        binder.bind(def.name, def.events, [&](std::string_view e) { return tk::eventOf(source, e); });
    }
    const auto connection = extra.find(d.connection.name);
    binder.bind(d.connection.name, d.connection.events,
                [&](std::string_view e) -> std::optional<tk::EventSlot> {
                    if (connection == extra.end()) return std::nullopt;
                    const auto it = connection->second.find(e);
                    if (it == connection->second.end()) return std::nullopt;
                    return it->second;
                });
}

} // namespace

void buildScreen(TfrmPadrao& form, const screen::Definition& d, const tk::Handlers& handlers,
                 const ExtraEvents& extra) {
    form.setCaption(d.form.caption);
    form.lblCodTela.setCaption(d.form.screenCode);
    if (const auto it = d.catalogues.find("msgPadrao"); it != d.catalogues.end())
        form.msgPadrao.setLines(it->second);
    buildDataSets(form, d);
    buildControls(form, d);
    // Last: nothing set above may run a handler of a screen still being built.
    bindEvents(form, d, handlers, extra);
    form.guardWrites();
}

std::vector<std::string> unboundHandlers(const screen::Definition& definition, const tk::Handlers& handlers) {
    std::vector<std::string> missing;
    for (const auto& name : definition.handlerNames())
        if (!handlers.find(name)) missing.push_back(name);
    return missing;
}

} // namespace frm
