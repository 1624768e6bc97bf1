// The checks and completions every operation type passes before it is stored locally and sent.
// A broken rule shows one catalogue message and abandons the post (the record stays in edit or
// insert for correction); everything done by the steps before it stays in effect.

#include "lib/Consiste.h"
#include "lib/Showavi.h"
#include "shell/TfrmTipOper.h"
#include "shell/Toolkit.h"

#include <nlohmann/json.hpp>

namespace Cli_ger06600 {

using Consiste::MensErro;

void TfrmTipOper::Vd_CdTipoOper(bool boTestaVazio) {
    try {
        const std::string text = dbeCdTipoOper->text();
        if (Consiste::EmptyString(text)) {
            if (boTestaVazio) MensErro(msgPadrao.Msg("CdTipoOper_inf"), true);
            return;
        }
        dbeCdTipoOper->setText(Consiste::Ajusta(text, 2));
        // The record receives the adjusted code now, also when the controls were already written.
        if (cdsTipOper.isEditing()) dbeCdTipoOper->writeBack();
        auto& q = query("qryVdTipoOper");
        q.Close();
        q.ParamByName("P_CDTIPOOPER").AsString = dbeCdTipoOper->text();
        q.ParamByName("P_IDENTRSAID").AsString = GetEntSaid();
        q.Open();
        // In edit state the row found is the record itself.
        if (!q.IsEmpty() && cdsTipOper.state() == tk::DataSetState::Insert) MensErro(msgPadrao.Msg("TipoOPer_jc"), true);
    } catch (...) {
        dbeCdTipoOper->setFocus();
        throw;
    }
}

void TfrmTipOper::dbeCdTipoOperExit(tk::Component&) {
    if (dtsPadrao.state() == tk::DataSetState::Edit || dtsPadrao.state() == tk::DataSetState::Insert)
        Vd_CdTipoOper(false);
}

tk::TDBCheckBox& TfrmTipOper::box(std::string_view name) const { return get<tk::TDBCheckBox>(name); }

void TfrmTipOper::cdsTipOperBeforePost(tk::DataSet&) {
    auto field = [this](const char* name) -> tk::Field& { return cdsTipOper.fieldByName(name); };
    auto copyBox = [&](std::string_view boxName, const char* fieldName) {
        field(fieldName).setAsString(box(boxName).checked() ? "S" : "N");
    };

    // Reference and key checks.
    Vd_custo();
    Vd_preco();
    Vd_TpOpBonif();
    Vd_CdTipoOper(true);

    // Required texts and the cancellation-reversal rules.
    if (Consiste::EmptyString(get<tk::TDBEdit>("dbeNmTipoOper").text())) {
        get<tk::TDBEdit>("dbeNmTipoOper").setFocus();
        MensErro(msgPadrao.Msg("Nome_inf"), true);
    }
    if (dckEstornoCanc->checked() && !dckDocDevo->checked()) MensErro(msgPadrao.Msg("UtilDocOrig_Inf"), true);
    else if (dckEstornoCanc->checked() && !dckOrigObrig->checked()) MensErro(msgPadrao.Msg("EstornoCancDogObg"), true);
    if (dckInfCPF->checked()) Vd_Fornecedor(true);
    auto& nmOper = get<tk::TDBEdit>("dbeNmOper");
    if (nmOper.enabled() && Consiste::EmptyString(nmOper.text())) {
        try {
            MensErro(msgPadrao.Msg("Desc_inf"), true);
        } catch (...) {
            nmOper.setFocus();
            throw;
        }
    }

    // Working copies and lists.
    if (dckIdGeraVenc->checked()) field("IDGERAVENC").setAsString("S");
    if (rbtTodosF->checked()) {
        field("DSOPERNFORIG").setAsString("");
    } else if (rbtListaF->checked() && unit_.stDocOrigem.empty()) {
        MensErro(msgPadrao.Msg("DocOrig_Inf"), true);
    } else if (rbtListaF->checked()) {
        field("DSOPERNFORIG").setAsString(unit_.stDocOrigem);
    }
    if (rbtTEncargo->checked()) {
        field("DSOPERENCRATPL").setAsString("T");
        unit_.stListaEncRat.clear();
    } else if (rbtNenhum->checked()) {
        unit_.stListaEncRat.clear();
    } else if (rbtEncargo->checked() && unit_.stListaEncRat.empty()) {
        MensErro(msgPadrao.Msg("Enc_Inf"), true);
    } else if (rbtEncargo->checked()) {
        field("DSOPERENCRATPL").setAsString(unit_.stListaEncRat);
    }

    // Key and flags forced by the code.
    field("IDENTRSAIDOP").setAsString(GetEntSaid());
    const std::string kind = field("IDENTRSAIDOP").asString();
    const std::string code = field("CDTIPOOPER").asString();
    if (kind == "E" && code == "13") {
        field("IDOPERDEVONF").setAsString("S");
        field("IDNFORIGOBRI").setAsString("N");
        field("IDUTLLISTORI").setAsString("N");
    }
    if (kind != "E" && code == "06") {
        field("IDOPERDEVONF").setAsString("S");
        field("IDNFORIGOBRI").setAsString("S");
    }
    if (code == "05" || code == "11") field("IDATUESTTPOP").setAsString("N");
    if (dbcInfNumeNf->checked()) {
        field("IDPERNUMENF").setAsString("S");
    } else {
        field("IDPERNUMENF").setAsString("N");
        dbcInfNumeNf->setChecked(false);
    }

    // Origin-document controls and the fiscal-control check.
    if (dckDocDevo->checked()) {
        dckDocOrigRelac->setEnabled(cbbEntSaid->itemIndex() == 0);
        dckOrigObrig->setEnabled(true);
        dckContabNFOrigem->setEnabled(true);
        dckPesqLista->setEnabled(!dckEstornoCanc->checked());
        if (!dckPesqLista->enabled()) field("IDUTLLISTORI").setAsString("N");
        grbDocOrigem->setEnabled(true);
        rbtTodosF->setEnabled(true);
        rbtListaF->setEnabled(true);
    } else {
        {
            Showavi::Wait wait(tk::Application::current().mainForm(), 6);
            const nlohmann::json blocked =
                serverCall("GetVdControleFiscal", {field("CDTIPOOPER").asString(), field("IDENTRSAIDOP").asString()});
            if (blocked.is_boolean() ? blocked.get<bool>() : false) MensErro(msgPadrao.Msg("Despesa_Acessoria"), true);
        }
        clearDocOrigem();
    }

    // Option flags made explicit; these count only while their box is enabled.
    static const std::pair<const char*, const char*> whileEnabled[] = {
        {"dbcIdGeraVenNf", "IDGERAVENCNFAP"}, {"dckVencObri", "IDUTILVENCOBR"}, {"dckConsParFis", "IDCONSPARFIS"},
        {"dckGeraNFTrans", "IDUTGERNFTRAN"},  {"dbcNfAjuste", "IDNFAJUSTE"},    {"dckNotaDevo", "IDNOTADEVO"},
    };
    for (const auto& [boxName, fieldName] : whileEnabled) {
        if (box(boxName).enabled()) copyBox(boxName, fieldName);
        else field(fieldName).setAsString("N");
    }
    field("IDSUGQTDTOTDEV").setAsString(dckNotaDevo->checked() && dckSugQtdTotDev->checked() ? "S" : "N");
    copyBox("dbcBrindeTpOper", "IDBRINDETPOPER");
    copyBox("dckUtlEmisNFSe", "IDUTILNFSE");
    copyBox("dbcUtCtrlAIDF", "IDUTCTRLAIDF");
    if (Consiste::EmptyString(field("IDCOAVRIMPVRPROD").asString())) field("IDCOAVRIMPVRPROD").setAsString("N");
    if (dtsPadrao.state() == tk::DataSetState::Insert) {
        if (Consiste::EmptyString(field("IDNFESTCANC").asString())) field("IDNFESTCANC").setAsString("N");
        // A new cancellation-reversal type is not accounted; every other new type is.
        field("IDCONTABOPER").setAsString(field("IDNFESTCANC").asString() == "S" ? "N" : "S");
    }
    static const std::pair<const char*, const char*> copies[] = {
        {"dckAltDtRefAprov", "IDALTDTREFAPROV"}, {"dckObrDtRefFat", "IDOBRDTREFFAT"},
        {"dbcIdOperDevoOl", "IDOPERDEVOOL"},     {"dckContSomenImpo", "IDCONTSOMENIMPO"},
        {"dckRetInd", "IDNFRETIND"},             {"dckContabNFOrigem", "IDCONTCONFORIG"},
        {"dckDescImpCont", "IDDESCIMPRECCOFI"},  {"dckOpTriangular", "IDOPTRIANGULAR"},
        {"dckEntrTerceiros", "IDENTRTERCEIRO"},  {"dckNFRemessaIndu", "IDREMESSAINDU"},
        {"dckBonificacao", "IDCMPVNDBONI"},      {"dckUtLocPrestServ", "IDUTLOCPRESTSERV"},
        {"dckIdCalcDifalDent", "IDCALCDIFALDENT"}, {"dckConsAnaConc", "IDCONSANACONC"},
        {"dckRemeInsuAprov", "IDREMEINSUAPROV"}, {"dckEstValEst", "IDESTVRESTCTBDEVVEND"},
        {"dckIdNfDebito", "IDNFDEBITO"},         {"dckRealAprovAuto", "IDAPROVAUTOPS"},
        {"dckNfEstNfce", "IDESTORNONFCE"},       {"dckReaRatMan", "IDREARATMANNF"},
        {"dckCalcValFrete", "IDCALCVALFRETE"},   {"dbkNFBonificacao", "IDBONIFICACAO"},
        {"dckRegEspecial", "IDREGESPECIAL"},     {"dckBloqProdEst", "IDBLOQPRESTTPOP"},
        {"dckConsLista", "IDCONSLISPRECO"},
    };
    for (const auto& [boxName, fieldName] : copies) copyBox(boxName, fieldName);

    // The list of empty fields is taken here, before the last five flags are filled.
    stCampoNull.clear();
    for (const auto& f : cdsTipOper.fields())
        if (f->isNull() || f->asString().empty()) stCampoNull += f->name() + "|";

    copyBox("dckIdBloqNfFechDia", "IDBLOQFECHADIANF");
    copyBox("dckPortCatSP", "IDNTRANSCREICMS");
    copyBox("dckNFSTManual", "IDNFSTMANUAL");
    field("IDIMPDSPRODEMIS").setAsString(dckImpProdEmis->checked() && field("IDUTILNFSE").asString() == "S" ? "S" : "N");
    copyBox("dckIdBloqNFForaMes", "IDBLOQNFFORAMES");
}

} // namespace Cli_ger06600
