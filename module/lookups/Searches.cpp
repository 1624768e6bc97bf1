// The code edits of the referenced entities (cost type, price table, bonus operation type, default
// supplier) and their search buttons: leaving an edit checks the code, changing it empties the name
// shown beside it, and a search lists the candidates and puts the chosen one into the edits.
//
// A search only fills the edits; the code chosen is checked by the next validation, on leaving the
// edit or before the record is posted.

#include "lib/AdoIbQuery.h"
#include "lib/Consiste.h"
#include "shell/TfrmTipOper.h"
#include "shell/Toolkit.h"
#include "toolkit/EditMask.h"

#include <nlohmann/json.hpp>

namespace Cli_ger06600 {

namespace {
std::string valueOf(tk::DataSet& set, const char* field) {
    return set.fieldByName(field).asString();
}
} // namespace

// ---- cost type and price table ----------------------------------------------------------------

void TfrmTipOper::dbeSetorExit(tk::Component&) {
    Vd_custo();
}

void TfrmTipOper::dbePrecoExit(tk::Component&) {
    Vd_preco();
}

// A changed code no longer names what is shown beside it, until the next check fills it again.
void TfrmTipOper::dbeSetorChange(tk::Component&) {
    if (cdsTipOper.isEditing()) get<tk::TDBEdit>("dbeNmSetor").setText("");
}

void TfrmTipOper::dbePrecoChange(tk::Component&) {
    if (cdsTipOper.isEditing()) get<tk::TDBEdit>("dbeValor").setText("");
}

// The record goes into edit only once the list is loaded: a failed call leaves it as it was.
void TfrmTipOper::btpPesqSetorBeforePesq(tk::Component&, bool&) {
    assignPacket(cdsCusto, serverCall("GetCusto", nlohmann::json::array()));
    cdsTipOper.edit();
}

void TfrmTipOper::btpPesqSetorAfterPesq(tk::Component&) {
    // The name first: a code that differs from the one shown empties it again through the edit's
    // change handler, and the next check fills it.
    get<tk::TDBEdit>("dbeNmSetor").setText(valueOf(cdsCusto, "NMTIPOCUSTO"));
    get<tk::TDBEdit>("dbeSetor").setText(valueOf(cdsCusto, "CDTIPOCUSTO"));
}

void TfrmTipOper::btnPesqPrecoBeforePesq(tk::Component&, bool&) {
    assignPacket(cdsPreco, serverCall("GetPreco", nlohmann::json::array()));
    cdsTipOper.edit();
}

void TfrmTipOper::btnPesqPrecoAfterPesq(tk::Component&) {
    get<tk::TDBEdit>("dbePreco").setText(valueOf(cdsPreco, "CDPRECOBASE"));
    get<tk::TDBEdit>("dbeValor").setText(valueOf(cdsPreco, "DSPRECOBASE"));
}

// ---- bonus operation type ---------------------------------------------------------------------

void TfrmTipOper::dbeBonificacaoExit(tk::Component&) {
    Vd_TpOpBonif();
}

void TfrmTipOper::dbeBonificacaoChange(tk::Component&) {
    if (cdsTipOper.isEditing()) get<tk::TDBEdit>("dbeBonif").setText("");
}

// The candidates are the operation types of the kind listed at the moment of the search.
void TfrmTipOper::btnPesqTpBonifBeforePesq(tk::Component&, bool&) {
    assignPacket(cdsBonificacao, serverCall("GetBonificacao", {GetEntSaid()}));
    cdsTipOper.edit();
}

void TfrmTipOper::btnPesqTpBonifAfterPesq(tk::Component&) {
    get<tk::TDBEdit>("dbeBonificacao").setText(valueOf(cdsBonificacao, "CDTIPOOPER"));
    get<tk::TDBEdit>("dbeBonif").setText(valueOf(cdsBonificacao, "NMTIPOOPER"));
}

// ---- default supplier -------------------------------------------------------------------------

void TfrmTipOper::dbeCdFornePadrExit(tk::Component&) {
    Vd_Fornecedor(false);
}

void TfrmTipOper::dbeCdFornePadrChange(tk::Component&) {
    if (cdsTipOper.isEditing()) dbeNmRazsocForn->setText("");
}

// A number of either person type may be looked for: the mask of the record shown would refuse the
// other kind's digits.
void TfrmTipOper::dbeCdFornePadrEnter(tk::Component&) {
    if (!cdsTipOper.isEditing()) cdsTipOper.fieldByName("NRINSJURFORN").setEditMask("");
}

void TfrmTipOper::btpFornecedorBeforePesq(tk::Component&, bool&) {
    if (cdsTipOper.state() == tk::DataSetState::Browse) cdsTipOper.edit();
    // Every supplier, whatever the number in the edit.
    auto& q = query("qryFornecedor");
    q.Close();
    q.ParamByName("P_NRINSJURFORN").AsString = "";
    q.ParamByName("P_TNRINSJURFORN").AsString = "T";
    openQuery("qryFornecedor");
}

// The chosen supplier goes straight into the record; its number takes its mask at the next check.
void TfrmTipOper::btpFornecedorAfterPesq(tk::Component&) {
    tk::DataSet& row = *dataSet("qryFornecedor");
    cdsTipOper.fieldByName("NRINSJURFORN").setAsString(valueOf(row, "NRINSJURFORN"));
    cdsTipOper.fieldByName("NMRAZSOCFORN").setAsString(valueOf(row, "NMRAZSOCFORN"));
    cdsTipOper.fieldByName("IDTPIJURFORN").setAsString(valueOf(row, "IDTPIJURFORN"));
    cdsTipOper.fieldByName("CDFORNECEDPADR").setAsString(valueOf(row, "CDFORNECED"));
}

// Each supplier's number in the mask of its own person type, for display and editing alike.
void TfrmTipOper::qryFornecedorNRINSJURFORNGetText(tk::Field& Sender, std::string& Text, bool) {
    const std::string kind = Sender.dataSet().fieldByName("IDTPIJURFORN").asString();
    Text = tk::FormatMaskText(Consiste::PictPess(kind), Sender.asString());
}

} // namespace Cli_ger06600
