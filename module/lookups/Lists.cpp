// The origin-document list and the charge list: their radio choices, list searches and working
// copies, and the option that opens or closes the whole origin-document group.

#include "frm/PesquisaLista.h"
#include "lib/AdoIbQuery.h"
#include "lib/Consiste.h"
#include "shell/TfrmTipOper.h"
#include "shell/Toolkit.h"

namespace Cli_ger06600 {

namespace {
bool browsing(const tk::DataSet& set) { return set.state() == tk::DataSetState::Browse; }

// Cuts a list text to `limit` characters (UTF-8 aware; the items are plain ASCII codes anyway).
std::string cutToCharacters(const std::string& text, std::size_t limit) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (chars++ == limit) return text.substr(0, i);
    }
    return text;
}
} // namespace

lib::TADOIBQuery& TfrmTipOper::openQuery(std::string_view name) {
    auto& q = query(name);
    q.Close();
    q.Open();
    dataSet(name)->setData(q.rows());
    return q;
}

void TfrmTipOper::btpDocOrigemClick(tk::Component&) {
    if (browsing(cdsTipOper)) cdsTipOper.edit();
    openQuery("qryPesqDocOrigem");
    PesquisaLista(*dataSource("dtsPesqDocOrigem"), "OPERACAO",
                  msgPadrao.Msg("TipoOper") + "|" + msgPadrao.Msg("N_TipoOper"), false, unit_.stDocOrigem);
    // Six four-character items fit in the field; a seventh does not.
    const std::string cut = cutToCharacters(unit_.stDocOrigem, 30);
    if (cut != unit_.stDocOrigem) {
        unit_.stDocOrigem = cut;
        Consiste::MensErro(msgPadrao.Msg("DocOrig_max"), true);
    }
}

void TfrmTipOper::rbtListaFClick(tk::Component&) {
    if (browsing(cdsTipOper) && !unit_.boControlDocOrig) cdsTipOper.edit();
    btpDocOrigem->setEnabled(rbtListaF->checked());
    unit_.stDocOrigem.clear();
}

void TfrmTipOper::rbtNenhumClick(tk::Component&) {
    if (browsing(cdsTipOper) && unit_.boControlEncRat) cdsTipOper.edit();
    if (!cdsTipOper.isEditing()) return;
    cdsTipOper.fieldByName("DSOPERENCRATPL").setAsString("N");
    btnPesqEncargo->setEnabled(false);
}

void TfrmTipOper::rbtTEncargoClick(tk::Component&) {
    if (browsing(cdsTipOper) && unit_.boControlEncRat) cdsTipOper.edit();
    if (!cdsTipOper.isEditing()) return;
    cdsTipOper.fieldByName("DSOPERENCRATPL").setAsString("T");
    btnPesqEncargo->setEnabled(false);
}

void TfrmTipOper::rbtEncargoClick(tk::Component&) {
    if (browsing(cdsTipOper) && unit_.boControlEncRat) cdsTipOper.edit();
    // A list already held stays: the field and the working copy are not touched.
    btnPesqEncargo->setEnabled(rbtEncargo->checked());
}

void TfrmTipOper::btnPesqEncargoClick(tk::Component&) {
    if (browsing(cdsTipOper)) cdsTipOper.edit();
    auto& q = query("qryPesqEncargo");
    q.Close();
    q.ParamByName("P_CDENCARGO").AsString = "";
    q.ParamByName("P_TCDENCARGO").AsString = "T";
    q.Open();
    dataSet("qryPesqEncargo")->setData(q.rows());
    PesquisaLista(*dataSource("dtsPesqEncargo"), "CDENCARGO", msgPadrao.Msg("Enc") + "|" + msgPadrao.Msg("N_Enc"),
                  false, unit_.stListaEncRat);
    cdsTipOper.fieldByName("DSOPERENCRATPL").setAsString(unit_.stListaEncRat);
}

// Without origin documents the record holds no list and none of the options that depend on it, and
// the whole origin-document group is closed with "Todos" chosen.
void TfrmTipOper::clearDocOrigem() {
    auto field = [this](const char* name) -> tk::Field& { return cdsTipOper.fieldByName(name); };
    field("IDDCORIGRELAC").setAsString("N");
    dckDocOrigRelac->setEnabled(false);
    field("IDNFORIGOBRI").setAsString("N");
    dckOrigObrig->setEnabled(false);
    dckContabNFOrigem->setEnabled(false);
    field("IDUTLLISTORI").setAsString("N");
    dckPesqLista->setEnabled(false);
    field("DSOPERNFORIG").setAsString("");
    rbtTodosF->setChecked(true);
    unit_.stDocOrigem.clear();
    grbDocOrigem->setEnabled(false);
    rbtTodosF->setEnabled(false);
    rbtListaF->setEnabled(false);
}

void TfrmTipOper::dckDocDevoClick(tk::Component&) {
    if (!cdsTipOper.isEditing()) return;
    const bool entrada = cbbEntSaid->itemIndex() == 0;
    auto field = [this](const char* name) -> tk::Field& { return cdsTipOper.fieldByName(name); };
    if (dckDocDevo->checked()) {
        dckDocOrigRelac->setEnabled(entrada);
        dckOrigObrig->setEnabled(true);
        dckContabNFOrigem->setEnabled(true);
        dckPesqLista->setEnabled(!dckEstornoCanc->checked());
        grbDocOrigem->setEnabled(true);
        rbtTodosF->setEnabled(true);
        rbtListaF->setEnabled(true);
        btpDocOrigem->setEnabled(rbtListaF->checked());
        field("IDNFAJUSTE").setAsString("N");
        dbcNfAjuste->setEnabled(false);
    } else {
        clearDocOrigem();
        btpDocOrigem->setEnabled(rbtListaF->checked());
        dbcNfAjuste->setEnabled(field("IDNOTADEVO").asString() == "N");
    }
    dckContabImpProd->setVisible(entrada);
    if (!entrada) return;
    if (dckDocDevo->checked() && dckAtuaEst->checked() && dckDocDevo->enabled() && dckAtuaEst->enabled()) {
        dckIDUtCusOrigEst->setEnabled(true);
    } else {
        dckIDUtCusOrigEst->setEnabled(false);
        field("IDUTCUSORIGEST").setAsString("N");
        dckIDUtCusOrigEst->setChecked(false);
    }
}

} // namespace Cli_ger06600
