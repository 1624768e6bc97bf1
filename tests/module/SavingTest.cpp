// Including, altering, confirming, deleting and cancelling operation types end to end.

#include "ScreenFixture.h"

#include <algorithm>

namespace {

using testing_support::ScreenTest;
using testing_support::tracedOperations;

long countOf(const std::vector<std::string>& ops, const std::string& op) {
    return std::count(ops.begin(), ops.end(), op);
}

class SavingTest : public ScreenTest {
protected:
    // Includes a new operation type through the screen as a user does, and confirms it.
    void includeAndConfirm(const std::string& code, const std::string& name) {
        auto& s = screen();
        expectOk(tk::Input::click(s, "sbtIncluir"));
        expectOk(tk::Input::type(s, "dbeCdTipoOper", code));
        expectOk(tk::Input::focus(s, "dbeNmTipoOper"));
        expectOk(tk::Input::type(s, "dbeNmTipoOper", name));
        expectOk(tk::Input::click(s, "sbtConfirmar"));
    }
};

TEST_F(SavingTest, ANewOperationTypeIsStoredWithItsDefaultsAndTheKindOfTheFilter) {
    insertTipOper("S", "01", "Venda");
    open();
    loadKind(1);
    auto& s = screen();
    expectOk(tk::Input::click(s, "sbtIncluir"));
    EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Insert);
    EXPECT_EQ(s.pgcPadrao.activePage(), &s.tshFormulario);
    EXPECT_EQ(s.activeControl(), s.dbeCdTipoOper) << "the cursor waits in the code";
    EXPECT_EQ(s.cdsTipOper.fieldByName("IDORIGDESTOP").asString(), "C") << "Saída defaults to customer";
    EXPECT_TRUE(s.dckContabNFOrigem->checked());
    EXPECT_TRUE(s.dckIdBloqNfFechDia->checked());
    EXPECT_TRUE(s.cdsTipOper.fieldByName("IDENTRSAIDOP").isNull());

    expectOk(tk::Input::type(s, "dbeCdTipoOper", "7"));
    expectOk(tk::Input::focus(s, "dbeNmTipoOper"));
    EXPECT_EQ(s.dbeCdTipoOper->text(), "07") << "leaving the code adjusts it";
    expectOk(tk::Input::type(s, "dbeNmTipoOper", "Venda para consumidor"));
    expectOk(tk::Input::click(s, "sbtConfirmar"));

    EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Browse);
    EXPECT_EQ(s.cdsTipOper.changeCount(), 0);
    EXPECT_EQ(dbValue("SELECT NMTIPOOPER FROM TIPOOPERAC WHERE IDENTRSAIDOP='S' AND CDTIPOOPER='07'"),
              "Venda para consumidor");
    EXPECT_EQ(dbValue("SELECT IDCONTCONFORIG FROM TIPOOPERAC WHERE CDTIPOOPER='07'"), "S");
    EXPECT_EQ(dbValue("SELECT DSOPERENCRATPL FROM TIPOOPERAC WHERE CDTIPOOPER='07'"), "N");
    EXPECT_EQ(dbValue("SELECT IDCONTABOPER FROM TIPOOPERAC WHERE CDTIPOOPER='07'"), "S");
    EXPECT_EQ(dbValue("SELECT CDEXTIPOOPER FROM TIPOOPERAC WHERE CDTIPOOPER='07'"), "<null>");
    EXPECT_NE(s.stCampoNull.find("CDEXTIPOOPER|"), std::string::npos);
    EXPECT_EQ(app.cacheNotified(), std::vector<std::string>{"TIPOOPERAC"});
    EXPECT_EQ(s.cdsTipOper.recordCount(), 2);
}

TEST_F(SavingTest, ADuplicateCodeIsRefusedAndTheFocusReturnsToTheCode) {
    insertTipOper("E", "05", "Devolução");
    open();
    loadKind(0);
    auto& s = screen();
    expectOk(tk::Input::click(s, "sbtIncluir"));
    expectOk(tk::Input::type(s, "dbeCdTipoOper", "5"));
    EXPECT_THROW((void)tk::Input::focus(s, "dbeNmTipoOper"), tk::SilentAbort);
    ASSERT_FALSE(dialogs.asked.empty());
    EXPECT_EQ(dialogs.asked.back().kind, "error");
    EXPECT_EQ(dialogs.asked.back().text, "Tipo de operação já cadastrado.");
    EXPECT_EQ(s.activeControl(), s.dbeCdTipoOper);
    EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Insert);
}

TEST_F(SavingTest, AnEmptyNameIsRefusedBeforeAnythingIsSent) {
    open();
    loadKind(0);
    auto& s = screen();
    expectOk(tk::Input::click(s, "sbtIncluir"));
    expectOk(tk::Input::type(s, "dbeCdTipoOper", "01"));
    EXPECT_THROW((void)tk::Input::click(s, "sbtConfirmar"), tk::SilentAbort);
    EXPECT_EQ(dialogs.asked.back().text, "Nome deve ser informado.");
    EXPECT_EQ(s.activeControl(), &s.get<tk::TDBEdit>("dbeNmTipoOper"));
    EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Insert);
    EXPECT_EQ(countOf(tracedOperations(server->tracePath()), "SetTipOper"), 0);
}

TEST_F(SavingTest, ARefusedSaveIsNotPendingAndTheNextSaveCarriesOnlyItsOwnChange) {
    insertTipOper("E", "01", "Compra para revenda", {{"DSOPERENCRATPL", "N"}});
    insertTipOper("E", "02", "Compra de uso e consumo", {{"DSOPERENCRATPL", "N"}});
    open();
    loadKind(0);
    auto& s = screen();

    // Another user renames the record meanwhile: the server refuses to overwrite it.
    db().session() << "UPDATE TIPOOPERAC SET NMTIPOOPER='Outro usuário' WHERE CDTIPOOPER='01'";
    expectOk(tk::Input::click(s, "sbtAlterar"));
    expectOk(tk::Input::type(s, "dbeNmTipoOper", "Compra revenda (alterada)"));
    dialogs.conflictAnswers = {tk::ConflictChoice::Dismissed};
    expectOk(tk::Input::click(s, "sbtConfirmar"));
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].kind, "conflict");
    EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Browse);
    EXPECT_EQ(s.cdsTipOper.changeCount(), 0) << "the refused change is not pending";
    EXPECT_EQ(app.wait(), std::nullopt);
    EXPECT_EQ(dbValue("SELECT NMTIPOOPER FROM TIPOOPERAC WHERE CDTIPOOPER='01'"), "Outro usuário");

    // Even with the other user's change undone, the refused change does not come back.
    db().session() << "UPDATE TIPOOPERAC SET NMTIPOOPER='Compra para revenda' WHERE CDTIPOOPER='01'";
    expectOk(tk::Input::page(s, "tshFolhaDados"));
    expectOk(tk::Input::move(s, "cdsTipOper", 2));
    expectOk(tk::Input::click(s, "sbtAlterar"));
    expectOk(tk::Input::type(s, "dbeNmTipoOper", "Uso e consumo (alterada)"));
    expectOk(tk::Input::click(s, "sbtConfirmar"));
    EXPECT_EQ(s.cdsTipOper.changeCount(), 0);
    EXPECT_EQ(dbValue("SELECT NMTIPOOPER FROM TIPOOPERAC WHERE CDTIPOOPER='01'"), "Compra para revenda");
    EXPECT_EQ(dbValue("SELECT NMTIPOOPER FROM TIPOOPERAC WHERE CDTIPOOPER='02'"), "Uso e consumo (alterada)");
}

TEST_F(SavingTest, ARefusedDeleteBringsTheRecordBack) {
    insertTipOper("E", "01", "Compra para revenda");
    insertTipOper("E", "02", "Compra de uso e consumo");
    open();
    loadKind(0);
    auto& s = screen();
    // Another user changes the record meanwhile: the server refuses to delete what it did not show.
    db().session() << "UPDATE TIPOOPERAC SET NMTIPOOPER='Outro nome' WHERE CDTIPOOPER='01'";
    dialogs.confirmAnswers = {tk::kAnswerYes, tk::kAnswerYes};
    dialogs.conflictAnswers = {tk::ConflictChoice::Theirs};
    expectOk(tk::Input::click(s, "sbtExcluir"));
    EXPECT_EQ(dialogs.conflicts.size(), 1u);
    EXPECT_EQ(s.cdsTipOper.recordCount(), 2);
    EXPECT_EQ(s.cdsTipOper.changeCount(), 0);
    EXPECT_EQ(dbCount("SELECT COUNT(*) FROM TIPOOPERAC"), 2);

    // Without interference the delete goes through.
    expectOk(tk::Input::click(s, "sbtVerificar"));
    expectOk(tk::Input::click(s, "sbtExcluir"));
    EXPECT_EQ(s.cdsTipOper.recordCount(), 1);
    EXPECT_EQ(dbCount("SELECT COUNT(*) FROM TIPOOPERAC"), 1);
}

TEST_F(SavingTest, CancellingAnInsertReturnsToThePreviousRecordAfterTheReload) {
    insertTipOper("E", "01", "Compra para revenda");
    insertTipOper("E", "02", "Compra de uso e consumo");
    insertTipOper("E", "03", "Devolução de venda");
    open();
    loadKind(0);
    auto& s = screen();
    expectOk(tk::Input::move(s, "cdsTipOper", 2));
    expectOk(tk::Input::click(s, "sbtIncluir"));
    expectOk(tk::Input::type(s, "dbeCdTipoOper", "09"));
    dialogs.confirmAnswers.push_back(tk::kAnswerYes);
    const auto before = tracedOperations(server->tracePath());
    expectOk(tk::Input::click(s, "sbtCancelar"));
    EXPECT_EQ(dialogs.asked.back().title, "Canc");
    EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Browse);
    EXPECT_EQ(s.cdsTipOper.fieldByName("CDTIPOOPER").asString(), "02");
    EXPECT_EQ(s.cdsTipOper.recordCount(), 3);
    EXPECT_EQ(countOf(tracedOperations(server->tracePath()), "GetTipOper"), countOf(before, "GetTipOper") + 1);
    EXPECT_FALSE(s.grbDocOrigem->enabled());
}

TEST_F(SavingTest, AnsweringNoToCancelKeepsTheEditAsItWas) {
    insertTipOper("E", "01", "Compra para revenda");
    open();
    loadKind(0);
    auto& s = screen();
    expectOk(tk::Input::click(s, "sbtAlterar"));
    expectOk(tk::Input::type(s, "dbeNmTipoOper", "Nome novo"));
    dialogs.confirmAnswers.push_back(tk::kAnswerNo);
    EXPECT_THROW((void)tk::Input::click(s, "sbtCancelar"), tk::SilentAbort);
    EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Edit);
    EXPECT_EQ(s.get<tk::TDBEdit>("dbeNmTipoOper").text(), "Nome novo");
}

TEST_F(SavingTest, CancelWhileBrowsingAsksNothingAndReloadsOnTheSameRecord) {
    insertTipOper("E", "01", "Compra para revenda");
    insertTipOper("E", "02", "Compra de uso e consumo");
    open();
    loadKind(0);
    auto& s = screen();
    expectOk(tk::Input::move(s, "cdsTipOper", 2));
    db().session() << "UPDATE TIPOOPERAC SET NMTIPOOPER='Uso e consumo' WHERE CDTIPOOPER='02'";
    // The toolbar offers cancel only while editing; the handler itself still acts as a reload.
    EXPECT_FALSE(s.sbtCancelar.enabled());
    s.sbtCancelarClick(s.sbtCancelar);
    EXPECT_TRUE(dialogs.asked.empty());
    EXPECT_EQ(s.cdsTipOper.fieldByName("CDTIPOOPER").asString(), "02");
    EXPECT_EQ(s.cdsTipOper.fieldByName("NMTIPOOPER").asString(), "Uso e consumo");
}

TEST_F(SavingTest, ConfirmingWithoutAChangeSendsNothingAndTheEmptyFieldListSurvivesSaves) {
    open();
    loadKind(0);
    includeAndConfirm("01", "Compra para revenda");
    auto& s = screen();
    EXPECT_FALSE(s.stCampoNull.empty());
    const long saves = countOf(tracedOperations(server->tracePath()), "SetTipOper");
    EXPECT_EQ(saves, 1);
    expectOk(tk::Input::click(s, "sbtAlterar"));
    expectOk(tk::Input::click(s, "sbtConfirmar"));
    EXPECT_EQ(countOf(tracedOperations(server->tracePath()), "SetTipOper"), saves) << "nothing changed, nothing sent";
    // Rebuilt by the validation: the flags filled after the list was taken the first time are set now.
    EXPECT_EQ(s.stCampoNull.find("IDNFSTMANUAL|"), std::string::npos);
    const std::string list = s.stCampoNull;
    expectOk(tk::Input::page(s, "tshFolhaDados"));
    dialogs.confirmAnswers.push_back(tk::kAnswerYes);
    expectOk(tk::Input::click(s, "sbtExcluir"));
    EXPECT_EQ(s.stCampoNull, list) << "a delete does not clear the list";
    EXPECT_EQ(dbCount("SELECT COUNT(*) FROM TIPOOPERAC"), 0);
}

TEST_F(SavingTest, DeletingAsksFirstAndNoSendsNothing) {
    insertTipOper("E", "01", "Compra para revenda");
    insertTipOper("E", "02", "Compra de uso e consumo");
    open();
    loadKind(0);
    auto& s = screen();
    const auto before = tracedOperations(server->tracePath());
    dialogs.confirmAnswers.push_back(tk::kAnswerNo);
    EXPECT_THROW((void)tk::Input::click(s, "sbtExcluir"), tk::SilentAbort);
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].title, "Excl");
    EXPECT_EQ(dialogs.asked[0].defaultAnswer, tk::kAnswerNo);
    EXPECT_EQ(s.cdsTipOper.recordCount(), 2);
    EXPECT_EQ(s.cdsTipOper.changeCount(), 0);
    EXPECT_EQ(s.cdsTipOper.fieldByName("CDTIPOOPER").asString(), "01");
    EXPECT_EQ(countOf(tracedOperations(server->tracePath()), "SetTipOper"), countOf(before, "SetTipOper"));
    EXPECT_EQ(dbCount("SELECT COUNT(*) FROM TIPOOPERAC"), 2);
}

TEST_F(SavingTest, DeletingTheLastRecordLeavesOnlyIncludeOnTheToolbar) {
    insertTipOper("E", "01", "Compra para revenda");
    open();
    loadKind(0);
    auto& s = screen();
    // From the form page too: the toolbar is the same on both record pages.
    expectOk(tk::Input::page(s, "tshFormulario"));
    dialogs.confirmAnswers.push_back(tk::kAnswerYes);
    expectOk(tk::Input::click(s, "sbtExcluir"));
    ASSERT_EQ(s.cdsTipOper.recordCount(), 0);
    EXPECT_EQ(dbCount("SELECT COUNT(*) FROM TIPOOPERAC"), 0);

    EXPECT_TRUE(s.sbtIncluir.enabled());
    EXPECT_TRUE(s.mnuIncluir.enabled());
    for (const char* name : {"sbtAlterar", "sbtExcluir", "sbtProcurar", "sbtVerificar", "sbtCancelar",
                             "sbtConfirmar", "mnuAlterar", "mnuExcluir", "mnuProcurar", "mnuVerificar",
                             "mnuCancelar", "mnuConfirmar"})
        EXPECT_FALSE(s.control(name)->enabled()) << name;
    EXPECT_EQ(tk::Input::click(s, "sbtAlterar").status, tk::InputStatus::Refused);
    EXPECT_EQ(tk::Input::click(s, "mnuExcluir").status, tk::InputStatus::Refused);
    EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Browse);

    // The first operation type of the kind can still be added.
    expectOk(tk::Input::click(s, "sbtIncluir"));
    EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Insert);
}

TEST_F(SavingTest, ClosingWithAPendingEditAsksAndKeepsTheEditOnNo) {
    insertTipOper("E", "01", "Compra para revenda", {{"DSOPERENCRATPL", "N"}});
    open();
    loadKind(0);
    auto& s = screen();
    expectOk(tk::Input::click(s, "sbtAlterar"));
    expectOk(tk::Input::type(s, "dbeNmTipoOper", "Nome novo"));
    dialogs.confirmAnswers.push_back(tk::kAnswerNo);
    expectOk(tk::Input::click(s, "sbtFechar"));
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].title, "FechAlt");
    EXPECT_TRUE(screenOpen());
    EXPECT_TRUE(unit().boStCriado);
    EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Edit);
    EXPECT_EQ(s.get<tk::TDBEdit>("dbeNmTipoOper").text(), "Nome novo");
    // The screen is still connected and working: the edit can be saved.
    expectOk(tk::Input::click(s, "sbtConfirmar"));
    EXPECT_EQ(dbValue("SELECT NMTIPOOPER FROM TIPOOPERAC WHERE CDTIPOOPER='01'"), "Nome novo");

    // A message line being edited counts too; Yes throws the line away and closes as before.
    expectOk(tk::Input::page(s, "tshMensagem"));
    expectOk(tk::Input::click(s, "sbtIncluir"));
    expectOk(tk::Input::gridType(s, "dbgMensagem", "CDMENSAGEM", "5"));
    dialogs.confirmAnswers.push_back(tk::kAnswerYes);
    const auto beforeClose = tracedOperations(server->tracePath());
    expectOk(tk::Input::close(s));
    EXPECT_EQ(dialogs.asked.size(), 2u);
    EXPECT_FALSE(unit().boStCriado);
    EXPECT_EQ(countOf(tracedOperations(server->tracePath()), "SetMensTipOper"), countOf(beforeClose, "SetMensTipOper"));
    EXPECT_EQ(dbCount("SELECT COUNT(*) FROM MENSTIPOOPER"), 0);
}

} // namespace
