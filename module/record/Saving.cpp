// Confirm, delete and cancel, and the two events that send the record's changes to the server.

#include "shell/Toolkit.h"
#include "lib/Consiste.h"
#include "lib/Morvala.h"
#include "lib/Errors.h"
#include "lib/Messages.h"
#include "lib/Showavi.h"
#include "wire/Rpc.h"
#include "shell/TfrmTipOper.h"

#include <nlohmann/json.hpp>

namespace Cli_ger06600 {

namespace {
bool editing(const tk::DataSet& set) { return set.isEditing(); }
} // namespace

void TfrmTipOper::sbtConfirmarClick(tk::Component& Sender) {
    if (pgcPadrao.activePage() != tshMensagem) {
        frm::TfrmPadrao::sbtConfirmarClick(Sender);
        return;
    }
    if (editing(cdsMensTipoOper)) cdsMensTipoOper.post();
    ControlaBotoes();
}

void TfrmTipOper::sendRecordPacket(const wire::ChangePacket& packet) {
    Showavi::Wait wait(this, 1, msgPadrao.Msg("Atual_Server"));
    // The empty-field list travels by reference; the screen does not read back what the server
    // leaves in it.
    Consiste::CheckResultServ(netTipOper.AppServer("SetTipOper", {wire::toJson(packet), stCampoNull}), true, 0);
}

bool TfrmTipOper::sendRecordChanges() {
    const wire::ChangePacket packet = cdsTipOper.changePacket();
    try {
        sendRecordPacket(packet);
    } catch (const lib::ServerError& e) {
        if (e.code() != wire::rpc::kConflict) throw;
        resolveConflict(recordTarget(), packet);
        ControlaBotoes();
        return false;
    }
    if (cdsTipOper.logChanges()) cdsTipOper.mergeChangeLog();
    Morvala::AtualizaLocalCache({"TIPOOPERAC"});
    return true;
}

TfrmTipOper::ConflictTarget TfrmTipOper::recordTarget() {
    return {cdsTipOper,
            {"IDENTRSAIDOP", "CDTIPOOPER"},
            false,
            [this] {
                Showavi::Wait wait(this, 6, msgPadrao.Msg("Verif_Server"));
                return serverCall("GetTipOper", {GetEntSaid()});
            },
            [this](const nlohmann::json& stored) {
                assignPacket(cdsTipOper, stored);
                HabilitaGeraNFTrans();
            },
            [this](const wire::ChangePacket& packet) {
                sendRecordPacket(packet);
                Morvala::AtualizaLocalCache({"TIPOOPERAC"});
            }};
}

void TfrmTipOper::askWhereUsed() {
    const nlohmann::json answer = serverCall(
        "GetUsoTipOper",
        {cdsTipOper.fieldByName("CDTIPOOPER").asString(), cdsTipOper.fieldByName("IDENTRSAIDOP").asString()});
    const wire::DataPacket uses = wire::dataPacketFromJson(answer);
    if (uses.rows.empty()) return;
    const int kind = uses.fieldIndex("IDENTRSAIDOP"), code = uses.fieldIndex("CDTIPOOPER"),
              name = uses.fieldIndex("NMTIPOOPER"), how = uses.fieldIndex("DSUSO");
    auto at = [](const std::vector<wire::Value>& row, int f) {
        return f >= 0 && static_cast<std::size_t>(f) < row.size() && row[static_cast<std::size_t>(f)]
                   ? *row[static_cast<std::size_t>(f)]
                   : std::string();
    };
    std::string text = msgTrabalho.Msg("Uso_TipoOper");
    for (const auto& row : uses.rows) {
        const std::string use = at(row, how);
        text += "\n" + msgTrabalho.Msg(at(row, kind) == "E" ? "Uso_Entrada" : "Uso_Saida") + " " + at(row, code) +
                " - " + at(row, name) + " (" + (msgTrabalho.hasKey("Uso_" + use) ? msgTrabalho.Msg("Uso_" + use) : use) +
                ")";
    }
    text += "\n" + msgTrabalho.Msg("Uso_Pergunta");
    // Deleting stays possible, but not by a reflex: the question's default is No.
    lib::TMessages question({"ExclUso|" + text});
    question.setDefaultAnswer("ExclUso", tk::kAnswerNo);
    if (question.ShowMsg("ExclUso", 3, 3, 0) != tk::kAnswerYes) throw tk::SilentAbort();
}

void TfrmTipOper::cdsTipOperAfterPost(tk::DataSet&) {
    if (cdsTipOper.changeCount() <= 0) return;
    // A save refused for another reason (the server unreachable) stays pending and travels with the
    // next one; a save refused as a conflict never does.
    if (!sendRecordChanges()) return;
    rbtNenhum->setEnabled(true);
    rbtTEncargo->setEnabled(true);
    btnPesqEncargo->setEnabled(rbtEncargo->checked());
}

void TfrmTipOper::sbtExcluirClick(tk::Component& Sender) {
    const bool messages = pgcPadrao.activePage() == tshMensagem;
    if (messages) {
        if (msgMensagensPadroes.ShowMsg("Excl", 3, 3, 0) != tk::kAnswerYes) throw tk::SilentAbort();
        cdsMensTipoOper.remove();
        ControlaBotoes();
        ControlaBotoes();
    } else {
        if (dtsPadrao.dataSet() == &cdsTipOper && cdsTipOper.active() && !cdsTipOper.isEmpty() && !cdsTipOper.isEditing())
            askWhereUsed();
        frm::TfrmPadrao::sbtExcluirClick(Sender);
    }
    if (!editing(cdsTipOper)) {
        const std::string kind = cdsTipOper.fieldByName("IDTPIJURFORN").asString();
        if (!Consiste::EmptyString(kind))
            cdsTipOper.fieldByName("NRINSJURFORN").setEditMask(Consiste::PictPess(kind));
    }
    // A delete leaves the record list in browse, so no state change recomputes the toolbar: without
    // this an emptied list would still offer to alter and delete a record that is gone.
    if (!messages) ControlaBotoes();
}

void TfrmTipOper::cdsTipOperAfterDelete(tk::DataSet&) {
    if (cdsTipOper.changeCount() <= 0) return;
    try {
        (void)sendRecordChanges();
    } catch (...) {
        // A delete that failed otherwise brings the record back; nothing of it stays pending.
        cdsTipOper.cancelUpdates();
        throw;
    }
}

void TfrmTipOper::sbtCancelarClick(tk::Component&) {
    if (pgcPadrao.activePage() == tshMensagem) {
        if (editing(cdsMensTipoOper)) {
            if (msgMensagensPadroes.ShowMsg("Canc", 3, 3, 0) != tk::kAnswerYes) throw tk::SilentAbort();
            cdsMensTipoOper.cancel();
        }
        ControlaBotoes();
        return;
    }

    if (editing(cdsTipOper)) {
        if (msgMensagensPadroes.ShowMsg("Canc", 3, 3, 0) != tk::kAnswerYes) throw tk::SilentAbort();
        cdsTipOper.cancel();
    }

    if (dtsPadrao.state() == tk::DataSetState::Browse) {
        resetDocOrigemControls();
        HabilitaGeraNFTrans();
        const std::string stIdEntrSaidOp = GetEntSaid();
        const std::string stCdTipoOper = cdsTipOper.fieldByName("CDTIPOOPER").asString();
        sbtVerificarClick(*this);
        cdsTipOper.locate("IDENTRSAIDOP;CDTIPOOPER", {stIdEntrSaidOp, stCdTipoOper}, {.caseInsensitive = true});
    }

    const std::string stTipoOper = cdsTipOper.fieldByName("CDTIPOOPER").asString();
    if (cdsTipOper.active() && !cdsTipOper.isEmpty())
        cdsTipOper.locate("CDTIPOOPER", {stTipoOper}, {.caseInsensitive = true});
}

// The origin-document controls go back to "no origin documents" before a reload shows the record.
void TfrmTipOper::resetDocOrigemControls() {
    dckDocDevo->setChecked(false);
    rbtTodosF->setChecked(true);
    rbtTodosF->setEnabled(false);
    rbtListaF->setEnabled(false);
    dckDocOrigRelac->setEnabled(false);
    dckOrigObrig->setEnabled(false);
    dckPesqLista->setEnabled(false);
    grbDocOrigem->setEnabled(false);
}

} // namespace Cli_ger06600
