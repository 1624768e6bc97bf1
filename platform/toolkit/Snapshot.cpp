#include "toolkit/Snapshot.h"

#include "toolkit/Control.h"
#include "toolkit/DataSet.h"
#include "toolkit/Form.h"
#include "toolkit/PageControl.h"
#include "toolkit/TabSheet.h"

namespace tk {

namespace {

nlohmann::json valueJson(const Value& value) {
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

} // namespace

nlohmann::json Snapshot::control(const Control& c) {
    nlohmann::json out = nlohmann::json::object();
    out["type"] = c.typeName();
    out["parent"] = c.parent() ? nlohmann::json(c.parent()->name()) : nlohmann::json(nullptr);
    c.describe(out);
    return out;
}

nlohmann::json Snapshot::dataSet(const DataSet& set, bool withRows) {
    nlohmann::json out = nlohmann::json::object();
    out["state"] = toString(set.state());
    const bool active = set.active();
    const int count = active ? set.recordCount() : 0;
    out["recordCount"] = count;
    out["recNo"] = active ? set.recNo() : 0;
    out["changeCount"] = active ? set.changeCount() : 0;

    const bool hasRecord = active && (count > 0 || set.isEditing());
    nlohmann::json current = nlohmann::json::object();
    nlohmann::json masks = nlohmann::json::object();
    for (const auto& field : set.fields()) {
        current[field->name()] =
            hasRecord ? valueJson(set.currentValue(field->index())) : nlohmann::json(nullptr);
        if (!field->editMask().empty()) masks[field->name()] = field->editMask();
    }
    out["current"] = std::move(current);
    out["editMasks"] = std::move(masks);

    if (withRows) {
        nlohmann::json rows = nlohmann::json::array();
        for (int row = 0; row < count; ++row) {
            nlohmann::json values = nlohmann::json::object();
            for (const auto& field : set.fields())
                values[field->name()] = valueJson(set.valueAt(row, field->index()));
            rows.push_back(std::move(values));
        }
        out["rows"] = std::move(rows);
    }
    return out;
}

nlohmann::json Snapshot::of(const Form& form, bool withRows) {
    nlohmann::json out = nlohmann::json::object();
    nlohmann::json controls = nlohmann::json::object();
    const TPageControl* firstPages = nullptr;
    for (const auto& c : form.controls()) {
        controls[c->name()] = control(*c);
        if (!firstPages) firstPages = dynamic_cast<const TPageControl*>(c.get());
    }
    out["controls"] = std::move(controls);
    out["activePage"] = firstPages && firstPages->activePage()
                            ? nlohmann::json(firstPages->activePage()->name())
                            : nlohmann::json(nullptr);
    out["focus"] =
        form.activeControl() ? nlohmann::json(form.activeControl()->name()) : nlohmann::json(nullptr);
    nlohmann::json sets = nlohmann::json::object();
    for (const auto& set : form.dataSets())
        sets[set->name()] = dataSet(*set, withRows);
    out["datasets"] = std::move(sets);
    return out;
}

} // namespace tk
