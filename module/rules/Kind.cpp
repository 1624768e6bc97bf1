// The entry/exit kind and the origin/destination: what the form page offers for each kind, where the
// options of the kind stand, and the options that follow the origin/destination picked.

#include "screen/Embedded.h"
#include "shell/TfrmTipOper.h"
#include "shell/Toolkit.h"

#include <span>

namespace Cli_ger06600 {

namespace {

// Which options each kind shows.
struct KindVisibility {
    const char* control;
    bool entrada;
    bool saida;
};

constexpr KindVisibility kVisibility[] = {
    {"dckUtLocPrestServ", true, false},  {"dckRealAprovAuto", true, false},
    {"dbcIdGeraVenNf", true, false},     {"dckTpOpNfe", true, false},
    {"dckRetInd", true, false},          {"dckSugQtdTotDev", true, false},
    {"dckOpTriangular", true, false},    {"dckEntrTerceiros", true, false},
    {"dckEstValEst", true, false},       {"dbkNFBonificacao", true, false},
    {"dckBloqProdEst", true, false},     {"dckNFSTManual", true, false},
    {"dckIdBloqNFForaMes", true, false}, {"dckVencObri", false, true},
    {"dckUtlEmisNFSe", false, true},     {"dckAltDtRefAprov", false, true},
    {"dckObrDtRefFat", false, true},     {"dckContSomenImpo", false, true},
    {"dckDescImpCont", false, true},     {"dckNFRemessaIndu", false, true},
    {"dckIdCalcDifalDent", false, true}, {"dckConsAnaConc", false, true},
    {"dckRemeInsuAprov", false, true},   {"dckIdNfDebito", false, true},
    {"dckCalcValFrete", false, true},    {"dckRegEspecial", true, true},
    {"dckNfEstNfce", true, true},
};

// Shown only in one kind, left alone in the other (leaving the filter panel completes them).
constexpr const char* kHiddenInEntrada[] = {"dckPortCatSP", "dckImpProdEmis"};
constexpr const char* kHiddenInSaida[] = {"dckContabImpProd"};
constexpr const char* kShownInSaida[] = {"dckContabNFOrigem"};

// The three lookups and the colour their code edit takes when it is available or not.
struct Lookup {
    const char* label;
    const char* edit;
    const char* button;
};
constexpr Lookup kCostType{"lblCentCust", "dbeSetor", "btpPesqSetor"};
constexpr Lookup kPriceTable{"lblPreco", "dbePreco", "btnPesqPreco"};
constexpr Lookup kBonusType{"lblBonificacao", "dbeBonificacao", "btnPesqTpBonif"};

void setLookupEnabled(tk::Form& form, const Lookup& lookup, bool enabled) {
    form.get<tk::Control>(lookup.label).setEnabled(enabled);
    tk::Control& edit = form.get<tk::Control>(lookup.edit);
    edit.setEnabled(enabled);
    edit.setColor(enabled ? "clWindow" : "clBtnFace");
    form.get<tk::Control>(lookup.button).setEnabled(enabled);
}

} // namespace

void TfrmTipOper::cbbEntSaidExit(tk::Component&) {
    // The checks read here are those of the record still shown; the reload that follows recomputes
    // whatever depends on the record.
    const bool entrada = cbbEntSaid->itemIndex() == 0;

    // Cost type and price table apply to exits only; the bonus operation type to both kinds.
    setLookupEnabled(*this, kCostType, !entrada);
    setLookupEnabled(*this, kPriceTable, !entrada);
    setLookupEnabled(*this, kBonusType, true);
    get<tk::Control>("dckBonificacao").setCaption(msgPadrao.Msg(entrada ? "Compra" : "Venda"));

    if (entrada) {
        dbcUtCtrlAIDF->setEnabled(false);
    } else {
        dbcUtCtrlAIDF->setEnabled(dbcInfNumeNf->checked());
        dckImpProdEmis->setEnabled(dckUtlEmisNFSe->checked());
        if (dckDocDevo->checked()) dckContabNFOrigem->setEnabled(true);
    }

    for (const auto& v : kVisibility)
        get<tk::Control>(v.control).setVisible(entrada ? v.entrada : v.saida);
    for (const char* name : entrada ? std::span<const char* const>(kHiddenInEntrada)
                                    : std::span<const char* const>(kHiddenInSaida))
        get<tk::Control>(name).setVisible(false);
    if (!entrada)
        for (const char* name : kShownInSaida)
            get<tk::Control>(name).setVisible(true);

    // The options of the kind stand together, one row under the other, and the tab order follows.
    const auto& definition = screen::definition();
    const screen::ArrangedLayout layout =
        definition.arrange(entrada ? screen::Kind::Entrada : screen::Kind::Saida);
    for (const auto& placement : layout.placements) {
        tk::Control& c = get<tk::Control>(placement.name);
        const tk::Bounds was = c.bounds().value_or(tk::Bounds{});
        c.setBounds(tk::Bounds{placement.left, placement.top, was.width, was.height});
        c.setTabOrder(placement.tabOrder);
    }
    tk::Control& container = get<tk::Control>(definition.arrangement.layout.container);
    tk::Bounds box = container.bounds().value_or(tk::Bounds{});
    box.height = layout.containerHeight;
    container.setBounds(box);
}

void TfrmTipOper::cbbEntSaidChange(tk::Component&) {
    // The transfer note follows the kind picked at once; the rest waits for the focus to leave.
    HabilitaGeraNFTrans();
}

void TfrmTipOper::dcbIdOrigDestOpChange(tk::Component&) {
    HabilitaGeraNFTrans();
    // A CPF/CNPJ typed at invoice entry names a supplier: only entries from a supplier offer it. Its
    // check and the supplier group follow at the next record or state change.
    if (cbbEntSaid->itemIndex() != 0)
        dckInfCPF->setEnabled(false);
    else
        dckInfCPF->setEnabled(dcbIdOrigDestOp->itemIndex() == 0);
}

void TfrmTipOper::dbcIdGeraNFCmpKeyDown(tk::Component&, std::uint16_t& Key, tk::ShiftState) {
    if (!cdsTipOper.isEditing()) return;
    // The key is left to the list as well, which then shows the item of the value written here.
    if (Key == 'S')
        cdsTipOper.fieldByName("IDGERANFCMP").setAsString("S");
    else if (Key == 'N')
        cdsTipOper.fieldByName("IDGERANFCMP").setAsString("N");
}

} // namespace Cli_ger06600
