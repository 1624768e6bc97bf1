// The click rules between option flags: which options one option excludes, requires or unlocks, applied
// the moment an option changes.
//
// A box's click handler runs when the user toggles it, when code gives it a new checked state and when
// its field takes a new value (scrolling included), so each handler tests the record state first and
// reads the boxes as they are shown. Giving a box a new state from code does not write its field:
// where a flag must change at once the handler assigns the field, which also sets the box and runs its
// handler in between (the nested handler finishes before the next step here).

#include "lib/Consiste.h"
#include "shell/TfrmTipOper.h"
#include "shell/Toolkit.h"

namespace Cli_ger06600 {

namespace {

void assign(tk::DataSet& set, const char* field, const char* value) {
    set.fieldByName(field).setAsString(value);
}

// Takes a box out of play: disabled first, so that its own handler, raised by the clearing, already
// finds it disabled.
void disableAndClear(tk::TDBCheckBox& box) {
    box.setEnabled(false);
    box.setChecked(false);
}

void clearAndDisable(tk::TDBCheckBox& box) {
    box.setChecked(false);
    box.setEnabled(false);
}

} // namespace

void TfrmTipOper::dckIdUtilVencClick(tk::Component&) {
    if (!cdsTipOper.isEditing()) return;
    if (dckIdUtilVenc->checked()) {
        assign(cdsTipOper, "IDUTILVENC", "S");
        dbcIdGeraVenNf->setEnabled(true);
        // An operation with due dates is never a cancellation reversal.
        assign(cdsTipOper, "IDNFESTCANC", "N");
        disableAndClear(*dckEstornoCanc);
        dckVencObri->setEnabled(true);
        dckIdGeraVenc->setEnabled(true);
        return;
    }
    // The box's own field follows the user's toggle; only the dependent flags are written here.
    assign(cdsTipOper, "IDGERAVENC", "N");
    assign(cdsTipOper, "IDUTILVENCOBR", "N");
    clearAndDisable(*dckVencObri);
    clearAndDisable(*dckIdGeraVenc);
    disableAndClear(*dbcIdGeraVenNf);
    if (box("dbcBrindeTpOper").checked() || dbcNfAjuste->checked()) {
        disableAndClear(*dckEstornoCanc);
        assign(cdsTipOper, "IDNFESTCANC", "N");
    } else {
        dckEstornoCanc->setEnabled(true);
    }
}

void TfrmTipOper::dckVencObriClick(tk::Component&) {
    if (!cdsTipOper.isEditing()) return;
    // A mandatory due date implies that due dates are used.
    if (dckVencObri->checked()) assign(cdsTipOper, "IDUTILVENC", "S");
}

void TfrmTipOper::dckIdGeraVencClick(tk::Component&) {
    if (!cdsTipOper.isEditing()) return;
    if (!dckIdUtilVenc->checked()) return;
    assign(cdsTipOper, "IDGERAVENC", dckIdGeraVenc->checked() ? "S" : "N");
}

void TfrmTipOper::dckInfCPFClick(tk::Component&) {
    if (!cdsTipOper.isEditing()) return;
    if (dckInfCPF->checked()) {
        Consiste::SetChildEnabled(*grbFornePadr, true);
        // The supplier's name comes from the supplier table, never from typing.
        dbeNmRazsocForn->setEnabled(false);
        return;
    }
    // Without a CPF/CNPJ there is no default supplier: every trace of one goes.
    dbeCdFornePadr->setText("");
    assign(cdsTipOper, "CDFORNECEDPADR", "");
    cdsTipOper.fieldByName("NRINSJURFORN").clear();
    cdsTipOper.fieldByName("DSOPERNFAVISTA").clear();
    cdsTipOper.fieldByName("IDTPIJURFORN").clear();
    dbeNmOper->setText("");
    Consiste::SetChildEnabled(*grbFornePadr, false);
}

void TfrmTipOper::dckAtuaEstClick(tk::Component&) {
    if (!cdsTipOper.isEditing() || cbbEntSaid->itemIndex() != 0) return;
    // The origin's cost can count in stock only for a stock-updating entry with origin documents.
    if (dckDocDevo->checked() && dckAtuaEst->checked() && dckDocDevo->enabled() && dckAtuaEst->enabled()) {
        dckIDUtCusOrigEst->setEnabled(true);
        return;
    }
    dckIDUtCusOrigEst->setEnabled(false);
    assign(cdsTipOper, "IDUTCUSORIGEST", "N");
    dckIDUtCusOrigEst->setChecked(false);
}

void TfrmTipOper::dbcBrindeTpOperClick(tk::Component&) {
    if (!cdsTipOper.isEditing()) return;
    if (box("dbcBrindeTpOper").checked()) {
        disableAndClear(*dckEstornoCanc);
        clearAndDisable(*dbcNfAjuste);
        assign(cdsTipOper, "IDNFESTCANC", "N");
        assign(cdsTipOper, "IDNFAJUSTE", "N");
        return;
    }
    if (!dckDocDevo->checked()) dbcNfAjuste->setEnabled(true);
    if (dckIdUtilVenc->checked()) {
        disableAndClear(*dckEstornoCanc);
        assign(cdsTipOper, "IDNFESTCANC", "N");
    } else {
        dckEstornoCanc->setEnabled(true);
    }
}

void TfrmTipOper::dckEstornoCancClick(tk::Component&) {
    // Each step reads the box as it stands then: a nested handler raised by an earlier step may have
    // cleared it.
    auto estorno = [this] { return dckEstornoCanc->checked(); };
    // A cancellation reversal is never an import invoice; this holds on screen in every state.
    dckIDNFIMPORTACAO->setEnabled(!estorno());
    dckIDNFIMPORTACAOIND->setEnabled(!estorno());

    // An existing type turned into a reversal must refer to the documents it reverses. A new one is
    // left for the save checks to demand, since its code may still rule the origin documents out.
    if (cdsTipOper.state() == tk::DataSetState::Edit) {
        if (estorno()) {
            assign(cdsTipOper, "IDNFORIGOBRI", "S");
            assign(cdsTipOper, "IDOPERDEVONF", "S");
            dckDocDevo->setChecked(true);
            rbtTodosF->setChecked(dckDocDevo->checked() && estorno());
            dckOrigObrig->setChecked(true);
        }
        rbtListaF->setEnabled(dckDocDevo->checked());
    }

    if (!cdsTipOper.isEditing()) return;
    assign(cdsTipOper, "IDNFIMPORTACAO", "N");
    assign(cdsTipOper, "IDNFIMPORTACAOIND", "N");
    if (estorno()) {
        dckPesqLista->setChecked(false);
        disableAndClear(*dckNotaDevo);
        assign(cdsTipOper, "IDNOTADEVO", "N");
    } else {
        dckNotaDevo->setEnabled(true);
    }
    dckPesqLista->setEnabled(dckDocDevo->checked() && !estorno());
}

void TfrmTipOper::dbcNfAjusteClick(tk::Component&) {
    if (!cdsTipOper.isEditing()) return;
    if (dbcNfAjuste->checked()) {
        // An adjustment invoice is neither a reversal nor a return.
        disableAndClear(*dckEstornoCanc);
        assign(cdsTipOper, "IDNFESTCANC", "N");
        disableAndClear(*dckNotaDevo);
        assign(cdsTipOper, "IDNOTADEVO", "N");
        return;
    }
    if (dckIdUtilVenc->checked()) {
        disableAndClear(*dckEstornoCanc);
        assign(cdsTipOper, "IDNFESTCANC", "N");
    } else {
        dckEstornoCanc->setEnabled(true);
    }
    dckNotaDevo->setEnabled(true);
}

void TfrmTipOper::dbcUtCtrlAIDFClick(tk::Component&) {
    // The AIDF option depends on others; it rules nothing itself.
}

void TfrmTipOper::dbcInfNumeNfClick(tk::Component&) {
    if (!cdsTipOper.isEditing()) return;
    if (!dbcInfNumeNf->checked()) {
        assign(cdsTipOper, "IDUTCTRLAIDF", "N");
        dbcUtCtrlAIDF->setEnabled(false);
        return;
    }
    // The AIDF control exists only for the invoices a branch issues itself.
    dbcUtCtrlAIDF->setEnabled(cbbEntSaid->itemIndex() != 0);
}

void TfrmTipOper::dckNotaDevoClick(tk::Component&) {
    if (!cdsTipOper.isEditing()) return;
    if (dckNotaDevo->checked()) {
        disableAndClear(*dbcNfAjuste);
        assign(cdsTipOper, "IDNFAJUSTE", "N");
        disableAndClear(*dckEstornoCanc);
        assign(cdsTipOper, "IDNFESTCANC", "N");
        dckSugQtdTotDev->setEnabled(true);
        return;
    }
    if (dckIdUtilVenc->checked()) {
        disableAndClear(*dckEstornoCanc);
        assign(cdsTipOper, "IDNFESTCANC", "N");
    } else {
        dckEstornoCanc->setEnabled(true);
    }
    // The stored flag decides, not the box: an undetermined origin-document flag keeps it closed.
    dbcNfAjuste->setEnabled(cdsTipOper.fieldByName("IDOPERDEVONF").asString() == "N");
    // Its check stays; the save stores it only while returns are on.
    dckSugQtdTotDev->setEnabled(false);
}

void TfrmTipOper::dckNotaPrestServClick(tk::Component&) {
    if (!cdsTipOper.isEditing()) return;
    if (dckNotaPrestServ->checked()) {
        dckUtLocPrestServ->setEnabled(true);
        return;
    }
    assign(cdsTipOper, "IDUTLOCPRESTSERV", "N");
    clearAndDisable(*dckUtLocPrestServ);
}

void TfrmTipOper::dckUtlEmisNFSeClick(tk::Component&) {
    if (!cdsTipOper.isEditing()) return;
    if (dckUtlEmisNFSe->checked()) {
        dckImpProdEmis->setEnabled(true);
        return;
    }
    assign(cdsTipOper, "IDIMPDSPRODEMIS", "N");
    dckImpProdEmis->setEnabled(false);
}

// Direct and indirect import exclude each other on screen, in every state: a checked one takes the
// other out of play. The fields follow the user's toggles (one can only be checked while the other
// is clear) and the reversal rule, which stores both as "N".
void TfrmTipOper::dckIDNFIMPORTACAOClick(tk::Component&) {
    if (dckIDNFIMPORTACAO->checked())
        clearAndDisable(*dckIDNFIMPORTACAOIND);
    else
        dckIDNFIMPORTACAOIND->setEnabled(true);
}

void TfrmTipOper::dckIDNFIMPORTACAOINDClick(tk::Component&) {
    if (dckIDNFIMPORTACAOIND->checked())
        clearAndDisable(*dckIDNFIMPORTACAO);
    else
        dckIDNFIMPORTACAO->setEnabled(true);
}

void TfrmTipOper::dckSugQtdTotDevClick(tk::Component&) {
    if (!cdsTipOper.isEditing()) return;
    if (!dckNotaDevo->checked()) return;
    assign(cdsTipOper, "IDSUGQTDTOTDEV", dckSugQtdTotDev->checked() ? "S" : "N");
}

} // namespace Cli_ger06600
