// A save or delete the server refused because another user changed or removed the record since this
// screen read it. The refused change is never left pending (the next save would send it again and be
// refused again): the user sees both versions and either keeps the other user's or applies their own
// values again onto it, as acts, so every rule of the screen runs before they confirm.

#include "shell/Toolkit.h"
#include "lib/Consiste.h"
#include "lib/Errors.h"
#include "lib/Showavi.h"
#include "shell/TfrmTipOper.h"
#include "toolkit/DBCheckBox.h"
#include "toolkit/DataControl.h"
#include "toolkit/Input.h"
#include "toolkit/ListControl.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <utility>

namespace Cli_ger06600 {

namespace {

// NULL and "" are one value for the server's comparisons, so they are one here.
std::string text(const wire::Value* value) {
    return value && *value ? **value : std::string();
}

wire::Row rowOf(const wire::DataPacket& packet, std::size_t row) {
    wire::Row out;
    for (std::size_t f = 0; f < packet.fields.size() && f < packet.rows[row].size(); ++f)
        out.values.emplace_back(packet.fields[f].name, packet.rows[row][f]);
    return out;
}

// The stored row of the packet whose fields hold these values, if any.
std::optional<wire::Row> findRow(const wire::DataPacket& packet,
                                 const std::vector<std::pair<std::string, std::string>>& key) {
    for (std::size_t r = 0; r < packet.rows.size(); ++r) {
        const wire::Row row = rowOf(packet, r);
        if (std::all_of(key.begin(), key.end(),
                        [&](const auto& k) { return text(row.find(k.first)) == k.second; }))
            return row;
    }
    return std::nullopt;
}

// Whether every field both rows carry holds the same value.
bool sameValues(const wire::Row& read, const wire::Row& stored) {
    return std::all_of(read.values.begin(), read.values.end(), [&](const auto& field) {
        const wire::Value* other = stored.find(field.first);
        return !other || text(&field.second) == text(other);
    });
}

// "2026-12-08T14:03:11Z" as a Brazilian user reads it; anything else as it came.
std::string readableTime(const std::string& at) {
    if (at.size() != 20 || at[4] != '-' || at[7] != '-' || at[10] != 'T' || at.back() != 'Z') return at;
    return at.substr(8, 2) + "/" + at.substr(5, 2) + "/" + at.substr(0, 4) + " " + at.substr(11, 8) + " UTC";
}

// The control the user changes the field with: an edit, a check box or a list bound to it (not a
// caption that only shows it).
tk::DataControl* boundControl(tk::Form& form, const tk::DataSource& source, const std::string& field) {
    tk::DataControl* shown = nullptr;
    for (const auto& control : form.controls()) {
        tk::DataControl* data = control->asData();
        if (!data || data->dataSource() != &source || data->fieldName() != field) continue;
        if (control->asText() || control->asList() || dynamic_cast<tk::TDBCheckBox*>(data)) return data;
        if (!shown) shown = data;
    }
    return shown;
}

} // namespace

std::string TfrmTipOper::fieldLabel(tk::DataSet& set, const std::string& field) {
    if (tk::Field* f = set.findField(field); f && !f->displayLabel.empty()) return f->displayLabel;
    if (&set == &cdsTipOper)
        if (tk::DataControl* control = boundControl(*this, dtsPadrao, field); control && !control->caption().empty())
            return control->caption();
    return field;
}

std::string TfrmTipOper::valueText(tk::DataSet& set, const std::string& field, const std::string& value) {
    if (&set != &cdsTipOper) return value;
    tk::DataControl* control = boundControl(*this, dtsPadrao, field);
    if (auto* box = dynamic_cast<tk::TDBCheckBox*>(control)) {
        if (value == box->valueChecked()) return msgPadrao.Msg("Sim");
        if (value == box->valueUnchecked() || value.empty()) return msgPadrao.Msg("Não");
    }
    // The coded lists show the catalogue's text of their code ("F" Fornecedor, "S" Sim).
    if (control && control->asList() && !value.empty() && msgPadrao.hasKey(value)) return msgPadrao.Msg(value);
    return value;
}

std::pair<std::string, std::string> TfrmTipOper::lastChange(const std::string& code, const std::string& kind,
                                                            const std::string& line) {
    // The history only adds who and when: a server without it, or any failure to read it, leaves the
    // dialog without them rather than hiding the conflict behind another error.
    try {
        const nlohmann::json history = serverCall("GetHistTipOper", {code, kind});
        for (const auto& entry : history.value("entries", nlohmann::json::array())) {
            const bool lineEntry = entry.value("table", "") == "MENSTIPOOPER";
            if (line.empty() ? lineEntry
                             : !lineEntry || !entry.contains("line") || !entry["line"].is_string() ||
                                   entry["line"].get<std::string>() != line)
                continue;
            return {entry.value("user", ""), readableTime(entry.value("at", ""))};
        }
    } catch (const lib::ServerError&) {
    } catch (const nlohmann::json::exception&) {
    }
    return {};
}

tk::ConflictChoice TfrmTipOper::askConflict(tk::DataSet& set, const PendingChange& mine,
                                            const std::optional<wire::Row>& theirs, bool line) {
    tk::ConflictDialog dialog;
    dialog.removed = !theirs;
    const std::string key = line ? (theirs ? "Conflito_Mens" : "Conflito_MensExc") : (theirs ? "Conflito" : "Conflito_Exc");
    dialog.key = key;
    dialog.text = msgTrabalho.Msg(key);
    const wire::Row& read = mine.change.oldRow;
    const bool deleting = mine.change.op == wire::ChangeOp::Delete;
    for (const auto& field : set.fields()) {
        const std::string& name = field->name();
        const std::string before = text(read.find(name));
        const std::string my = deleting ? before : text(mine.change.newRow.find(name));
        const std::string their = theirs ? text(theirs->find(name)) : std::string();
        // With both versions at hand, what differs between them; with theirs gone, what I changed.
        // Compared as shown: an unchecked box writes "N" where nothing was stored, which is no change.
        auto shown = [&](const std::string& value) { return valueText(set, name, value); };
        const bool differs =
            theirs ? (deleting ? shown(their) != shown(before) : shown(my) != shown(their)) : shown(my) != shown(before);
        if (!differs) continue;
        dialog.fields.push_back({name, fieldLabel(set, name),
                                 deleting ? msgTrabalho.Msg("Excluido") : valueText(set, name, my),
                                 theirs ? valueText(set, name, their) : msgTrabalho.Msg("Excluido")});
    }
    std::tie(dialog.changedBy, dialog.changedAt) = lastChange(mine.code, mine.kind, line ? mine.line : std::string());
    auto& app = tk::Application::current();
    app.shown().push_back(dialog.text);
    return app.dialogs().conflict(dialog);
}

void TfrmTipOper::reapply(tk::DataSet& set, const wire::Row& mine, bool line) {
    std::vector<std::string> missed;
    std::string first;
    for (const auto& [name, value] : mine.values) {
        tk::Field* field = set.findField(name);
        if (!field || text(&value) == field->asString()) continue;
        tk::InputResult result = tk::InputResult::refused(tk::refusal::WrongKind, name);
        if (line) {
            // A cell's text reaches its field when the user leaves the column.
            if (field->visible && tk::Input::gridType(*this, "dbgMensagem", name, text(&value)).ok())
                result = tk::Input::gridFocus(*this, "dbgMensagem", name == "CDMENSAGEM" ? "DSMENSAGEM" : "CDMENSAGEM");
        } else if (tk::DataControl* control = boundControl(*this, dtsPadrao, name); control && !control->readOnly()) {
            if (auto* box = dynamic_cast<tk::TDBCheckBox*>(control)) {
                if (box->checked() != (text(&value) == box->valueChecked()))
                    result = tk::Input::click(*this, control->name());
            } else if (tk::ListControl* list = control->asList()) {
                const auto& items = list->items();
                const auto at = std::find(items.begin(), items.end(), valueText(set, name, text(&value)));
                if (at != items.end())
                    result = tk::Input::pick(*this, control->name(), static_cast<int>(at - items.begin()));
            } else if (control->asText()) {
                result = tk::Input::type(*this, control->name(), text(&value));
            }
            if (result.ok() && first.empty()) first = control->name();
        }
        (void)result;
    }
    // The rules run when the focus leaves the last field typed, as when the user moves on.
    if (!first.empty()) (void)tk::Input::focus(*this, first);
    // The control left with the focus keeps its typed text until it is left; its field must hold the
    // text before the values are compared (confirming writes it back the same way).
    if (auto* active = dynamic_cast<tk::DataControl*>(activeControl())) active->updateData();
    // What the screen's rules did not let through, or what no act reaches, the user sees before
    // confirming.
    for (const auto& [name, value] : mine.values) {
        tk::Field* field = set.findField(name);
        if (!field || valueText(set, name, text(&value)) == valueText(set, name, field->asString())) continue;
        // Names shown beside a code follow the code; they are no value of the user's.
        if (tk::DataControl* control = line ? nullptr : boundControl(*this, dtsPadrao, name); control && control->readOnly())
            continue;
        missed.push_back(fieldLabel(set, name) + ": " + valueText(set, name, text(&value)));
    }
    if (missed.empty()) return;
    std::string message = msgTrabalho.Msg("Nao_Reaplicado");
    for (const auto& m : missed)
        message += "\n" + m;
    Consiste::MensErro(message, false);
}

void TfrmTipOper::resolveConflict(const ConflictTarget& target, const wire::ChangePacket& refused) {
    nlohmann::json stored = target.fetch();
    wire::DataPacket theirsAll = wire::dataPacketFromJson(stored);
    auto keyOf = [&](const wire::Row& row) {
        std::vector<std::pair<std::string, std::string>> key;
        for (const auto& field : target.keyFields)
            key.emplace_back(field, text(row.find(field)));
        return key;
    };

    // Only a change whose row differs from the stored one, or is gone, is in conflict. The others were
    // refused only because they travelled in the same packet: they are sent again on their own.
    std::vector<PendingChange> conflicts;
    wire::ChangePacket clean;
    for (const auto& change : refused.changes) {
        const bool insert = change.op == wire::ChangeOp::Insert;
        const auto theirs = insert ? std::nullopt : findRow(theirsAll, keyOf(change.oldRow));
        if (!insert && (!theirs || !sameValues(change.oldRow, *theirs)))
            conflicts.push_back({change, {}, {}, {}});
        else
            clean.changes.push_back(change);
    }
    // The server saw a conflict this screen cannot place: every change that compared with a stored
    // row is shown, none is sent again.
    if (conflicts.empty()) {
        for (const auto& change : std::exchange(clean.changes, {})) {
            if (change.op != wire::ChangeOp::Insert)
                conflicts.push_back({change, {}, {}, {}});
            else
                clean.changes.push_back(change);
        }
    }
    for (auto& conflict : conflicts) {
        const wire::Row& row = conflict.change.oldRow;
        if (const wire::Value* code = row.find("CDTIPOOPER"); code && *code) conflict.code = **code;
        if (const wire::Value* kind = row.find("IDENTRSAIDOP"); kind && *kind) conflict.kind = **kind;
        if (const wire::Value* number = row.find("NRMENSTPOPER"); number && *number) conflict.line = **number;
    }

    // From here the dataset shows what is stored: the refused changes are no longer pending.
    if (!clean.changes.empty()) {
        // Loaded first, so a failure of this send leaves no refused change pending either.
        target.load(stored);
        target.send(clean);
        stored = target.fetch();
        theirsAll = wire::dataPacketFromJson(stored);
    }
    target.load(stored);
    // The toolbar follows the list as it is now, so the ways out below act as the user's own clicks.
    ControlaBotoes();

    for (std::size_t i = 0; i < conflicts.size(); ++i) {
        const PendingChange& mine = conflicts[i];
        const auto theirs = findRow(theirsAll, keyOf(mine.change.oldRow));
        if (theirs) {
            std::vector<std::string> values;
            for (const auto& [field, value] : keyOf(*theirs))
                values.push_back(value);
            std::string fields;
            for (const auto& field : target.keyFields)
                fields += (fields.empty() ? "" : ";") + field;
            target.set.locate(fields, values);
        }
        if (askConflict(target.set, mine, theirs, target.line) != tk::ConflictChoice::Mine) continue;

        // Only one record can be edited at a time: further conflicts of the same refusal keep theirs,
        // and the user is told which.
        if (i + 1 < conflicts.size()) {
            std::string others;
            for (std::size_t j = i + 1; j < conflicts.size(); ++j)
                others += (others.empty() ? "" : ", ") + (target.line ? conflicts[j].line : conflicts[j].code);
            Consiste::MensErro(msgTrabalho.Msg("Conflito_Outros") + " " + others, false);
        }
        if (mine.change.op == wire::ChangeOp::Delete) {
            // Deleting again asks again: the user saw what the other user changed.
            if (theirs) (void)tk::Input::click(*this, "sbtExcluir");
            return;
        }
        (void)tk::Input::click(*this, theirs ? "sbtAlterar" : "sbtIncluir");
        // Onto their version goes only what I changed; a record they removed takes all of mine.
        wire::Row values;
        for (const auto& [name, value] : mine.change.newRow.values) {
            const wire::Value* before = mine.change.oldRow.find(name);
            if (!theirs || valueText(target.set, name, text(&value)) != valueText(target.set, name, text(before)))
                values.values.emplace_back(name, value);
        }
        if (target.set.isEditing()) reapply(target.set, values, target.line);
        return;
    }
}

} // namespace Cli_ger06600
