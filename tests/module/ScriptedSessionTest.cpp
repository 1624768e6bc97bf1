// A whole working session on the demo database, as a user goes through it: both kinds loaded, an
// operation type included, altered and another one deleted, a message line added and one deleted,
// an edit cancelled. Afterwards the database holds exactly the confirmed changes and nothing else.

#include "ScreenFixture.h"

namespace {

using testing_support::ScreenTest;

class ScriptedSession : public ScreenTest {
protected:
    bool demo() const override { return true; }

    // Every row of a table as key -> all columns, so two dumps can be compared whole. The key is the
    // values of the key columns, in the order given, each followed by "/".
    std::map<std::string, std::string> dump(const std::string& table, const std::vector<std::string>& key) {
        std::map<std::string, std::string> rows;
        soci::rowset<soci::row> rs = (db().session().prepare << "SELECT * FROM " + table);
        for (const auto& r : rs) {
            std::string all;
            std::map<std::string, std::string> values;
            for (std::size_t i = 0; i < r.size(); ++i) {
                std::string v = "<null>";
                if (r.get_indicator(i) != soci::i_null) {
                    switch (r.get_properties(i).get_data_type()) {
                    case soci::dt_integer: v = std::to_string(r.get<int>(i)); break;
                    case soci::dt_long_long: v = std::to_string(r.get<long long>(i)); break;
                    case soci::dt_unsigned_long_long: v = std::to_string(r.get<unsigned long long>(i)); break;
                    case soci::dt_double: v = std::to_string(r.get<double>(i)); break;
                    default: v = r.get<std::string>(i);
                    }
                }
                const std::string name = r.get_properties(i).get_name();
                all += name + "=" + v + ";";
                values[name] = v;
            }
            std::string k;
            for (const auto& column : key) k += values[column] + "/";
            rows[k] = all;
        }
        return rows;
    }
};

TEST_F(ScriptedSession, TheDatabaseHoldsExactlyTheConfirmedChanges) {
    const auto tiposBefore = dump("TIPOOPERAC", {"IDENTRSAIDOP", "CDTIPOOPER"});
    const auto mensBefore = dump("MENSTIPOOPER", {"NRMENSTPOPER"});
    ASSERT_GT(tiposBefore.size(), 10u) << "the demo database lists operation types";

    open();
    auto& s = screen();
    loadKind(1);
    ASSERT_GT(s.cdsTipOper.recordCount(), 0);
    loadKind(0);
    ASSERT_GT(s.cdsTipOper.recordCount(), 0);
    const int entradas = s.cdsTipOper.recordCount();

    // Include a new entry type and confirm it.
    expectOk(tk::Input::click(s, "sbtIncluir"));
    expectOk(tk::Input::type(s, "dbeCdTipoOper", "77"));
    expectOk(tk::Input::focus(s, "dbeNmTipoOper"));
    expectOk(tk::Input::type(s, "dbeNmTipoOper", "Entrada de teste"));
    expectOk(tk::Input::click(s, "sbtConfirmar"));
    ASSERT_EQ(s.cdsTipOper.recordCount(), entradas + 1);

    // Alter it and confirm.
    expectOk(tk::Input::click(s, "sbtAlterar"));
    expectOk(tk::Input::type(s, "dbeNmTipoOper", "Entrada de teste alterada"));
    expectOk(tk::Input::click(s, "sbtConfirmar"));

    // Start another alteration and cancel it, answering yes.
    expectOk(tk::Input::click(s, "sbtAlterar"));
    expectOk(tk::Input::type(s, "dbeNmTipoOper", "Nunca gravado"));
    dialogs.confirmAnswers.push_back(tk::kAnswerYes);
    expectOk(tk::Input::click(s, "sbtCancelar"));
    EXPECT_EQ(s.cdsTipOper.fieldByName("NMTIPOOPER").asString(), "Entrada de teste alterada");

    // Two message lines on the new type; the first is deleted again.
    expectOk(tk::Input::page(s, "tshMensagem"));
    for (const char* text : {"Linha que será excluída", "Linha que fica"}) {
        expectOk(tk::Input::click(s, "sbtIncluir"));
        expectOk(tk::Input::gridType(s, "dbgMensagem", "CDMENSAGEM", "5"));
        expectOk(tk::Input::gridType(s, "dbgMensagem", "DSMENSAGEM", text));
        expectOk(tk::Input::click(s, "sbtConfirmar"));
    }
    ASSERT_TRUE(s.cdsMensTipoOper.locate("DSMENSAGEM", {"Linha que será excluída"}));
    dialogs.confirmAnswers.push_back(tk::kAnswerYes);
    expectOk(tk::Input::click(s, "sbtExcluir"));

    // Delete a demo type of the other kind (one without messages, so only the row goes).
    expectOk(tk::Input::page(s, "tshFolhaDados"));
    loadKind(1);
    std::string deleted;
    for (int rec = 1; rec <= s.cdsTipOper.recordCount() && deleted.empty(); ++rec) {
        expectOk(tk::Input::move(s, "cdsTipOper", rec));
        if (s.cdsMensTipoOper.isEmpty()) deleted = s.cdsTipOper.fieldByName("CDTIPOOPER").asString();
    }
    ASSERT_FALSE(deleted.empty());
    // A demo type other types reference is asked about first; Yes to both deletes it.
    dialogs.confirmAnswers = {tk::kAnswerYes, tk::kAnswerYes};
    expectOk(tk::Input::click(s, "sbtExcluir"));
    EXPECT_EQ(dialogs.asked.back().title, "Excl");

    // Exactly the confirmed changes.
    auto tiposAfter = dump("TIPOOPERAC", {"IDENTRSAIDOP", "CDTIPOOPER"});
    auto expected = tiposBefore;
    ASSERT_EQ(expected.erase("S/" + deleted + "/"), 1u);
    ASSERT_EQ(tiposAfter.count("E/77/"), 1u);
    EXPECT_NE(tiposAfter["E/77/"].find("NMTIPOOPER=Entrada de teste alterada;"), std::string::npos);
    tiposAfter.erase("E/77/");
    EXPECT_EQ(tiposAfter, expected);

    auto mensAfter = dump("MENSTIPOOPER", {"NRMENSTPOPER"});
    ASSERT_EQ(mensAfter.size(), mensBefore.size() + 1);
    int added = 0;
    for (const auto& [key, row] : mensAfter) {
        if (mensBefore.count(key)) {
            EXPECT_EQ(row, mensBefore.at(key));
            continue;
        }
        ++added;
        EXPECT_NE(row.find("DSMENSAGEM=Linha que fica;"), std::string::npos) << row;
        EXPECT_NE(row.find("CDTIPOOPER=77;"), std::string::npos) << row;
    }
    EXPECT_EQ(added, 1);
}

} // namespace
