// The message lines of the current operation type: each posted or deleted line reaches the server
// at once, one line at a time.

#include "shell/Toolkit.h"
#include "lib/Consiste.h"
#include "lib/Errors.h"
#include "lib/Showavi.h"
#include "wire/Rpc.h"
#include "shell/TfrmTipOper.h"

#include <nlohmann/json.hpp>

namespace Cli_ger06600 {

namespace {

// The current line as it was read from the server, taken from the change log: the server compares it
// with the stored line, so a line another user changed meanwhile is refused instead of overwritten.
// A new line has nothing to compare ({}); a line posted unchanged is as it was read.
nlohmann::json lineAsRead(tk::DataSet& lines) {
    nlohmann::json row = nlohmann::json::object();
    const std::string number = lines.fieldByName("NRMENSTPOPER").asString();
    if (number.empty()) return row;
    for (const auto& change : lines.changePacket().changes) {
        const auto* nr = change.op == wire::ChangeOp::Modify ? change.oldRow.find("NRMENSTPOPER") : nullptr;
        if (!nr || !*nr || **nr != number) continue;
        for (const auto& [name, value] : change.oldRow.values)
            row[name] = value ? nlohmann::json(*value) : nlohmann::json(nullptr);
        return row;
    }
    for (const auto& field : lines.fields())
        row[field->name()] = field->isNull() ? nlohmann::json(nullptr) : nlohmann::json(field->asString());
    return row;
}

wire::Row currentLine(tk::DataSet& lines) {
    wire::Row row;
    for (const auto& field : lines.fields())
        row.values.emplace_back(field->name(), field->value());
    return row;
}

wire::Row asRow(const nlohmann::json& object) {
    wire::Row row;
    for (const auto& [name, value] : object.items())
        row.values.emplace_back(name, value.is_string() ? wire::Value(value.get<std::string>()) : std::nullopt);
    return row;
}

} // namespace

TfrmTipOper::ConflictTarget TfrmTipOper::lineTarget() {
    const std::string code = cdsTipOper.fieldByName("CDTIPOOPER").asString();
    const std::string kind = cdsTipOper.fieldByName("IDENTRSAIDOP").asString();
    return {cdsMensTipoOper,
            {"NRMENSTPOPER"},
            true,
            [this, code, kind] { return serverCall("GetMensTipoOper", {code, kind}); },
            [this](const nlohmann::json& stored) {
                dbgMensagem->setOption("dgEditing", false);
                assignPacket(cdsMensTipoOper, stored);
            },
            [this, code, kind](const wire::ChangePacket& packet) {
                for (const auto& change : packet.changes) {
                    auto value = [&](const char* field) {
                        const wire::Row& row = change.op == wire::ChangeOp::Delete ? change.oldRow : change.newRow;
                        const wire::Value* v = row.find(field);
                        return v && *v ? **v : std::string();
                    };
                    if (change.op == wire::ChangeOp::Delete) {
                        serverCall("SetMensTipOper", {value("NRMENSTPOPER"), code, kind, "", "", "D",
                                                      wire::toJson(wire::ChangePacket{{change}}), nlohmann::json::object()});
                        continue;
                    }
                    nlohmann::json read = nlohmann::json::object();
                    for (const auto& [name, v] : change.oldRow.values)
                        read[name] = v ? nlohmann::json(*v) : nlohmann::json(nullptr);
                    serverCall("SetMensTipOper", {change.op == wire::ChangeOp::Insert ? std::string() : value("NRMENSTPOPER"),
                                                  code, kind, value("CDMENSAGEM"), value("DSMENSAGEM"), "C", "", read});
                }
            }};
}

void TfrmTipOper::cdsMensTipoOperNewRecord(tk::DataSet&) {
    cdsMensTipoOper.fieldByName("CDTIPOOPER").setValue(cdsTipOper.fieldByName("CDTIPOOPER").value());
    cdsMensTipoOper.fieldByName("IDENTRSAIDOP").setValue(cdsTipOper.fieldByName("IDENTRSAIDOP").value());
}

void TfrmTipOper::dbgMensagemKeyPress(tk::Component&, char& Key) {
    // The code column takes digits only (and backspace to correct them).
    if (dbgMensagem->selectedField() == "CDMENSAGEM" && !(Key >= '0' && Key <= '9') && Key != '\b') Key = 0;
}

void TfrmTipOper::dbgMensagemKeyDown(tk::Component&, std::uint16_t& Key, tk::ShiftState Shift) {
    if (Shift.alt && Key == tk::keys::PageDown) {
        dbgMensagem->setFocus();
        Key = 0;
    }
}

void TfrmTipOper::dbgMensagemColExit(tk::Component&) {
    if (cdsMensTipoOper.isEditing()) Vd_Mensagem(false);
}

void TfrmTipOper::Vd_Mensagem(bool boTestaVazio) {
    const std::string text = Consiste::GridText(*dbgMensagem, "CDMENSAGEM", false);
    tk::Field& code = cdsMensTipoOper.fieldByName("CDMENSAGEM");
    if (!Consiste::EmptyString(text)) {
        code.setAsString(Consiste::Ajusta(code.asString(), 3));
        return;
    }
    if (boTestaVazio) {
        code.focusControl();
        Consiste::MensErro(msgPadrao.Msg("Cod_Inf"), true);
    }
}

void TfrmTipOper::Vd_Descricao(bool boTestaVazio) {
    const std::string text = Consiste::GridText(*dbgMensagem, "DSMENSAGEM", false);
    if (Consiste::EmptyString(text) && boTestaVazio) {
        cdsMensTipoOper.fieldByName("DSMENSAGEM").focusControl();
        Consiste::MensErro(msgPadrao.Msg("Desc_Mens"), true);
    }
}

void TfrmTipOper::cdsMensTipoOperBeforePost(tk::DataSet&) {
    if (!cdsMensTipoOper.isEditing()) return;
    Vd_Mensagem(true);
    Vd_Descricao(true);
}

void TfrmTipOper::cdsMensTipoOperAfterPost(tk::DataSet&) {
    auto line = [this](const char* field) { return cdsMensTipoOper.fieldByName(field).asString(); };
    // A failure leaves the line posted locally with its change pending, and the grid editable.
    const nlohmann::json read = lineAsRead(cdsMensTipoOper);
    try {
        Showavi::Wait wait(this, 1, msgPadrao.Msg("Atual_Server"));
        serverCall("SetMensTipOper", {line("NRMENSTPOPER"), cdsTipOper.fieldByName("CDTIPOOPER").asString(),
                                      cdsTipOper.fieldByName("IDENTRSAIDOP").asString(), line("CDMENSAGEM"),
                                      line("DSMENSAGEM"), "C", "", read});
    } catch (const lib::ServerError& e) {
        if (e.code() != wire::rpc::kConflict) throw;
        // Only this line was sent: the line as read and as posted are the whole refused change.
        wire::Change change{read.empty() ? wire::ChangeOp::Insert : wire::ChangeOp::Modify, asRow(read),
                            currentLine(cdsMensTipoOper)};
        resolveConflict(lineTarget(), wire::ChangePacket{{change}});
        ControlaBotoes();
        return;
    }
    if (cdsMensTipoOper.logChanges()) cdsMensTipoOper.mergeChangeLog();
    dbgMensagem->setOption("dgEditing", false);
    sbtVerificarClick(*this);
    ControlaBotoes();
}

void TfrmTipOper::cdsMensTipoOperAfterDelete(tk::DataSet&) {
    if (cdsMensTipoOper.changeCount() <= 0) return;
    // The line current after the deletion gives the number, code and text; none when the list is empty.
    auto line = [this](const char* field) {
        return cdsMensTipoOper.isEmpty() ? std::string() : cdsMensTipoOper.fieldByName(field).asString();
    };
    const wire::ChangePacket packet = cdsMensTipoOper.changePacket();
    try {
        Showavi::Wait wait(this, 1, msgPadrao.Msg("Atual_Server"));
        serverCall("SetMensTipOper", {line("NRMENSTPOPER"), cdsTipOper.fieldByName("CDTIPOOPER").asString(),
                                      cdsTipOper.fieldByName("IDENTRSAIDOP").asString(), line("CDMENSAGEM"),
                                      line("DSMENSAGEM"), "D", wire::toJson(packet), nlohmann::json::object()});
    } catch (const lib::ServerError& e) {
        if (e.code() != wire::rpc::kConflict) throw;
        // The packet's deletes are the refused ones; edits of lines travel one by one and are not in it.
        wire::ChangePacket deletes;
        for (const auto& change : packet.changes)
            if (change.op == wire::ChangeOp::Delete) deletes.changes.push_back(change);
        resolveConflict(lineTarget(), deletes);
        ControlaBotoes();
        return;
    }
    if (cdsMensTipoOper.logChanges()) cdsMensTipoOper.mergeChangeLog();
}

void TfrmTipOper::cdsMensTipoOperAfterCancel(tk::DataSet&) { dbgMensagem->setOption("dgEditing", false); }

} // namespace Cli_ger06600
