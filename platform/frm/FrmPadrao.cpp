#include "frm/FrmPadrao.h"

#include "lib/Consiste.h"
#include "lib/Morvala.h"
#include "toolkit/Application.h"

#include <vector>

namespace frm {

namespace {

tk::TSpeedButton& button(tk::Form& form, const char* name, const char* caption, const char* hint) {
    auto& b = form.add<tk::TSpeedButton>(name);
    b.setCaption(caption);
    b.setHint(hint);
    return b;
}

tk::TMenuItem& menuItem(tk::Form& form, const char* name, const char* caption) {
    auto& item = form.add<tk::TMenuItem>(name);
    item.setCaption(caption);
    return item;
}

} // namespace

TfrmPadrao::TfrmPadrao(std::string name)
    : tk::Form(std::move(name)), sbtIncluir(button(*this, "sbtIncluir", "Incluir", "Incluir registro")),
      sbtAlterar(button(*this, "sbtAlterar", "Alterar", "Alterar registro")),
      sbtExcluir(button(*this, "sbtExcluir", "Excluir", "Excluir registro")),
      sbtProcurar(button(*this, "sbtProcurar", "Procurar", "Procurar registro")),
      sbtVerificar(button(*this, "sbtVerificar", "Verificar", "Verificar registros no servidor")),
      sbtOrdenar(button(*this, "sbtOrdenar", "Ordenar", "Ordenar registros")),
      sbtCancelar(button(*this, "sbtCancelar", "Cancelar", "Cancelar alterações")),
      sbtConfirmar(button(*this, "sbtConfirmar", "Confirmar", "Confirmar alterações")),
      sbtImprimir(button(*this, "sbtImprimir", "Imprimir", "Imprimir")),
      sbtAjuda(button(*this, "sbtAjuda", "Ajuda", "Ajuda")),
      sbtFechar(button(*this, "sbtFechar", "Fechar", "Fechar a tela")),
      mnuFolhaDados(menuItem(*this, "mnuFolhaDados", "Folha de Dados")),
      mnuFormulario(menuItem(*this, "mnuFormulario", "Formulário")),
      mnuListagem(menuItem(*this, "mnuListagem", "Listagem")),
      mnuIncluir(menuItem(*this, "mnuIncluir", "Incluir")),
      mnuAlterar(menuItem(*this, "mnuAlterar", "Alterar")),
      mnuExcluir(menuItem(*this, "mnuExcluir", "Excluir")),
      mnuProcurar(menuItem(*this, "mnuProcurar", "Procurar")),
      mnuVerificar(menuItem(*this, "mnuVerificar", "Verificar")),
      mnuCancelar(menuItem(*this, "mnuCancelar", "Cancelar")),
      mnuConfirmar(menuItem(*this, "mnuConfirmar", "Confirmar")),
      pgcPadrao(add<tk::TPageControl>("pgcPadrao")),
      tshFolhaDados(add<tk::TTabSheet>("tshFolhaDados", &pgcPadrao)),
      dbgPadrao(add<tk::TDBGrid>("dbgPadrao", &tshFolhaDados)),
      tshFormulario(add<tk::TTabSheet>("tshFormulario", &pgcPadrao)),
      dbnPadrao(add<tk::TDBNavigator>("dbnPadrao")), lblCodTela(add<tk::TLabel>("lblCodTela")),
      dtsPadrao(addDataSource("dtsPadrao")),
      msgMensagensPadroes({"Canc|Deseja cancelar as alterações?", "Excl|Deseja excluir o registro?",
                           "FechAlt|Existem alterações não gravadas. Deseja descartá-las e fechar a tela?",
                           "SemPermissao|Usuário sem permissão para alterar tipos de operação."}) {
    for (const char* key : {"Canc", "Excl", "FechAlt"})
        msgMensagensPadroes.setDefaultAnswer(key, tk::kAnswerNo);
    tshFolhaDados.setCaption("Folha de Dados");
    tshFormulario.setCaption("Formulário");
    pgcPadrao.setActivePage(&tshFolhaDados);

    dbgPadrao.setDataSource(&dtsPadrao);
    // The grid page lists records; typing into it is turned on only by screens that edit there.
    dbgPadrao.setOptions({"dgTitles", "dgIndicator", "dgColumnResize", "dgColLines", "dgRowLines", "dgTabs",
                          "dgConfirmDelete", "dgCancelOnExit"});
    dbnPadrao.setDataSource(&dtsPadrao);

    onCreate = [this](tk::Form& sender) { FormCreate(sender); };
    onShow = [this](tk::Form& sender) { FormShow(sender); };
    onClose = [this](tk::Form& sender, tk::CloseAction& action) { FormClose(sender, action); };
    onCloseQuery = [this](tk::Form& sender, bool& canClose) { FormCloseQuery(sender, canClose); };

    // Each toolbar button and its menu item run the same handler.
    auto bind = [](tk::TSpeedButton& b, tk::TMenuItem* item, std::function<void(tk::Control&)> handler) {
        b.onClick = handler;
        if (item) item->onClick = std::move(handler);
    };
    bind(sbtIncluir, &mnuIncluir, [this](tk::Control& s) { sbtIncluirClick(s); });
    bind(sbtAlterar, &mnuAlterar, [this](tk::Control& s) { sbtAlterarClick(s); });
    bind(sbtExcluir, &mnuExcluir, [this](tk::Control& s) { sbtExcluirClick(s); });
    guardWrites();
    bind(sbtProcurar, &mnuProcurar, [this](tk::Control& s) { sbtProcurarClick(s); });
    bind(sbtVerificar, &mnuVerificar, [this](tk::Control& s) { sbtVerificarClick(s); });
    bind(sbtCancelar, &mnuCancelar, [this](tk::Control& s) { sbtCancelarClick(s); });
    bind(sbtConfirmar, &mnuConfirmar, [this](tk::Control& s) { sbtConfirmarClick(s); });
    bind(sbtFechar, nullptr, [this](tk::Control& s) { sbtFecharClick(s); });

    pgcPadrao.onChange = [this](tk::Control& s) { pgcPadraoChange(s); };
    mnuFolhaDados.onClick = [this](tk::Control&) { showPage(tshFolhaDados); };
    mnuFormulario.onClick = [this](tk::Control&) { showPage(tshFormulario); };
    mnuFolhaDados.setChecked(true);
}

TfrmPadrao::~TfrmPadrao() = default;

void TfrmPadrao::showPage(tk::TTabSheet& page) {
    // A page the rules disabled stays closed to its menu item too.
    if (!page.enabled()) return;
    pgcPadrao.setActivePage(&page);
    pgcPadraoChange(pgcPadrao);
}

void TfrmPadrao::guardWrites() {
    // Whatever include, alter and delete run (a screen's definition may bind its own handlers to
    // them), a user who may only read is refused first, whatever page it acts on: nothing changes.
    // Wrapped twice when nobody rebound them: the first refusal ends the act, so it shows once.
    for (tk::Control* c : std::initializer_list<tk::Control*>{&sbtIncluir, &mnuIncluir, &sbtAlterar, &mnuAlterar,
                                                               &sbtExcluir, &mnuExcluir}) {
        if (!c->onClick) continue;
        c->onClick = [this, inner = std::move(c->onClick)](tk::Control& sender) {
            refuseReadOnlyUser();
            inner(sender);
        };
    }
}

void TfrmPadrao::refuseReadOnlyUser() {
    const auto user = Morvala::CurrentUser();
    if (user && user->role == Morvala::kReadOnlyRole) Consiste::MensErro(msgMensagensPadroes.Msg("SemPermissao"), true);
}

void TfrmPadrao::FormCreate(tk::Component&) {}

void TfrmPadrao::FormShow(tk::Component&) {}

void TfrmPadrao::FormClose(tk::Component&, tk::CloseAction& Action) {
    Action = tk::CloseAction::Free;
}

void TfrmPadrao::FormCloseQuery(tk::Component&, bool& CanClose) {
    std::vector<tk::DataSet*> editing;
    for (const auto& set : dataSets())
        if (set->isEditing()) editing.push_back(set.get());
    if (editing.empty()) return;
    if (msgMensagensPadroes.ShowMsg("FechAlt", 3, 3, 0) != tk::kAnswerYes) {
        CanClose = false;
        return;
    }
    for (tk::DataSet* set : editing)
        if (set->isEditing()) set->cancel();
}

void TfrmPadrao::pgcPadraoChange(tk::Component&) {
    mnuFolhaDados.setChecked(pgcPadrao.activePage() == &tshFolhaDados);
    mnuFormulario.setChecked(pgcPadrao.activePage() == &tshFormulario);
}

void TfrmPadrao::sbtIncluirClick(tk::Component&) {
    if (tk::DataSet* set = mainDataSet()) set->insert();
}

void TfrmPadrao::sbtAlterarClick(tk::Component&) {
    if (tk::DataSet* set = mainDataSet()) set->edit();
}

void TfrmPadrao::sbtExcluirClick(tk::Component&) {
    tk::DataSet* set = mainDataSet();
    if (!set || !set->active() || (set->isEmpty() && !set->isEditing())) return;
    if (msgMensagensPadroes.ShowMsg("Excl", 3, 3, 0) != tk::kAnswerYes) throw tk::SilentAbort();
    set->remove();
}

void TfrmPadrao::sbtConfirmarClick(tk::Component&) {
    if (tk::DataSet* set = mainDataSet()) set->post();
}

void TfrmPadrao::sbtCancelarClick(tk::Component&) {
    if (tk::DataSet* set = mainDataSet()) set->cancel();
}

void TfrmPadrao::sbtVerificarClick(tk::Component&) {}

void TfrmPadrao::sbtProcurarClick(tk::Component&) {}

void TfrmPadrao::sbtFecharClick(tk::Component&) {
    close();
}

} // namespace frm
