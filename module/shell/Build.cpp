// Builds the screen from its definition: datasets and their fields, data sources, controls with
// their initial state, and the binding of every event to the handler the definition names.

#include "shell/Toolkit.h"
#include "screen/ScreenDefinition.h"
#include "shell/TfrmTipOper.h"

#include <functional>
#include <map>
#include <set>
#include <stdexcept>

namespace Cli_ger06600 {

namespace {

const screen::Definition& def() { return screen::definition(); }

tk::DataSet& makeDataSet(tk::Form& form, const std::string& name) {
    const auto& d = def().dataSet(name);
    auto& set = form.addDataSet(name);
    for (const auto& f : d.fields) {
        auto& field = set.addField(f.name, f.size, f.label, f.visible);
        field.required = f.required;
        if (!f.editMask.empty()) field.setEditMask(f.editMask);
    }
    if (!d.indexFields.empty()) set.setIndexFieldName(d.indexFields);
    return set;
}

void bindData(tk::Control& control, tk::DataSource* source, const std::string& field) {
    if (auto* c = dynamic_cast<tk::TDBCheckBox*>(&control)) {
        c->setDataSource(source);
        c->setDataField(field);
    } else if (auto* e = dynamic_cast<tk::TDBEdit*>(&control)) {
        e->setDataSource(source);
        e->setDataField(field);
    } else if (auto* b = dynamic_cast<tk::TDBComboBox*>(&control)) {
        b->setDataSource(source);
        b->setDataField(field);
    } else if (auto* t = dynamic_cast<tk::TDBText*>(&control)) {
        t->setDataSource(source);
        t->setDataField(field);
    }
}

void applyProperties(tk::Form& form, tk::Control& control, const screen::Control& c) {
    if (c.caption) control.setCaption(*c.caption);
    if (c.text) control.setText(*c.text);
    if (c.enabled) control.setEnabled(*c.enabled);
    if (c.visible) control.setVisible(*c.visible);
    if (c.color) control.setColor(*c.color);
    if (c.hint) control.setHint(*c.hint);
    if (c.tabStop) control.setTabStop(*c.tabStop);
    if (c.geometry) control.setBounds(tk::Bounds{c.geometry->left, c.geometry->top, c.geometry->width, c.geometry->height});
    if (auto* combo = dynamic_cast<tk::TComboBox*>(&control)) {
        if (!c.items.empty()) combo->setItems(c.items);
        if (c.itemIndex) combo->setItemIndex(*c.itemIndex);
    }
    if (auto* list = dynamic_cast<tk::TDBComboBox*>(&control)) {
        if (!c.items.empty()) list->setItems(c.items);
    }
    if (auto* radio = dynamic_cast<tk::TRadioButton*>(&control)) {
        if (c.checked) radio->setChecked(*c.checked);
    }
    if (auto* box = dynamic_cast<tk::TDBCheckBox*>(&control)) {
        if (c.valueChecked || c.valueUnchecked)
            box->setValues(c.valueChecked.value_or("S"), c.valueUnchecked.value_or("N"));
        if (c.readOnly) box->setReadOnly(*c.readOnly);
    }
    if (auto* edit = dynamic_cast<tk::TDBEdit*>(&control)) {
        if (c.maxLength) edit->setMaxLength(*c.maxLength);
        if (c.readOnly) edit->setReadOnly(*c.readOnly);
    }
    if (auto* grid = dynamic_cast<tk::TDBGrid*>(&control)) {
        if (!c.columns.empty()) {
            std::vector<tk::GridColumn> columns;
            for (const auto& col : c.columns) columns.push_back({col.field, col.title, col.width});
            grid->setColumns(std::move(columns));
        }
        if (!c.options.empty()) grid->setOptions(std::set<std::string>(c.options.begin(), c.options.end()));
        if (c.dataSource) grid->setDataSource(form.dataSource(*c.dataSource));
    }
    if (auto* search = dynamic_cast<frm::TBtnPesquisa*>(&control)) {
        if (c.title) search->Title = *c.title;
        if (c.emptyError) search->EmptyError = *c.emptyError;
        if (c.searchDataSource) search->DataSource = form.dataSource(*c.searchDataSource);
    }
    if (c.dataSource && c.field) bindData(control, form.dataSource(*c.dataSource), *c.field);
}

} // namespace

TfrmTipOper::TfrmTipOper(UnitGlobals& unit)
    : frm::TfrmPadrao(def().form.name), cdsTipOper(makeDataSet(*this, "cdsTipOper")),
      cdsMensTipoOper(makeDataSet(*this, "cdsMensTipoOper")), cdsCusto(makeDataSet(*this, "cdsCusto")),
      cdsPreco(makeDataSet(*this, "cdsPreco")), cdsVdCusto(makeDataSet(*this, "cdsVdCusto")),
      cdsVdPreco(makeDataSet(*this, "cdsVdPreco")), cdsBonificacao(makeDataSet(*this, "cdsBonificacao")),
      cdsVdBonif(makeDataSet(*this, "cdsVdBonif")),
      dtsMensTipoOper(addDataSource("dtsMensTipoOper", &cdsMensTipoOper)), unit_(unit) {
    const auto& d = def();
    setCaption(d.form.caption);
    lblCodTela.setCaption(d.form.screenCode);
    msgPadrao.setLines(d.catalogue("msgPadrao"));
    dtsPadrao.setDataSet(&cdsTipOper);
    addDataSource("dtsBtnCusto", &cdsCusto);
    addDataSource("dtsBtnPreco", &cdsPreco);
    addDataSource("dtsBtnBonificacao", &cdsBonificacao);
    // The rows of the local queries reach their search lists through datasets of the same names.
    for (const char* source : {"dtsFornecedor", "dtsPesqDocOrigem", "dtsPesqEncargo"}) {
        const auto& ds = d.dataSource(source);
        const auto& q = d.query(ds.dataSet);
        auto& rows = addDataSet(q.name);
        for (const auto& f : q.fields) rows.addField(f.name, f.size, f.label, f.visible);
        addDataSource(ds.name, &rows);
    }

    netTipOper.setServerName(d.connection.serverName);
    netTipOper.setThrowException(d.connection.throwException);

    // Containers come before their children in the definition, so one pass builds the tree.
    for (const auto& c : d.controls) {
        tk::Control* control = nullptr;
        if (c.inherited) {
            control = this->control(c.name);
            if (!control) throw std::logic_error("componente herdado ausente: " + c.name);
        } else {
            tk::Control* parent = c.parent.empty() ? nullptr : this->control(c.parent);
            control = &createControl(c.type, c.name, parent);
        }
        applyProperties(*this, *control, c);
    }
    // Search buttons name their associated control, which may come later in the definition.
    for (const auto& c : d.controls)
        if (c.associate)
            if (auto* search = find<frm::TBtnPesquisa>(c.name)) search->Associate = this->control(*c.associate);

    bindComponents();
    bindHandlers();
}

TfrmTipOper::~TfrmTipOper() {
    if (unit_.frmTipOper == this) unit_.formAlive = false;
}

void TfrmTipOper::bindComponents() {
    auto get = [this](auto*& member, const char* name) {
        using T = std::remove_pointer_t<std::remove_reference_t<decltype(member)>>;
        member = &this->get<T>(name);
    };
    get(panFiltro, "panFiltro");
    get(cbbEntSaid, "cbbEntSaid");
    get(tshMensagem, "tshMensagem");
    get(dbgMensagem, "dbgMensagem");
    get(lblOrigDest, "lblOrigDest");
    get(lblCodigo, "lblCodigo");
    get(dbeCdTipoOper, "dbeCdTipoOper");
    get(dbeNmRazsocForn, "dbeNmRazsocForn");
    get(dcbIdOrigDestOp, "dcbIdOrigDestOp");
    get(grbFornePadr, "grbFornePadr");
    get(grbDocOrigem, "grbDocOrigem");
    get(rbtTodosF, "rbtTodosF");
    get(rbtListaF, "rbtListaF");
    get(rbtTEncargo, "rbtTEncargo");
    get(rbtEncargo, "rbtEncargo");
    get(rbtNenhum, "rbtNenhum");
    get(btpDocOrigem, "btpDocOrigem");
    get(btnPesqEncargo, "btnPesqEncargo");
    get(Bevel2, "Bevel2");
    get(lblFornePadr, "lblFornePadr");
    get(dbeCdFornePadr, "dbeCdFornePadr");
    get(btpFornecedor, "btpFornecedor");
    get(lblDsNmOper, "lblDsNmOper");
    get(dbeNmOper, "dbeNmOper");

    get(dbcEmiss, "dbcEmiss");
    get(dckDocDevo, "dckDocDevo");
    get(dckOrigObrig, "dckOrigObrig");
    get(dckPesqLista, "dckPesqLista");
    get(dckDocOrigRelac, "dckDocOrigRelac");
    get(dckContabNFOrigem, "dckContabNFOrigem");
    get(dckContabImpProd, "dckContabImpProd");
    get(dckInfCPF, "dckInfCPF");
    get(dbcNfAjuste, "dbcNfAjuste");
    get(dckNotaDevo, "dckNotaDevo");
    get(dckSugQtdTotDev, "dckSugQtdTotDev");
    get(dckEstornoCanc, "dckEstornoCanc");
    get(dckNotaPrestServ, "dckNotaPrestServ");
    get(dckUtLocPrestServ, "dckUtLocPrestServ");
    get(dckRealAprovAuto, "dckRealAprovAuto");
    get(dckAtuaEst, "dckAtuaEst");
    get(dckIDUtCusOrigEst, "dckIDUtCusOrigEst");
    get(dckIdUtilVenc, "dckIdUtilVenc");
    get(dckVencObri, "dckVencObri");
    get(dckIdGeraVenc, "dckIdGeraVenc");
    get(dbcIdGeraVenNf, "dbcIdGeraVenNf");
    get(dbcInfNumeNf, "dbcInfNumeNf");
    get(dbcUtCtrlAIDF, "dbcUtCtrlAIDF");
    get(dckUtlEmisNFSe, "dckUtlEmisNFSe");
    get(dckImpProdEmis, "dckImpProdEmis");
    get(dckGeraNFTrans, "dckGeraNFTrans");
    get(dbcAltDsEmis, "dbcAltDsEmis");
    get(dckGeraDup, "dckGeraDup");
    get(dckSerieAuto, "dckSerieAuto");
    get(dckIDNFIMPORTACAO, "dckIDNFIMPORTACAO");
    get(dckIDNFIMPORTACAOIND, "dckIDNFIMPORTACAOIND");
    get(dckAltDtRefAprov, "dckAltDtRefAprov");
    get(dckObrDtRefFat, "dckObrDtRefFat");
    get(dckContSomenImpo, "dckContSomenImpo");
    get(dckIdBloqNfFechDia, "dckIdBloqNfFechDia");
    get(dckConsAnaConc, "dckConsAnaConc");
    get(dckRemeInsuAprov, "dckRemeInsuAprov");
    get(dckPortCatSP, "dckPortCatSP");
}

} // namespace Cli_ger06600
