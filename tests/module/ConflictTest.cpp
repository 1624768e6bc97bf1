// Two users on the same records: a save or delete refused because the other user changed or removed
// the record is shown side by side, is never sent again, and drops no other pending change; the
// where-used question before a delete.

#include "AppServerToken.h"
#include "ScreenFixture.h"
#include "lib/NetConnection.h"
#include "wire/Packet.h"

#include <algorithm>
#include <cstdlib>

namespace {

using testing_support::ScreenTest;
using testing_support::tracedOperations;

long countOf(const std::vector<std::string>& ops, const std::string& op) {
    return std::count(ops.begin(), ops.end(), op);
}

class ConflictTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        insertTipOper("E", "01", "Compra para revenda", {{"DSOPERENCRATPL", "N"}, {"IDATUESTTPOP", "N"}});
        insertTipOper("E", "02", "Compra de uso e consumo", {{"DSOPERENCRATPL", "N"}});
    }

    // Another user's client on the same server, saving through it as their screen does.
    nlohmann::json otherUser(const std::string& op, nlohmann::json params) {
        const char* exe = std::getenv("TIPOPER_APPSERVER_EXE");
        static std::string token;
        if (token.empty() || otherDb_ != server->dbUrl()) {
            token = testing_support::appServerToken(exe && *exe ? exe : std::string(TIPOPER_BIN_DIR) + "/tipoper-appserver",
                                   server->dbUrl(), "maria");
            otherDb_ = server->dbUrl();
        }
        tk::Application other;
        Morvala::setClientCredential(other, Morvala::Credential{Morvala::Credential::Kind::Token, token});
        tk::Application::Scope otherScope(other);
        lib::TNetConnection connection;
        const auto address = Morvala::AppServerAddress();
        connection.setHost(address.host);
        connection.setPort(address.port);
        connection.setServerName("Ger06600.rdmTipOper");
        connection.setConnected(true);
        nlohmann::json answer = connection.AppServer(op, std::move(params));
        EXPECT_FALSE(answer.contains("error")) << answer.dump();
        return answer;
    }

    // The other user renames operation type `code` through the server, from the row as stored.
    void otherRenames(const std::string& code, const std::string& name) {
        const auto stored = wire::dataPacketFromJson(otherUser("GetTipOper", {"E"})["result"]);
        const int c = stored.fieldIndex("CDTIPOOPER");
        for (const auto& values : stored.rows) {
            if (values[static_cast<std::size_t>(c)] != code) continue;
            wire::Change change{wire::ChangeOp::Modify, {}, {}};
            for (std::size_t f = 0; f < stored.fields.size(); ++f) {
                change.oldRow.values.emplace_back(stored.fields[f].name, values[f]);
                change.newRow.values.emplace_back(stored.fields[f].name,
                                                  stored.fields[f].name == "NMTIPOOPER" ? wire::Value(name) : values[f]);
            }
            otherUser("SetTipOper", {wire::toJson(wire::ChangePacket{{change}}), ""});
            return;
        }
        ADD_FAILURE() << "no stored type " << code;
    }

    void renameInScreen(const std::string& name) {
        auto& s = screen();
        expectOk(tk::Input::click(s, "sbtAlterar"));
        expectOk(tk::Input::type(s, "dbeNmTipoOper", name));
    }

    const tk::ConflictField* field(const tk::ConflictDialog& d, const std::string& name) {
        for (const auto& f : d.fields)
            if (f.field == name) return &f;
        return nullptr;
    }

    std::string otherDb_;
};

TEST_F(ConflictTest, ARefusedSaveIsNeverSentAgainAndKeepingTheirsShowsTheirVersion) {
    open();
    loadKind(0);
    auto& s = screen();
    otherRenames("01", "Nome da Maria");
    renameInScreen("Meu nome");
    dialogs.conflictAnswers = {tk::ConflictChoice::Theirs};
    expectOk(tk::Input::click(s, "sbtConfirmar"));

    ASSERT_EQ(dialogs.conflicts.size(), 1u);
    const auto& d = dialogs.conflicts[0];
    EXPECT_EQ(d.key, "Conflito");
    EXPECT_FALSE(d.removed);
    EXPECT_EQ(d.changedBy, "maria");
    EXPECT_EQ(d.changedAt.size(), std::string("08/12/2026 14:03:11 UTC").size()) << d.changedAt;
    ASSERT_EQ(d.fields.size(), 1u) << "only the field that differs";
    EXPECT_EQ(d.fields[0].label, "Nome");
    EXPECT_EQ(d.fields[0].mine, "Meu nome");
    EXPECT_EQ(d.fields[0].theirs, "Nome da Maria");

    EXPECT_EQ(s.cdsTipOper.changeCount(), 0) << "the refused change is no longer pending";
    EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Browse);
    EXPECT_EQ(s.cdsTipOper.fieldByName("CDTIPOOPER").asString(), "01");
    EXPECT_EQ(s.cdsTipOper.fieldByName("NMTIPOOPER").asString(), "Nome da Maria");

    // The next save sends only its own change, and is accepted.
    const long sets = countOf(tracedOperations(server->tracePath()), "SetTipOper");
    expectOk(tk::Input::page(s, "tshFolhaDados"));
    expectOk(tk::Input::move(s, "cdsTipOper", 2));
    renameInScreen("Uso e consumo (alterada)");
    expectOk(tk::Input::click(s, "sbtConfirmar"));
    EXPECT_EQ(countOf(tracedOperations(server->tracePath()), "SetTipOper"), sets + 1);
    EXPECT_EQ(dialogs.conflicts.size(), 1u);
    EXPECT_EQ(dbValue("SELECT NMTIPOOPER FROM TIPOOPERAC WHERE CDTIPOOPER='01'"), "Nome da Maria");
    EXPECT_EQ(dbValue("SELECT NMTIPOOPER FROM TIPOOPERAC WHERE CDTIPOOPER='02'"), "Uso e consumo (alterada)");
}

TEST_F(ConflictTest, ReapplyingMinePutsTheRecordInEditOnTheirVersionWithMyValuesAsActs) {
    open();
    loadKind(0);
    auto& s = screen();
    otherRenames("01", "Nome da Maria");
    expectOk(tk::Input::click(s, "sbtAlterar"));
    expectOk(tk::Input::click(s, "dckAtuaEst"));
    dialogs.conflictAnswers = {tk::ConflictChoice::Mine};
    expectOk(tk::Input::click(s, "sbtConfirmar"));

    ASSERT_EQ(dialogs.conflicts.size(), 1u);
    const auto* mine = field(dialogs.conflicts[0], "IDATUESTTPOP");
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(mine->mine, "Sim");
    EXPECT_EQ(mine->theirs, "Não");
    ASSERT_NE(field(dialogs.conflicts[0], "NMTIPOOPER"), nullptr) << "their change shows as well";

    // In edit on their version, my value applied; nothing is stored before I confirm.
    EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Edit);
    EXPECT_EQ(s.cdsTipOper.fieldByName("NMTIPOOPER").asString(), "Nome da Maria");
    EXPECT_TRUE(s.dckAtuaEst->checked());
    EXPECT_EQ(dbValue("SELECT IDATUESTTPOP FROM TIPOOPERAC WHERE CDTIPOOPER='01'"), "N");
    expectOk(tk::Input::click(s, "sbtConfirmar"));
    EXPECT_EQ(s.cdsTipOper.changeCount(), 0);
    EXPECT_EQ(dbValue("SELECT IDATUESTTPOP FROM TIPOOPERAC WHERE CDTIPOOPER='01'"), "S");
    EXPECT_EQ(dbValue("SELECT NMTIPOOPER FROM TIPOOPERAC WHERE CDTIPOOPER='01'"), "Nome da Maria");
}

TEST_F(ConflictTest, ARecordTheOtherUserDeletedIsShownAsDeletedAndMineIncludesItAgain) {
    open();
    loadKind(0);
    auto& s = screen();
    db().session() << "DELETE FROM TIPOOPERAC WHERE CDTIPOOPER='01'";
    renameInScreen("Meu nome");
    dialogs.conflictAnswers = {tk::ConflictChoice::Mine};
    expectOk(tk::Input::click(s, "sbtConfirmar"));
    ASSERT_EQ(dialogs.conflicts.size(), 1u);
    EXPECT_TRUE(dialogs.conflicts[0].removed);
    EXPECT_EQ(dialogs.conflicts[0].key, "Conflito_Exc");
    const auto* name = field(dialogs.conflicts[0], "NMTIPOOPER");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->theirs, "excluído");
    EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Insert);
    EXPECT_EQ(s.cdsTipOper.fieldByName("CDTIPOOPER").asString(), "01");
    EXPECT_EQ(s.cdsTipOper.fieldByName("NMTIPOOPER").asString(), "Meu nome");
    expectOk(tk::Input::click(s, "sbtConfirmar"));
    EXPECT_EQ(dbValue("SELECT NMTIPOOPER FROM TIPOOPERAC WHERE CDTIPOOPER='01'"), "Meu nome");
}

TEST_F(ConflictTest, ARefusedDeleteAsksAndMineDeletesAfterAskingAgain) {
    open();
    loadKind(0);
    auto& s = screen();
    otherRenames("01", "Nome da Maria");
    // Keeping theirs: the record stays, with their name, nothing pending.
    dialogs.confirmAnswers = {tk::kAnswerYes};
    dialogs.conflictAnswers = {tk::ConflictChoice::Theirs};
    expectOk(tk::Input::click(s, "sbtExcluir"));
    ASSERT_EQ(dialogs.conflicts.size(), 1u);
    EXPECT_EQ(field(dialogs.conflicts[0], "NMTIPOOPER")->mine, "excluído");
    EXPECT_EQ(s.cdsTipOper.recordCount(), 2);
    EXPECT_EQ(s.cdsTipOper.changeCount(), 0);
    EXPECT_EQ(s.cdsTipOper.fieldByName("NMTIPOOPER").asString(), "Nome da Maria");

    // Mine: deleting again asks again, and then goes through.
    otherRenames("01", "Outra vez");
    dialogs.confirmAnswers = {tk::kAnswerYes, tk::kAnswerYes};
    dialogs.conflictAnswers = {tk::ConflictChoice::Mine};
    expectOk(tk::Input::click(s, "sbtExcluir"));
    EXPECT_EQ(dialogs.conflicts.size(), 2u);
    EXPECT_EQ(dialogs.asked.back().title, "Excl");
    EXPECT_EQ(dbCount("SELECT COUNT(*) FROM TIPOOPERAC"), 1);
    EXPECT_EQ(s.cdsTipOper.recordCount(), 1);
    EXPECT_EQ(s.cdsTipOper.changeCount(), 0);
}

TEST_F(ConflictTest, AMessageLineChangedByTheOtherUserIsShownAndNotSentAgain) {
    insertRow("MENSTIPOOPER", {{"NRMENSTPOPER", "1"}, {"CDTIPOOPER", "01"}, {"IDENTRSAIDOP", "E"},
                               {"CDMENSAGEM", "001"}, {"DSMENSAGEM", "Texto lido"}});
    open();
    loadKind(0);
    auto& s = screen();
    expectOk(tk::Input::page(s, "tshMensagem"));
    db().session() << "UPDATE MENSTIPOOPER SET DSMENSAGEM='Texto da Maria' WHERE NRMENSTPOPER=1";
    expectOk(tk::Input::click(s, "sbtAlterar"));
    expectOk(tk::Input::gridType(s, "dbgMensagem", "DSMENSAGEM", "Meu texto"));
    dialogs.conflictAnswers = {tk::ConflictChoice::Mine};
    expectOk(tk::Input::click(s, "sbtConfirmar"));
    ASSERT_EQ(dialogs.conflicts.size(), 1u);
    EXPECT_EQ(dialogs.conflicts[0].key, "Conflito_Mens");
    const auto* text = field(dialogs.conflicts[0], "DSMENSAGEM");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->label, "Descrição");
    EXPECT_EQ(text->mine, "Meu texto");
    EXPECT_EQ(text->theirs, "Texto da Maria");
    EXPECT_EQ(s.cdsMensTipoOper.state(), tk::DataSetState::Edit);
    EXPECT_EQ(s.cdsMensTipoOper.fieldByName("DSMENSAGEM").asString(), "Meu texto");
    expectOk(tk::Input::click(s, "sbtConfirmar"));
    EXPECT_EQ(dbValue("SELECT DSMENSAGEM FROM MENSTIPOOPER WHERE NRMENSTPOPER=1"), "Meu texto");
    EXPECT_EQ(s.cdsMensTipoOper.changeCount(), 0);

    // Theirs: the line shows their text and a later line is sent alone.
    db().session() << "UPDATE MENSTIPOOPER SET DSMENSAGEM='De novo' WHERE NRMENSTPOPER=1";
    expectOk(tk::Input::click(s, "sbtAlterar"));
    expectOk(tk::Input::gridType(s, "dbgMensagem", "DSMENSAGEM", "Recusado"));
    dialogs.conflictAnswers = {tk::ConflictChoice::Theirs};
    expectOk(tk::Input::click(s, "sbtConfirmar"));
    EXPECT_EQ(s.cdsMensTipoOper.changeCount(), 0);
    EXPECT_EQ(s.cdsMensTipoOper.fieldByName("DSMENSAGEM").asString(), "De novo");
    EXPECT_EQ(dbValue("SELECT DSMENSAGEM FROM MENSTIPOOPER WHERE NRMENSTPOPER=1"), "De novo");
}

TEST_F(ConflictTest, DeletingAReferencedTypeNamesWhoUsesItAndCanStillDelete) {
    insertTipOper("E", "03", "Bonificação", {{"CDTIPOOPERBONIF", "01"}});
    insertTipOper("S", "04", "Devolução", {{"DSOPERNFORIG", "E-011,E-01"}});
    open();
    loadKind(0);
    auto& s = screen();
    struct Case {
        const char* answer;
        int answerCode;
        long remaining;
    };
    for (const Case c : {Case{"no", tk::kAnswerNo, 4}, Case{"yes", tk::kAnswerYes, 3}}) {
        SCOPED_TRACE(c.answer);
        dialogs.asked.clear();
        dialogs.confirmAnswers = {c.answerCode, tk::kAnswerYes};
        if (c.answerCode == tk::kAnswerNo)
            EXPECT_THROW((void)tk::Input::click(s, "sbtExcluir"), tk::SilentAbort);
        else
            expectOk(tk::Input::click(s, "sbtExcluir"));
        ASSERT_GE(dialogs.asked.size(), 1u);
        EXPECT_EQ(dialogs.asked[0].title, "ExclUso");
        EXPECT_EQ(dialogs.asked[0].defaultAnswer, tk::kAnswerNo);
        const std::string& text = dialogs.asked[0].text;
        EXPECT_NE(text.find("Entrada 03 - Bonificação (tipo de bonificação)"), std::string::npos) << text;
        EXPECT_NE(text.find("Saída 04 - Devolução (lista de documentos de origem)"), std::string::npos) << text;
        EXPECT_EQ(dialogs.asked.size(), c.answerCode == tk::kAnswerNo ? 1u : 2u) << "Excl follows only a Yes";
        EXPECT_EQ(dbCount("SELECT COUNT(*) FROM TIPOOPERAC"), c.remaining);
    }

    // A type nobody references is asked only the usual question.
    dialogs.asked.clear();
    dialogs.confirmAnswers = {tk::kAnswerYes};
    expectOk(tk::Input::click(s, "sbtExcluir"));
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].title, "Excl");
}

} // namespace
