// Loading the operation types of the chosen kind, the reload and search buttons, the page-change
// hook, and the coded display of the two coded fields.

#include "frm/Procura.h"
#include "lib/Consiste.h"
#include "lib/Showavi.h"
#include "shell/TfrmTipOper.h"
#include "shell/Toolkit.h"

#include <nlohmann/json.hpp>

#include <stdexcept>

namespace Cli_ger06600 {

// ---- coded fields ---------------------------------------------------------------------------

void TfrmTipOper::cdsTipOperIDGERANFCMPGetText(tk::Field& Sender, std::string& Text, bool) {
    const std::string value = Sender.asString();
    if (value == "S") Text = msgPadrao.Msg("Sim");
    else if (value == "N") Text = msgPadrao.Msg("Não");
    else Text.clear();
}

void TfrmTipOper::cdsTipOperIDGERANFCMPSetText(tk::Field& Sender, const std::string& Text) {
    if (Text == msgPadrao.Msg("Sim")) Sender.setAsString("S");
    else if (Text == msgPadrao.Msg("Não")) Sender.setAsString("N");
}

void TfrmTipOper::cdsTipOperIDORIGDESTOPGetText(tk::Field& Sender, std::string& Text, bool) {
    const std::string value = Sender.asString();
    if (Consiste::EmptyString(value)) {
        // An empty origin/destination shows the kind's natural partner; the field stays empty.
        Text = msgPadrao.Msg(cbbEntSaid->itemIndex() == 0 ? "F" : "C");
    } else if (value[0] == 'C') {
        Text = msgPadrao.Msg("C");
    } else if (value[0] == 'F') {
        Text = msgPadrao.Msg("F");
    } else if (value[0] == 'L') {
        Text = msgPadrao.Msg("L");
    } else {
        Text.clear();
    }
    HabilitaGeraNFTrans();
}

void TfrmTipOper::cdsTipOperIDORIGDESTOPSetText(tk::Field& Sender, const std::string& Text) {
    if (Text == msgPadrao.Msg("F")) Sender.setAsString("F");
    else if (Text == msgPadrao.Msg("C")) Sender.setAsString("C");
    else if (Text == msgPadrao.Msg("L")) Sender.setAsString("L");
    HabilitaGeraNFTrans();
}

// ---- the kind and the filter panel ----------------------------------------------------------

std::string TfrmTipOper::GetEntSaid() { return cbbEntSaid->itemIndex() == 0 ? "E" : "S"; }

void TfrmTipOper::panFiltroEnter(tk::Component&) {
    cdsTipOper.close();
    pgcPadrao.setActivePage(&tshFolhaDados);
    tshFormulario.setEnabled(false);
    tshMensagem->setEnabled(false);
    pgcPadraoChange(pgcPadrao);
}

void TfrmTipOper::panFiltroExit(tk::Component&) {
    // The first load shows no indicator of its own, so a failure there has none to hide.
    assignPacket(cdsTipOper, serverCall("GetTipOper", {GetEntSaid()}));
    {
        Showavi::Wait wait(tk::Application::current().mainForm(), 1);
        assignPacket(cdsTipOper, serverCall("GetFiltro", {GetEntSaid()}));
        cdsTipOper.fieldByName("NRINSJURFORN")
            .setEditMask(Consiste::PictPess(cdsTipOper.fieldByName("IDTPIJURFORN").asString()));
    }

    kindArrangementForPanFiltroExit();

    lblOrigDest->setCaption(msgPadrao.Msg(std::to_string(cbbEntSaid->itemIndex())));
    tshFormulario.setEnabled(true);
    tshMensagem->setEnabled(true);
    pgcPadraoChange(pgcPadrao);
}

// Which options the form page offers for the kind just loaded. Controls not named keep their state.
void TfrmTipOper::kindArrangementForPanFiltroExit() {
    const bool entrada = cbbEntSaid->itemIndex() == 0;
    auto shown = [](tk::Control* c, bool visible) { c->setVisible(visible); };
    auto& f = *this;

    shown(dckUtLocPrestServ, entrada);
    if (entrada) dckUtLocPrestServ->setEnabled(dckNotaPrestServ->checked());
    shown(dckRealAprovAuto, entrada);
    dbcInfNumeNf->setEnabled(!entrada);
    shown(dbcAltDsEmis, !entrada);
    shown(dckGeraDup, !entrada);
    shown(dckSerieAuto, !entrada);
    shown(dckIDUtCusOrigEst, entrada);
    if (entrada) {
        dckInfCPF->setEnabled(true);
        dckInfCPF->setVisible(true);
    } else {
        dckInfCPF->setVisible(false);
    }
    for (tk::Control* c : {static_cast<tk::Control*>(grbFornePadr), lblFornePadr, dbeCdFornePadr, btpFornecedor,
                           static_cast<tk::Control*>(dbeNmRazsocForn), lblDsNmOper, dbeNmOper, Bevel2})
        shown(c, entrada);
    shown(dckSugQtdTotDev, entrada);
    shown(dckContabImpProd, entrada);
    shown(dckNotaPrestServ, entrada);
    if (entrada) {
        dbcUtCtrlAIDF->setVisible(false);
        dbcUtCtrlAIDF->setEnabled(false);
    } else {
        dbcUtCtrlAIDF->setVisible(true);
        dbcUtCtrlAIDF->setEnabled(dbcInfNumeNf->checked());
    }
    shown(dckIDNFIMPORTACAO, entrada);
    shown(f.find<tk::Control>("dckIDNFIMPORTACAOIND"), entrada);
    shown(dckAltDtRefAprov, !entrada);
    shown(dckObrDtRefFat, !entrada);
    shown(dckContSomenImpo, !entrada);
    shown(dckContabNFOrigem, !entrada);
    if (!entrada && dckDocDevo->checked()) dckContabNFOrigem->setEnabled(true);
    shown(dckIdBloqNfFechDia, !entrada);
    shown(dckConsAnaConc, !entrada);
    shown(dckRemeInsuAprov, !entrada);
    shown(dckPortCatSP, !entrada);
    shown(dckImpProdEmis, !entrada);
    if (!entrada) dckImpProdEmis->setEnabled(dckUtlEmisNFSe->checked());
}

void TfrmTipOper::cdsTipOperAfterOpen(tk::DataSet&) {
    dckInfCPF->setEnabled(cbbEntSaid->itemIndex() == 0 && dcbIdOrigDestOp->itemIndex() == 0);
    if (dckInfCPF->checked()) {
        Consiste::SetChildEnabled(*grbFornePadr, true);
        dbeNmRazsocForn->setEnabled(false);
    } else {
        Consiste::SetChildEnabled(*grbFornePadr, false);
    }
}

// ---- toolbar: verify and search; the page-change hook ---------------------------------------

void TfrmTipOper::sbtVerificarClick(tk::Component&) {
    if (pgcPadrao.activePage() == tshMensagem) {
        Showavi::Wait wait(tk::Application::current().mainForm(), 1);
        assignPacket(cdsMensTipoOper, serverCall("GetMensTipoOper", {cdsTipOper.fieldByName("CDTIPOOPER").asString(),
                                                                     cdsTipOper.fieldByName("IDENTRSAIDOP").asString()}));
        return;
    }
    {
        Showavi::Wait wait(this, 6, msgPadrao.Msg("Verif_Server"));
        // The reload takes the answer as it comes; an answer that is not a data packet fails here.
        const nlohmann::json answer = netTipOper.AppServer("GetTipOper", {GetEntSaid()});
        if (auto result = answer.find("result"); result != answer.end()) {
            assignPacket(cdsTipOper, *result);
        } else {
            std::string reason = "resposta sem pacote de dados";
            if (auto error = answer.find("error"); error != answer.end() && error->is_object())
                reason = error->value("message", reason);
            throw std::runtime_error("Não foi possível recarregar os tipos de operação: " + reason);
        }
    }
    HabilitaGeraNFTrans();
}

void TfrmTipOper::sbtProcurarClick(tk::Component&) {
    tk::DataSet* set = pgcPadrao.activePage() == tshMensagem ? dtsMensTipoOper.dataSet() : dtsPadrao.dataSet();
    if (set && set->active()) Procura(*set);
}

void TfrmTipOper::pgcPadraoChange(tk::Component& Sender) {
    frm::TfrmPadrao::pgcPadraoChange(Sender);
    FixaDoc();
    HabilitaGeraNFTrans();
    ControlaBotoes();
}

} // namespace Cli_ger06600
