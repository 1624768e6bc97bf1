// The message lines of an operation type: added, validated, sent line by line, deleted.

#include "ScreenFixture.h"
#include "lib/Errors.h"
#include "wire/Rpc.h"

#include <fstream>

namespace {

using testing_support::ScreenTest;

class MessagesTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        insertTipOper("E", "01", "Compra para revenda");
        open();
        loadKind(0);
        expectOk(tk::Input::page(screen(), "tshMensagem"));
    }
    long lines() { return dbCount("SELECT COUNT(*) FROM MENSTIPOOPER WHERE CDTIPOOPER='01' AND IDENTRSAIDOP='E'"); }
    void addLine(const std::string& code, const std::string& text) {
        auto& s = screen();
        expectOk(tk::Input::click(s, "sbtIncluir"));
        expectOk(tk::Input::gridType(s, "dbgMensagem", "CDMENSAGEM", code));
        expectOk(tk::Input::gridType(s, "dbgMensagem", "DSMENSAGEM", text));
        expectOk(tk::Input::click(s, "sbtConfirmar"));
    }
    // The arguments of the last call of an operation, from the server's trace.
    nlohmann::json lastArguments(const std::string& op) {
        std::ifstream in(server->tracePath());
        std::string line;
        nlohmann::json found;
        while (std::getline(in, line)) {
            auto j = nlohmann::json::parse(line, nullptr, false);
            if (j.is_object() && j.value("operation", nlohmann::json()).is_string() && j["operation"] == op)
                found = j.value("arguments", nlohmann::json());
        }
        return found;
    }
};

TEST_F(MessagesTest, ALineIsTypedValidatedAndSentAtOnce) {
    auto& s = screen();
    expectOk(tk::Input::click(s, "sbtIncluir"));
    EXPECT_TRUE(s.dbgMensagem->editingEnabled());
    EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Browse) << "the record itself is not edited";
    EXPECT_EQ(s.cdsMensTipoOper.fieldByName("CDTIPOOPER").asString(), "01");
    // Letters never reach the code column.
    expectOk(tk::Input::gridType(s, "dbgMensagem", "CDMENSAGEM", "1a2"));
    EXPECT_EQ(s.dbgMensagem->cellText("CDMENSAGEM"), "12");
    expectOk(tk::Input::gridFocus(s, "dbgMensagem", "DSMENSAGEM"));
    EXPECT_EQ(s.cdsMensTipoOper.fieldByName("CDMENSAGEM").asString(), "012") << "leaving the column adjusts the code";
    expectOk(tk::Input::gridType(s, "dbgMensagem", "DSMENSAGEM", "Mercadoria destinada a revenda"));
    expectOk(tk::Input::click(s, "sbtConfirmar"));

    EXPECT_EQ(lines(), 1);
    EXPECT_EQ(dbValue("SELECT CDMENSAGEM FROM MENSTIPOOPER WHERE CDTIPOOPER='01'"), "012");
    EXPECT_FALSE(s.dbgMensagem->editingEnabled()) << "the grid is read-only again after the post";
    EXPECT_EQ(s.cdsMensTipoOper.recordCount(), 1);
    EXPECT_FALSE(s.cdsMensTipoOper.fieldByName("NRMENSTPOPER").asString().empty()) << "reloaded from the server";
    EXPECT_EQ(lastArguments("SetMensTipOper")[5], "C");
}

TEST_F(MessagesTest, AnEmptyCodeOrDescriptionIsRefusedAndTheLineStaysInEdit) {
    auto& s = screen();
    expectOk(tk::Input::click(s, "sbtIncluir"));
    EXPECT_THROW((void)tk::Input::click(s, "sbtConfirmar"), tk::SilentAbort);
    EXPECT_EQ(dialogs.asked.back().text, "Código deve ser informado.") << "the code is checked first";
    expectOk(tk::Input::gridType(s, "dbgMensagem", "CDMENSAGEM", "3"));
    EXPECT_THROW((void)tk::Input::click(s, "sbtConfirmar"), tk::SilentAbort);
    EXPECT_EQ(dialogs.asked.back().text, "Descrição deve ser informada.");
    EXPECT_EQ(s.dbgMensagem->selectedField(), "DSMENSAGEM");
    EXPECT_EQ(s.cdsMensTipoOper.state(), tk::DataSetState::Insert);
    EXPECT_EQ(lines(), 0);
}

TEST_F(MessagesTest, DeletingAsksFirstAndSendsTheNeighbouringLine) {
    addLine("1", "Primeira");
    addLine("2", "Segunda");
    auto& s = screen();
    ASSERT_EQ(s.cdsMensTipoOper.recordCount(), 2);

    dialogs.confirmAnswers.push_back(tk::kAnswerNo);
    EXPECT_THROW((void)tk::Input::click(s, "sbtExcluir"), tk::SilentAbort);
    EXPECT_EQ(lines(), 2);

    expectOk(tk::Input::move(s, "cdsMensTipoOper", 1));
    dialogs.confirmAnswers.push_back(tk::kAnswerYes);
    expectOk(tk::Input::click(s, "sbtExcluir"));
    EXPECT_EQ(dialogs.asked.back().title, "Excl");
    EXPECT_EQ(lines(), 1);
    auto args = lastArguments("SetMensTipOper");
    EXPECT_EQ(args[5], "D");
    EXPECT_EQ(args[3], "002") << "the line current after the deletion";

    dialogs.confirmAnswers.push_back(tk::kAnswerYes);
    expectOk(tk::Input::click(s, "sbtExcluir"));
    EXPECT_EQ(lines(), 0);
    args = lastArguments("SetMensTipOper");
    EXPECT_EQ(args[0], "");
    EXPECT_EQ(args[3], "");
    EXPECT_EQ(args[4], "");
}

TEST_F(MessagesTest, AFailedSendKeepsTheLinePendingAndTheGridEditable) {
    auto& s = screen();
    expectOk(tk::Input::click(s, "sbtIncluir"));
    expectOk(tk::Input::gridType(s, "dbgMensagem", "CDMENSAGEM", "7"));
    expectOk(tk::Input::gridType(s, "dbgMensagem", "DSMENSAGEM", "Sem servidor"));
    server->stop();
    EXPECT_ANY_THROW((void)tk::Input::click(s, "sbtConfirmar"));
    EXPECT_EQ(s.cdsMensTipoOper.changeCount(), 1);
    EXPECT_TRUE(s.dbgMensagem->editingEnabled());
    EXPECT_EQ(app.wait(), std::nullopt);
    server->restart();
    EXPECT_EQ(lines(), 0);
}

// Two users on one line: the second post is refused (the server holds the line as the screen read it)
// and the first user's text stays.
TEST_F(MessagesTest, AlteringALineSendsItAsReadSoAnotherUsersChangeIsNeverOverwritten) {
    addLine("1", "Primeira");
    auto& s = screen();
    const auto stored = [&] { return dbValue("SELECT DSMENSAGEM FROM MENSTIPOOPER WHERE CDTIPOOPER='01'"); };
    expectOk(tk::Input::click(s, "sbtAlterar"));
    expectOk(tk::Input::gridType(s, "dbgMensagem", "DSMENSAGEM", " corrigida"));
    expectOk(tk::Input::click(s, "sbtConfirmar"));
    EXPECT_NE(stored().find("corrigida"), std::string::npos) << stored();
    const auto args = lastArguments("SetMensTipOper");
    ASSERT_EQ(args.size(), 8u) << args.dump();
    EXPECT_EQ(args[7], (nlohmann::json{{"object", 5}})) << "the whole line as it was read";

    // Another user changes the line after this screen read it.
    db().session() << "UPDATE MENSTIPOOPER SET DSMENSAGEM = 'Mudada por outro usuário' WHERE CDTIPOOPER='01'";
    expectOk(tk::Input::click(s, "sbtAlterar"));
    expectOk(tk::Input::gridType(s, "dbgMensagem", "DSMENSAGEM", " de novo"));
    // The refusal is shown as a conflict; keeping theirs leaves nothing pending.
    dialogs.conflictAnswers = {tk::ConflictChoice::Theirs};
    expectOk(tk::Input::click(s, "sbtConfirmar"));
    ASSERT_EQ(dialogs.conflicts.size(), 1u);
    EXPECT_EQ(dialogs.conflicts[0].key, "Conflito_Mens");
    EXPECT_EQ(stored(), "Mudada por outro usuário");
    EXPECT_EQ(s.cdsMensTipoOper.fieldByName("DSMENSAGEM").asString(), "Mudada por outro usuário");
    EXPECT_EQ(s.cdsMensTipoOper.changeCount(), 0) << "the refused change is not pending";
}

TEST_F(MessagesTest, CancelAsksOnlyWhileALineIsEdited) {
    auto& s = screen();
    expectOk(tk::Input::click(s, "sbtIncluir"));
    dialogs.confirmAnswers.push_back(tk::kAnswerNo);
    EXPECT_THROW((void)tk::Input::click(s, "sbtCancelar"), tk::SilentAbort);
    EXPECT_EQ(s.cdsMensTipoOper.state(), tk::DataSetState::Insert);
    dialogs.confirmAnswers.push_back(tk::kAnswerYes);
    expectOk(tk::Input::click(s, "sbtCancelar"));
    EXPECT_EQ(s.cdsMensTipoOper.state(), tk::DataSetState::Browse);
    EXPECT_FALSE(s.dbgMensagem->editingEnabled());
    EXPECT_TRUE(s.sbtIncluir.enabled());
}

} // namespace
