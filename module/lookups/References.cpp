// Reference checks of the codes an operation type names: cost type, price table, bonus operation
// type (against the application server) and default supplier (against the supplier table).

#include "lib/AdoIbQuery.h"
#include "lib/Consiste.h"
#include "shell/TfrmTipOper.h"
#include "shell/Toolkit.h"

#include <nlohmann/json.hpp>

namespace Cli_ger06600 {

using Consiste::MensErro;

namespace {
// A code adjusted in its edit reaches the record at once while the record is being edited, also
// when the controls were already written for the post under way.
void setEditText(tk::TDBEdit& edit, const std::string& text, const tk::DataSet& set) {
    edit.setText(text);
    if (set.isEditing()) edit.writeBack();
}
} // namespace

void TfrmTipOper::Vd_custo() {
    if (!cdsTipOper.isEditing()) return;
    auto& dbeSetor = get<tk::TDBEdit>("dbeSetor");
    try {
        const std::string text = dbeSetor.text();
        if (Consiste::EmptyString(text)) return;
        setEditText(dbeSetor, Consiste::Ajusta(text, 2), cdsTipOper);
        assignPacket(cdsVdCusto, serverCall("GetVdCusto", {dbeSetor.text()}));
        if (cdsVdCusto.isEmpty()) MensErro(msgPadrao.Msg("CDTIPOCUSTO_cad"), true);
        cdsTipOper.fieldByName("NMTIPOCUSTO").setValue(cdsVdCusto.fieldByName("NMTIPOCUSTO").value());
    } catch (...) {
        pgcPadrao.setActivePage(&tshFormulario);
        pgcPadraoChange(pgcPadrao);
        dbeSetor.setFocus();
        throw;
    }
}

void TfrmTipOper::Vd_preco() {
    auto& dbePreco = get<tk::TDBEdit>("dbePreco");
    try {
        const std::string text = dbePreco.text();
        if (Consiste::EmptyString(text)) return;
        setEditText(dbePreco, Consiste::Ajusta(text, 2), cdsTipOper);
        assignPacket(cdsVdPreco, serverCall("GetVdPreco", {dbePreco.text()}));
        if (cdsVdPreco.isEmpty()) MensErro(msgPadrao.Msg("CDPRECO_cad"), true);
        setEditText(get<tk::TDBEdit>("dbeValor"), cdsVdPreco.fieldByName("DSPRECOBASE").asString(), cdsTipOper);
    } catch (...) {
        pgcPadrao.setActivePage(&tshFormulario);
        pgcPadraoChange(pgcPadrao);
        dbePreco.setFocus();
        throw;
    }
}

void TfrmTipOper::Vd_TpOpBonif() {
    if (!cdsTipOper.isEditing()) return;
    auto& dbeBonificacao = get<tk::TDBEdit>("dbeBonificacao");
    try {
        const std::string text = dbeBonificacao.text();
        if (Consiste::EmptyString(text)) return;
        setEditText(dbeBonificacao, Consiste::Ajusta(text, 2), cdsTipOper);
        assignPacket(cdsVdBonif, serverCall("GetVdBonif", {dbeBonificacao.text(), GetEntSaid()}));
        if (cdsVdBonif.isEmpty()) MensErro(msgPadrao.Msg("Bonif_Cad"), true);
        setEditText(get<tk::TDBEdit>("dbeBonif"), cdsVdBonif.fieldByName("NMTIPOOPER").asString(), cdsTipOper);
        cdsTipOper.fieldByName("CDTIPOOPERBONIF").setAsString(dbeBonificacao.text());
    } catch (...) {
        pgcPadrao.setActivePage(&tshFormulario);
        pgcPadraoChange(pgcPadrao);
        dbeBonificacao.setFocus();
        throw;
    }
}

void TfrmTipOper::Vd_Fornecedor(bool boTestaVazio) {
    auto& edit = get<tk::TDBEdit>("dbeCdFornePadr");
    try {
        if (Consiste::EmptyString(edit.text())) {
            if (boTestaVazio) MensErro(msgPadrao.Msg("Forn_inf"), true);
            return;
        }
        auto& q = query("qryFornecedor");
        q.Close();
        // The field, not the edit: by the time an exit handler runs the typed text is in the field.
        q.ParamByName("P_NRINSJURFORN").AsString = cdsTipOper.fieldByName("NRINSJURFORN").asString();
        q.ParamByName("P_TNRINSJURFORN").AsString = "N";
        q.Open();
        if (q.IsEmpty()) MensErro(msgPadrao.Msg("Forn_Cad"), true);
        if (!cdsTipOper.isEditing()) return;
        q.First();
        cdsTipOper.fieldByName("NRINSJURFORN").setEditMask(Consiste::PictPess(q.asString("IDTPIJURFORN")));
        setEditText(edit, q.asString("NRINSJURFORN"), cdsTipOper);
        setEditText(*dbeNmRazsocForn, q.asString("NMRAZSOCFORN"), cdsTipOper);
        cdsTipOper.fieldByName("IDTPIJURFORN").setAsString(q.asString("IDTPIJURFORN"));
        cdsTipOper.fieldByName("CDFORNECEDPADR").setAsString(q.asString("CDFORNECED"));
    } catch (...) {
        edit.setFocus();
        throw;
    }
}

} // namespace Cli_ger06600
