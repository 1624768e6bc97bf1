// What the form page offers for the record shown: enabled states of the record-dependent options,
// the two list radio groups, the toolbar and menus for the dataset states, and the reload of the
// record's message lines.

#include "shell/Toolkit.h"
#include "lib/Consiste.h"
#include "lib/Showavi.h"
#include "shell/TfrmTipOper.h"

#include <nlohmann/json.hpp>

namespace Cli_ger06600 {

namespace {
bool isSpecialCode(const std::string& code) {
    return code == "03" || code == "04" || code == "05" || code == "10" || code == "11";
}
bool editing(tk::DataSetState s) { return s == tk::DataSetState::Edit || s == tk::DataSetState::Insert; }
} // namespace

// The menu items of the toolbar actions for a list in state `state`, and the buttons after their
// items. Include needs only browse state: the list may be empty, or its first entry could never be
// added; alter, delete, search and verify need an entry to act on.
void TfrmTipOper::setToolbarFor(tk::DataSetState state, bool hasEntries) {
    const bool browse = state == tk::DataSetState::Browse;
    mnuIncluir.setEnabled(browse);
    mnuAlterar.setEnabled(browse && hasEntries);
    mnuExcluir.setEnabled(browse && hasEntries);
    mnuProcurar.setEnabled(browse && hasEntries);
    mnuVerificar.setEnabled(browse && hasEntries);
    mnuCancelar.setEnabled(editing(state));
    mnuConfirmar.setEnabled(editing(state));
    sbtIncluir.setEnabled(mnuIncluir.enabled());
    sbtCancelar.setEnabled(mnuCancelar.enabled());
    sbtConfirmar.setEnabled(mnuConfirmar.enabled());
    sbtAlterar.setEnabled(mnuAlterar.enabled());
    sbtExcluir.setEnabled(mnuExcluir.enabled());
    sbtProcurar.setEnabled(mnuProcurar.enabled());
    sbtVerificar.setEnabled(mnuVerificar.enabled());
}

void TfrmTipOper::cdsTipOperAfterScroll(tk::DataSet&) {
    ShowRecordRules();

    // The messages of the record shown.
    Showavi::Wait wait(tk::Application::current().mainForm(), 1);
    assignPacket(cdsMensTipoOper, serverCall("GetMensTipoOper", {cdsTipOper.fieldByName("CDTIPOOPER").asString(),
                                                                 cdsTipOper.fieldByName("IDENTRSAIDOP").asString()}));
}

void TfrmTipOper::ShowRecordRules() {
    const bool entrada = cbbEntSaid->itemIndex() == 0;
    const std::string code = cdsTipOper.fieldByName("CDTIPOOPER").asString();
    auto fieldIs = [this](const char* name, const char* value) { return cdsTipOper.fieldByName(name).asString() == value; };

    // 1
    dbcEmiss->setEnabled(entrada);
    dckDocOrigRelac->setEnabled(entrada);

    // 2: the charge list radios follow the stored list; the guard keeps their handlers from editing.
    unit_.boControlEncRat = false;
    const std::string encargos = cdsTipOper.fieldByName("DSOPERENCRATPL").asString();
    if (encargos == "N") {
        rbtNenhum->setChecked(true);
        unit_.stListaEncRat.clear();
    } else if (encargos == "T") {
        rbtTEncargo->setChecked(true);
        unit_.stListaEncRat.clear();
    } else {
        rbtEncargo->setChecked(true);
        unit_.stListaEncRat = encargos;
    }
    unit_.boControlEncRat = true;

    // 3, 4
    dckInfCPF->setEnabled(entrada && dcbIdOrigDestOp->itemIndex() == 0);
    if (dckInfCPF->checked()) {
        Consiste::SetChildEnabled(*grbFornePadr, true);
        dbeNmRazsocForn->setEnabled(false);
    } else {
        Consiste::SetChildEnabled(*grbFornePadr, false);
    }

    // 5, 6
    if (isSpecialCode(code)) {
        dckDocDevo->setEnabled(false);
        dbcNfAjuste->setEnabled(false);
        dckNotaDevo->setEnabled(false);
    } else {
        dckDocDevo->setEnabled(true);
        dbcNfAjuste->setEnabled(fieldIs("IDOPERDEVONF", "N"));
        dckNotaDevo->setEnabled(!dbcNfAjuste->checked() && !dckEstornoCanc->checked());
    }
    if (code == "03") dckNotaDevo->setEnabled(false);
    else dckNotaDevo->setEnabled(!dbcNfAjuste->checked() && !dckEstornoCanc->checked());

    // 7 to 10
    if (entrada) dckDocOrigRelac->setEnabled(dckDocDevo->enabled());
    else dckDocOrigRelac->setEnabled(false);
    dckOrigObrig->setEnabled(dckDocDevo->enabled());
    dckContabNFOrigem->setEnabled(dckDocDevo->enabled());
    dckPesqLista->setEnabled(dckDocDevo->checked() && !dckEstornoCanc->checked());
    grbDocOrigem->setEnabled(dckDocDevo->enabled());
    rbtTodosF->setEnabled(dckDocDevo->enabled());
    rbtListaF->setEnabled(dckDocDevo->checked());
    btpDocOrigem->setEnabled(rbtListaF->enabled());

    // 11
    if (dckDocDevo->checked()) {
        if (entrada) {
            dckDocOrigRelac->setEnabled(true);
            dckContabImpProd->setVisible(true);
        } else {
            dckDocOrigRelac->setEnabled(false);
            dckContabImpProd->setVisible(false);
        }
        dckOrigObrig->setEnabled(true);
        dckContabNFOrigem->setEnabled(true);
        dckPesqLista->setEnabled(!dckEstornoCanc->checked());
        grbDocOrigem->setEnabled(true);
        rbtTodosF->setEnabled(true);
        rbtListaF->setEnabled(true);
        btpDocOrigem->setEnabled(rbtListaF->checked());
    } else {
        dckDocOrigRelac->setEnabled(false);
        dckOrigObrig->setEnabled(false);
        dckContabNFOrigem->setEnabled(false);
        dckPesqLista->setEnabled(false);
        grbDocOrigem->setEnabled(false);
        rbtTodosF->setEnabled(false);
        rbtListaF->setEnabled(false);
        btpDocOrigem->setEnabled(rbtListaF->checked());
    }

    // 12: the radio is checked before the working copy is set, because its handler empties it.
    unit_.boControlDocOrig = true;
    const std::string docOrigem = cdsTipOper.fieldByName("DSOPERNFORIG").asString();
    if (Consiste::EmptyString(docOrigem)) {
        rbtTodosF->setChecked(true);
        unit_.stDocOrigem.clear();
    } else {
        rbtListaF->setChecked(true);
        unit_.stDocOrigem = docOrigem;
    }
    unit_.boControlDocOrig = false;

    // 13, 14
    dckUtLocPrestServ->setEnabled(dckNotaPrestServ->checked());
    HabilitaGeraNFTrans();
    AlterCheck();
    FixaDoc();

    // 15
    if (entrada) {
        dckIDUtCusOrigEst->setEnabled(dckDocDevo->enabled() && dckAtuaEst->enabled() && dckDocDevo->checked() &&
                                      dckAtuaEst->checked());
        if (fieldIs("IDUTILVENC", "S")) {
            dbcIdGeraVenNf->setEnabled(true);
        } else {
            dbcIdGeraVenNf->setEnabled(false);
            dbcIdGeraVenNf->setChecked(false);
        }
    }

    // 16
    if (fieldIs("IDUTILVENC", "S") || fieldIs("IDBRINDETPOPER", "S") || fieldIs("IDNFAJUSTE", "S")) {
        dckEstornoCanc->setEnabled(false);
        dckEstornoCanc->setChecked(false);
    } else {
        dckEstornoCanc->setEnabled(true);
    }

    // 17
    if (entrada) dbcUtCtrlAIDF->setEnabled(false);
    else dbcUtCtrlAIDF->setEnabled(dbcInfNumeNf->checked());

    // 18: an empty number keeps the mask of the record shown before.
    if (!Consiste::EmptyString(cdsTipOper.fieldByName("NRINSJURFORN").asString()))
        cdsTipOper.fieldByName("NRINSJURFORN")
            .setEditMask(Consiste::PictPess(cdsTipOper.fieldByName("IDTPIJURFORN").asString()));

    // 19 to 22
    dckVencObri->setEnabled(dckIdUtilVenc->checked());
    dckIdGeraVenc->setEnabled(dckIdUtilVenc->checked());
    if (!entrada && dckDocDevo->checked()) dckContabNFOrigem->setEnabled(true);
    if (!entrada) dckImpProdEmis->setEnabled(dckUtlEmisNFSe->checked());
    else dckImpProdEmis->setVisible(false);
    dckSugQtdTotDev->setEnabled(dckNotaDevo->checked());
}

void TfrmTipOper::AlterCheck() {
    if (!dckDocDevo->checked()) {
        dckDocOrigRelac->setEnabled(false);
        dckOrigObrig->setEnabled(false);
        dckPesqLista->setEnabled(false);
        grbDocOrigem->setEnabled(false);
        return;
    }
    dckDocOrigRelac->setEnabled(cbbEntSaid->itemIndex() == 0);
    dckOrigObrig->setEnabled(true);
    dckPesqLista->setEnabled(!dckEstornoCanc->checked());
    grbDocOrigem->setEnabled(true);
}

void TfrmTipOper::FixaDoc() {
    const std::string code = cdsTipOper.fieldByName("CDTIPOOPER").asString();
    if (GetEntSaid() == "E" && code == "13") {
        dckDocDevo->setEnabled(false);
        dckOrigObrig->setEnabled(false);
        dckPesqLista->setEnabled(false);
    }
    if (GetEntSaid() != "E" && code == "06") {
        dckDocDevo->setEnabled(false);
        dckOrigObrig->setEnabled(false);
    }
    dckAtuaEst->setEnabled(!(code == "05" || code == "11"));
}

void TfrmTipOper::HabilitaGeraNFTrans() {
    const bool boHabilita = GetEntSaid() == "S" && dcbIdOrigDestOp->itemIndex() == 2;
    dckGeraNFTrans->setEnabled(boHabilita);
}

void TfrmTipOper::dtsPadraoStateChange(tk::DataSource&) {
    const tk::DataSetState s = dtsPadrao.state();
    const bool browse = s == tk::DataSetState::Browse;
    const bool hasRecords = cdsTipOper.active() && !cdsTipOper.isEmpty();

    // 1, 2
    setToolbarFor(s, hasRecords);

    // 3, 4
    dbnPadrao.setEnabled(browse);
    tshFolhaDados.setEnabled(!editing(s));
    mnuFolhaDados.setEnabled(!editing(s));
    tshMensagem->setEnabled(!editing(s));
    lblCodigo->setEnabled(s == tk::DataSetState::Insert);
    dbeCdTipoOper->setEnabled(s == tk::DataSetState::Insert);

    // 5, 6
    if (!editing(s) && !hasRecords) {
        pgcPadrao.setActivePage(&tshFolhaDados);
        pgcPadraoChange(pgcPadrao);
    }
    if (s == tk::DataSetState::Insert || (s == tk::DataSetState::Edit && pgcPadrao.activePage() == &tshFolhaDados)) {
        pgcPadrao.setActivePage(&tshFormulario);
        pgcPadraoChange(pgcPadrao);
    }

    // 7: the kind cannot change while a record is being edited.
    Consiste::SetChildEnabled(*panFiltro, !editing(s));

    // 8, 9
    if (cbbEntSaid->itemIndex() != 0) {
        dckInfCPF->setEnabled(false);
    } else {
        dckUtLocPrestServ->setEnabled(dckNotaPrestServ->checked());
        dckRealAprovAuto->setEnabled(true);
        dckInfCPF->setEnabled(dcbIdOrigDestOp->itemIndex() == 0);
    }
    if (dckInfCPF->checked()) {
        Consiste::SetChildEnabled(*grbFornePadr, true);
        dbeNmRazsocForn->setEnabled(false);
    } else {
        Consiste::SetChildEnabled(*grbFornePadr, false);
    }
}

void TfrmTipOper::ControlaBotoes() {
    if (pgcPadrao.activePage() == tshMensagem) {
        const tk::DataSetState m = dtsMensTipoOper.state();
        setToolbarFor(m, cdsMensTipoOper.active() && !cdsMensTipoOper.isEmpty());
        tshFolhaDados.setEnabled(!editing(m));
        mnuFolhaDados.setEnabled(!editing(m));
        tshFormulario.setEnabled(!editing(m));
        mnuFormulario.setEnabled(!editing(m));
        Consiste::SetChildEnabled(*panFiltro, !editing(m));
    } else {
        const tk::DataSetState s = dtsPadrao.state();
        setToolbarFor(s, cdsTipOper.active() && !cdsTipOper.isEmpty());
        dbnPadrao.setEnabled(s == tk::DataSetState::Browse);
        tshFolhaDados.setEnabled(!editing(s));
        mnuFolhaDados.setEnabled(!editing(s));
    }
}

} // namespace Cli_ger06600
