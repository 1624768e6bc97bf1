// Confirm, delete and cancel, and the two events that send the record's changes to the server.

#include "shell/Toolkit.h"
#include "lib/Consiste.h"
#include "lib/Morvala.h"
#include "lib/Showavi.h"
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

// Sends every pending change of the record list in one packet. Shared by the post and the delete.
void TfrmTipOper::sendRecordChanges() {
    {
        Showavi::Wait wait(this, 1, msgPadrao.Msg("Atual_Server"));
        const wire::ChangePacket packet = cdsTipOper.changePacket();
        // The empty-field list travels by reference; the screen does not read back what the server
        // leaves in it.
        Consiste::CheckResultServ(netTipOper.AppServer("SetTipOper", {wire::toJson(packet), stCampoNull}), true, 0);
    }
    if (cdsTipOper.logChanges()) cdsTipOper.mergeChangeLog();
    Morvala::AtualizaLocalCache({"TIPOOPERAC"});
}

void TfrmTipOper::cdsTipOperAfterPost(tk::DataSet&) {
    if (cdsTipOper.changeCount() <= 0) return;
    // A refused save keeps the change pending: the next save sends it again with the new one.
    sendRecordChanges();
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
        sendRecordChanges();
    } catch (...) {
        // A refused delete throws every pending change away, so the deleted record comes back.
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
