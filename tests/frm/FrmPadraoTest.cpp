#include "frm/FrmPadrao.h"

#include "ScriptedDialogs.h"
#include "frm/BtnPesquisa.h"
#include "frm/ConsisteUi.h"
#include "toolkit/DBCheckBox.h"
#include "toolkit/DBGrid.h"
#include "toolkit/GroupBox.h"
#include "toolkit/Input.h"
#include "toolkit/Panel.h"

#include <gtest/gtest.h>

namespace {

// A screen that records which inherited handlers ran, then lets the base form act.
class TfrmTeste : public frm::TfrmPadrao {
public:
    std::vector<std::string> calls;
    tk::DataSet& cdsTeste = addDataSet("cdsTeste");

    TfrmTeste() : frm::TfrmPadrao("frmTeste") {
        cdsTeste.addField("CODIGO", 2);
        cdsTeste.addField("NOME", 10);
        dtsPadrao.setDataSet(&cdsTeste);
        wire::DataPacket packet;
        packet.fields = {{"CODIGO", "string", 2}, {"NOME", "string", 10}};
        packet.rows = {{"01", "um"}, {"02", "dois"}};
        cdsTeste.setData(packet);
    }
    void pgcPadraoChange(tk::Component& Sender) override {
        calls.push_back("pgcPadraoChange");
        TfrmPadrao::pgcPadraoChange(Sender);
    }
    void sbtIncluirClick(tk::Component& Sender) override {
        calls.push_back("sbtIncluirClick " + Sender.name());
        TfrmPadrao::sbtIncluirClick(Sender);
    }
    void sbtCancelarClick(tk::Component& Sender) override {
        calls.push_back("sbtCancelarClick " + Sender.name());
        TfrmPadrao::sbtCancelarClick(Sender);
    }
};

class FrmPadraoTest : public ::testing::Test {
protected:
    tk::Application app;
    tk::Application::Scope scope{app};
    ScriptedDialogs dialogs;
    TfrmTeste* form = nullptr;

    FrmPadraoTest() {
        app.setDialogs(&dialogs);
        auto owned = std::make_unique<TfrmTeste>();
        form = owned.get();
        app.adoptForm(std::move(owned));
        form->create();
        form->show();
    }
};

TEST_F(FrmPadraoTest, CreatesTheStandardComponents) {
    const std::vector<std::pair<const char*, const char*>> captions = {
        {"sbtIncluir", "Incluir"},       {"sbtAlterar", "Alterar"},
        {"sbtExcluir", "Excluir"},       {"sbtProcurar", "Procurar"},
        {"sbtVerificar", "Verificar"},   {"sbtOrdenar", "Ordenar"},
        {"sbtCancelar", "Cancelar"},     {"sbtConfirmar", "Confirmar"},
        {"sbtImprimir", "Imprimir"},     {"sbtAjuda", "Ajuda"},
        {"sbtFechar", "Fechar"},         {"mnuFolhaDados", "Folha de Dados"},
        {"mnuFormulario", "Formulário"}, {"mnuListagem", "Listagem"},
        {"mnuConfirmar", "Confirmar"},   {"tshFolhaDados", "Folha de Dados"},
        {"tshFormulario", "Formulário"},
    };
    for (const auto& [name, caption] : captions) {
        const tk::Control* c = form->control(name);
        ASSERT_NE(c, nullptr) << name;
        EXPECT_EQ(c->caption(), caption) << name;
    }
    EXPECT_EQ(form->dbgPadrao.parent(), &form->tshFolhaDados);
    EXPECT_EQ(form->pgcPadrao.activePage(), &form->tshFolhaDados);
    EXPECT_FALSE(form->dbgPadrao.editingEnabled());
    EXPECT_EQ(form->dataSource("dtsPadrao"), &form->dtsPadrao);
    EXPECT_EQ(form->msgMensagensPadroes.Msg("Canc"), "Deseja cancelar as alterações?");
    EXPECT_EQ(form->msgMensagensPadroes.Msg("Excl"), "Deseja excluir o registro?");
    for (const char* key : {"Canc", "Excl", "FechAlt"})
        EXPECT_EQ(form->msgMensagensPadroes.defaultAnswer(key), tk::kAnswerNo) << key;
    EXPECT_STREQ(form->createControl("TBtnPesquisa", "btpTeste", nullptr).typeName(), "TBtnPesquisa");
}

TEST_F(FrmPadraoTest, ButtonAndMenuItemRunTheSameHandlers) {
    ASSERT_TRUE(tk::Input::click(*form, "mnuIncluir").ok());
    EXPECT_EQ(form->cdsTeste.state(), tk::DataSetState::Insert);
    ASSERT_TRUE(tk::Input::click(*form, "sbtCancelar").ok());
    EXPECT_EQ(form->cdsTeste.state(), tk::DataSetState::Browse);
    ASSERT_TRUE(tk::Input::click(*form, "sbtIncluir").ok());
    EXPECT_EQ(form->calls,
              (std::vector<std::string>{"sbtIncluirClick mnuIncluir", "sbtCancelarClick sbtCancelar",
                                        "sbtIncluirClick sbtIncluir"}));
    form->cdsTeste.fieldByName("CODIGO").setValue("03");
    ASSERT_TRUE(tk::Input::click(*form, "sbtConfirmar").ok());
    EXPECT_EQ(form->cdsTeste.recordCount(), 3);
    ASSERT_TRUE(tk::Input::click(*form, "mnuAlterar").ok());
    EXPECT_EQ(form->cdsTeste.state(), tk::DataSetState::Edit);
    ASSERT_TRUE(tk::Input::click(*form, "mnuCancelar").ok());
    dialogs.confirmAnswers.push_back(tk::kAnswerYes);
    ASSERT_TRUE(tk::Input::click(*form, "sbtExcluir").ok());
    EXPECT_EQ(form->cdsTeste.recordCount(), 2);
}

TEST_F(FrmPadraoTest, DeletingTheRecordAsksFirstAndNoKeepsIt) {
    dialogs.confirmAnswers = {tk::kAnswerNo, tk::kAnswerCancel, tk::kAnswerYes};
    for (int round = 0; round < 2; ++round) { // No, then a dismissed question
        EXPECT_THROW((void)tk::Input::click(*form, "sbtExcluir"), tk::SilentAbort);
        EXPECT_EQ(form->cdsTeste.recordCount(), 2);
        EXPECT_EQ(form->cdsTeste.changeCount(), 0);
    }
    ASSERT_TRUE(tk::Input::click(*form, "sbtExcluir").ok());
    EXPECT_EQ(form->cdsTeste.recordCount(), 1);
    ASSERT_EQ(dialogs.asked.size(), 3u);
    for (const auto& asked : dialogs.asked) {
        EXPECT_EQ(asked.title, "Excl");
        EXPECT_EQ(asked.text, "Deseja excluir o registro?");
        EXPECT_EQ(asked.defaultAnswer, tk::kAnswerNo) << "a question that destroys work defaults to No";
    }
    // Nothing left to delete: nothing is asked.
    dialogs.confirmAnswers = {tk::kAnswerYes};
    ASSERT_TRUE(tk::Input::click(*form, "sbtExcluir").ok());
    ASSERT_TRUE(tk::Input::click(*form, "sbtExcluir").ok());
    EXPECT_EQ(form->cdsTeste.recordCount(), 0);
    EXPECT_EQ(dialogs.asked.size(), 4u);
}

TEST_F(FrmPadraoTest, ClosingWithAPendingEditAsksAndNoKeepsTheEdit) {
    ASSERT_TRUE(tk::Input::click(*form, "sbtAlterar").ok());
    form->cdsTeste.fieldByName("NOME").setValue("editado");
    dialogs.confirmAnswers = {tk::kAnswerNo};
    ASSERT_TRUE(tk::Input::click(*form, "sbtFechar").ok());
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].title, "FechAlt");
    EXPECT_EQ(dialogs.asked[0].text, "Existem alterações não gravadas. Deseja descartá-las e fechar a tela?");
    EXPECT_EQ(dialogs.asked[0].defaultAnswer, tk::kAnswerNo);
    EXPECT_TRUE(form->visible());
    EXPECT_EQ(form->cdsTeste.state(), tk::DataSetState::Edit);
    EXPECT_EQ(form->cdsTeste.fieldByName("NOME").asString(), "editado");

    // The same question for a close that does not come from the button; Yes throws the edit away.
    dialogs.confirmAnswers = {tk::kAnswerYes};
    ASSERT_TRUE(tk::Input::close(*form).ok());
    EXPECT_EQ(dialogs.asked.size(), 2u);
    EXPECT_FALSE(form->visible());
    EXPECT_EQ(form->cdsTeste.state(), tk::DataSetState::Browse);
    EXPECT_EQ(form->cdsTeste.fieldByName("NOME").asString(), "um");
}

TEST_F(FrmPadraoTest, ClosingWithoutAnEditOrWithoutAskingClosesAtOnce) {
    ASSERT_TRUE(tk::Input::click(*form, "sbtFechar").ok());
    EXPECT_FALSE(form->visible());
    EXPECT_TRUE(dialogs.asked.empty());

    form->show();
    ASSERT_TRUE(tk::Input::click(*form, "sbtIncluir").ok());
    ASSERT_TRUE(tk::Input::close(*form, tk::CloseQuery::Skip).ok());
    EXPECT_FALSE(form->visible());
    EXPECT_TRUE(dialogs.asked.empty()) << "a host ending the client asks nobody";
}

TEST_F(FrmPadraoTest, PageMenuItemsShowTheirPageAndRunThePageHook) {
    ASSERT_TRUE(tk::Input::click(*form, "mnuFormulario").ok());
    EXPECT_EQ(form->pgcPadrao.activePage(), &form->tshFormulario);
    EXPECT_EQ(form->calls, std::vector<std::string>{"pgcPadraoChange"});
    EXPECT_TRUE(form->mnuFormulario.checked());
    EXPECT_FALSE(form->mnuFolhaDados.checked());
    // A disabled page stays closed to its menu item as well.
    form->tshFolhaDados.setEnabled(false);
    ASSERT_TRUE(tk::Input::click(*form, "mnuFolhaDados").ok());
    EXPECT_EQ(form->pgcPadrao.activePage(), &form->tshFormulario);
    EXPECT_EQ(form->calls.size(), 1u);
    // The user's switch reaches the same hook through the page control's change event.
    form->tshFolhaDados.setEnabled(true);
    ASSERT_TRUE(tk::Input::page(*form, "tshFolhaDados").ok());
    EXPECT_EQ(form->calls.size(), 2u);
    EXPECT_TRUE(form->mnuFolhaDados.checked());
}

TEST_F(FrmPadraoTest, CloseFreesTheFormAfterTheEvent) {
    ASSERT_TRUE(tk::Input::click(*form, "sbtFechar").ok());
    EXPECT_EQ(app.forms().size(), 1u);
    app.collectReleased();
    EXPECT_TRUE(app.forms().empty());
}

TEST(ConsisteUiTest, SetChildEnabledReachesEveryLevelButNotTheContainer) {
    tk::Form form("frm");
    auto& outer = form.add<tk::TGroupBox>("grbFora");
    auto& panel = form.add<tk::TPanel>("panDentro", &outer);
    auto& deep = form.add<tk::TDBCheckBox>("dckFundo", &panel);
    auto& beside = form.add<tk::TDBCheckBox>("dckAoLado");
    Consiste::SetChildEnabled(outer, false);
    EXPECT_TRUE(outer.enabled());
    EXPECT_FALSE(panel.enabled());
    EXPECT_FALSE(deep.enabled());
    EXPECT_TRUE(beside.enabled());
    Consiste::SetChildEnabled(outer, true);
    EXPECT_TRUE(deep.enabled() && panel.enabled());
}

TEST(ConsisteUiTest, GridTextIncludesTheTextBeingTyped) {
    tk::Form form("frm");
    auto& set = form.addDataSet("cds");
    set.addField("CDMENSAGEM", 3);
    auto& source = form.addDataSource("dts", &set);
    auto& grid = form.add<tk::TDBGrid>("dbg");
    grid.setDataSource(&source);
    grid.setColumns({{"CDMENSAGEM", "Código", 54}});
    grid.setOption("dgEditing", true);
    wire::DataPacket packet;
    packet.fields = {{"CDMENSAGEM", "string", 3}};
    packet.rows = {{"001"}};
    set.setData(packet);
    EXPECT_EQ(Consiste::GridText(grid, "CDMENSAGEM", false), "001");
    set.edit();
    ASSERT_TRUE(tk::Input::gridType(form, "dbg", "CDMENSAGEM", "7").ok());
    EXPECT_EQ(Consiste::GridText(grid, "CDMENSAGEM", false), "7");
    EXPECT_EQ(set.fieldByName("CDMENSAGEM").asString(), "001");
}

} // namespace
