// The history of operation types and message lines (GetHistTipOper) and where an operation type is
// referenced (GetUsoTipOper), on every database.

#include "Database.h"
#include "DatabaseUrl.h"
#include "Fixture.h"
#include "wire/Rpc.h"

#include <regex>
#include <set>

using harness::json;
namespace rpc = wire::rpc;

class History : public ServerTest {
protected:
    static json entries(harness::RpcClient& c, const std::string& code, const std::string& kind) {
        const json answer = ok(c.call("GetHistTipOper", {code, kind}));
        EXPECT_EQ(answer["truncated"], false);
        return answer["entries"];
    }
    static std::vector<std::string> ops(const json& list) {
        std::vector<std::string> out;
        for (const auto& e : list)
            out.push_back(e["table"].get<std::string>() + ":" + e["op"].get<std::string>());
        return out;
    }
    // Field -> [before, after] of an entry's changes; a field listed twice fails the test.
    static std::map<std::string, std::pair<json, json>> changesOf(const json& entry) {
        std::map<std::string, std::pair<json, json>> out;
        for (const auto& c : entry["changes"])
            EXPECT_TRUE(out.emplace(c["field"], std::pair{c["before"], c["after"]}).second) << c.dump();
        return out;
    }
    static void save(harness::RpcClient& c, const json& change) {
        ok(c.call("SetTipOper", {harness::changes({change}), ""}));
    }
    // Sets fields of a stored operation type.
    void setFields(harness::RpcClient& c, const std::string& kind, const std::string& code,
                   const json& fields) {
        const json stored = record(c, kind, code);
        ASSERT_TRUE(stored.is_object()) << kind << "-" << code;
        json changed = stored;
        for (auto it = fields.begin(); it != fields.end(); ++it)
            changed[it.key()] = it.value();
        save(c, harness::modify(stored, changed));
    }
    std::string addUser(const std::string& name, const std::string& role) {
        return harness::provisionToken(db_->url(), name, role);
    }
    std::unique_ptr<appserver::Database> direct() {
        return std::make_unique<appserver::Database>(appserver::parseDatabaseUrl(db_->url()));
    }
    enum class HistoryOp { Insert, Delete };
    // What an insert or a delete of the record as read lists: each stored value that is not NULL.
    static std::map<std::string, std::pair<json, json>> expectedChanges(const json& row, HistoryOp op) {
        static const std::set<std::string> joined{"NMRAZSOCFORN", "NMTIPOCUSTO", "DSPRECOBASE", "NMBONIFICACAO"};
        std::map<std::string, std::pair<json, json>> out;
        for (auto it = row.begin(); it != row.end(); ++it) {
            if (joined.count(it.key()) || it.value().is_null()) continue;
            out[it.key()] = op == HistoryOp::Insert ? std::pair<json, json>{nullptr, it.value()}
                                                    : std::pair<json, json>{it.value(), nullptr};
        }
        return out;
    }
};
TIPOPER_ALL_BACKENDS(History);

TEST_P(History, HoldsExactlyTheConfirmedChangesNewestFirstWithFieldLevelDiffs) {
    auto c = client();
    EXPECT_TRUE(entries(*c, "50", "E").empty()) << "nothing recorded before any change";
    EXPECT_TRUE(entries(*c, "01", "E").empty()) << "demo data is not a change by a user";

    json row = record(*c, "E", "01");
    row["CDTIPOOPER"] = "50";
    row["NMTIPOOPER"] = "Compra em consignação";
    row["CDEXTIPOOPER"] = "";
    ok(c->call("SetTipOper", {harness::changes({harness::insert(row)}), "CDEXTIPOOPER|"}));
    const json inserted = record(*c, "E", "50");

    // Refused saves leave no trace: a duplicate, a stale modify, and a packet whose good first change
    // is rolled back with its refused second.
    EXPECT_EQ(refused(c->call("SetTipOper", {harness::changes({harness::insert(row)}), ""})), rpc::kDuplicateKey);
    json stale = inserted;
    stale["NMTIPOOPER"] = "Lido antes de outra alteração";
    json staleNew = stale;
    staleNew["IDATUESTTPOP"] = "S";
    EXPECT_EQ(refused(c->call("SetTipOper", {harness::changes({harness::modify(stale, staleNew)}), ""})),
              rpc::kConflict);
    json goodNew = inserted;
    goodNew["NMTIPOOPER"] = "Nunca gravado";
    EXPECT_EQ(refused(c->call("SetTipOper", {harness::changes({harness::modify(inserted, goodNew),
                                                               harness::insert(row)}),
                                             ""})),
              rpc::kDuplicateKey);

    // A modify that changes one field lists that field alone; one that changes nothing (or only
    // turns "" into NULL) is no change at all.
    json renamed = inserted;
    renamed["NMTIPOOPER"] = "Compra consignada";
    save(*c, harness::modify(inserted, renamed));
    save(*c, harness::modify(renamed, renamed));
    json emptied = renamed;
    emptied["DSOPERNFAVISTA"] = "";
    ok(c->call("SetTipOper", {harness::changes({harness::modify(renamed, emptied)}), "DSOPERNFAVISTA|"}));
    const json last = record(*c, "E", "50");
    save(*c, harness::remove(last));

    const json list = entries(*c, "50", "E");
    ASSERT_EQ(ops(list), (std::vector<std::string>{"TIPOOPER:delete", "TIPOOPER:modify", "TIPOOPER:insert"}));
    const std::regex utcSecond(R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}Z)");
    for (const auto& e : list) {
        EXPECT_EQ(e["user"], "manutencao");
        EXPECT_TRUE(e["line"].is_null());
        EXPECT_TRUE(std::regex_match(e["at"].get<std::string>(), utcSecond)) << e["at"];
    }
    EXPECT_GE(list[0]["at"].get<std::string>(), list[2]["at"].get<std::string>());

    const auto modified = changesOf(list[1]);
    ASSERT_EQ(modified.size(), 1u) << list[1].dump();
    EXPECT_EQ(modified.at("NMTIPOOPER"), (std::pair<json, json>{"Compra em consignação", "Compra consignada"}));

    // The insert lists every value it stored, before null, and the delete every value the record held,
    // after null; NULLs (the empty-field list's among them) and the names read from other tables are not
    // listed.
    EXPECT_EQ(changesOf(list[2]), expectedChanges(inserted, HistoryOp::Insert));
    EXPECT_EQ(changesOf(list[2]).count("CDEXTIPOOPER"), 0u) << "stored as NULL";
    EXPECT_EQ(changesOf(list[0]), expectedChanges(last, HistoryOp::Delete));
    EXPECT_EQ(changesOf(list[0]).at("NMTIPOOPER"), (std::pair<json, json>{"Compra consignada", nullptr}));

    // Each type has a history of its own.
    EXPECT_TRUE(entries(*c, "50", "S").empty());
    EXPECT_TRUE(entries(*c, "01", "E").empty());
}

TEST_P(History, MessageLinesAreRecordedWithTheirNumberAndGoWithTheirType) {
    auto c = client();
    auto lines = [&] { return harness::records(ok(c->call("GetMensTipoOper", {"05", "S"}))); };
    ok(c->call("SetMensTipOper", {"", "05", "S", "002", "Segunda linha", "C", ""}));
    const json posted = lines().back();
    const std::string number = posted["NRMENSTPOPER"];
    ok(c->call("SetMensTipOper", {number, "05", "S", "002", "Texto corrigido", "C", "", posted}));
    // Refused: a line changed since it was read.
    EXPECT_EQ(refused(c->call("SetMensTipOper", {number, "05", "S", "003", "x", "C", "", posted})), rpc::kConflict);
    const json corrected = lines().back();
    ok(c->call("SetMensTipOper", {"", "05", "S", "", "", "D", harness::changes({harness::remove(corrected)})}));

    json list = entries(*c, "05", "S");
    ASSERT_EQ(ops(list),
              (std::vector<std::string>{"MENSTIPOOPER:delete", "MENSTIPOOPER:modify", "MENSTIPOOPER:insert"}));
    for (const auto& e : list)
        EXPECT_EQ(e["line"], number);
    EXPECT_EQ(changesOf(list[2]), (std::map<std::string, std::pair<json, json>>{
                                      {"NRMENSTPOPER", {nullptr, number}},
                                      {"CDMENSAGEM", {nullptr, "002"}},
                                      {"CDTIPOOPER", {nullptr, "05"}},
                                      {"IDENTRSAIDOP", {nullptr, "S"}},
                                      {"DSMENSAGEM", {nullptr, "Segunda linha"}},
                                  }));
    EXPECT_EQ(changesOf(list[1]), (std::map<std::string, std::pair<json, json>>{
                                      {"DSMENSAGEM", {"Segunda linha", "Texto corrigido"}}}));
    EXPECT_EQ(changesOf(list[0]), (std::map<std::string, std::pair<json, json>>{
                                      {"NRMENSTPOPER", {number, nullptr}},
                                      {"CDMENSAGEM", {"002", nullptr}},
                                      {"CDTIPOOPER", {"05", nullptr}},
                                      {"IDENTRSAIDOP", {"S", nullptr}},
                                      {"DSMENSAGEM", {"Texto corrigido", nullptr}},
                                  }));

    // Deleting the type deletes its remaining lines: each is recorded, under the type's own entry.
    const std::string remaining = lines().at(0)["NRMENSTPOPER"];
    save(*c, harness::remove(record(*c, "S", "05")));
    list = entries(*c, "05", "S");
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(ops(list)[0], "TIPOOPER:delete");
    EXPECT_EQ(ops(list)[1], "MENSTIPOOPER:delete");
    EXPECT_EQ(list[1]["line"], remaining);
    EXPECT_EQ(changesOf(list[1]).at("NRMENSTPOPER").first, remaining);
}

TEST_P(History, RecordsEachWriterAndEveryRoleReadsButNobodyRewritesIt) {
    const std::string ana = addUser("ana", "manutencao");
    const std::string leitor = addUser("leitor", "consulta");
    auto mine = client();
    auto hers = clientWith(ana);
    auto reader = clientWith(leitor);
    setFields(*mine, "E", "03", {{"NMTIPOOPER", "Primeira"}});
    setFields(*hers, "E", "03", {{"NMTIPOOPER", "Segunda"}});
    ok(hers->call("SetMensTipOper", {"", "03", "E", "001", "Linha da Ana", "C", ""}));

    // The reader reads the history and where the type is used, and cannot write either.
    const json list = entries(*reader, "03", "E");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0]["user"], "ana");
    EXPECT_EQ(list[1]["user"], "ana");
    EXPECT_EQ(list[2]["user"], "manutencao");
    EXPECT_EQ(ok(reader->call("GetUsoTipOper", {"03", "E"}))["fields"].size(), 4u);
    const json row = record(*reader, "E", "03");
    json changed = row;
    changed["NMTIPOOPER"] = "Leitor";
    EXPECT_EQ(refused(reader->call("SetTipOper", {harness::changes({harness::modify(row, changed)}), ""})),
              rpc::kForbidden);
    EXPECT_EQ(refused(reader->call("SetMensTipOper", {"", "03", "E", "001", "x", "C", ""})), rpc::kForbidden);

    // No operation writes the history: there is no Set* of it, and its columns are no fields of a record.
    struct Attempt {
        const char* method;
        json args;
        int code;
    };
    json history = row;
    history["NRHISTORICO"] = "1";
    history["DSALTERACOES"] = "[]";
    const std::vector<Attempt> attempts = {
        {"SetHistTipOper", {harness::changes({harness::remove(list[0])}), ""}, rpc::kMethodNotFound},
        {"DelHistTipOper", {"03", "E"}, rpc::kMethodNotFound},
        {"SetTipOper", {harness::changes({harness::modify(row, history)}), ""}, rpc::kInvalidPacket},
        {"SetTipOper", {harness::changes({harness::insert(history)}), ""}, rpc::kInvalidPacket},
        {"SetTipOper", {harness::changes({harness::modify(row, row)}), "DSALTERACOES|"}, rpc::kInvalidParams},
    };
    for (const auto& a : attempts)
        EXPECT_EQ(refused(mine->call(a.method, a.args)), a.code) << a.method << " " << a.args.dump();
    EXPECT_EQ(entries(*reader, "03", "E"), list);
}

// A history row that cannot be written undoes the change it records; the change is not kept without it.
TEST_P(History, AFailedHistoryWriteRollsTheSaveBack) {
    auto c = client();
    const json before = record(*c, "E", "04");
    const auto linesOf04 = [&] { return ok(c->call("GetMensTipoOper", {"04", "E"}))["rows"].size(); };
    const std::size_t lines = linesOf04();
    {
        auto db = direct();
        if (GetParam() == harness::Backend::Sqlite) {
            db->exec("CREATE TRIGGER HIST_FALHA BEFORE INSERT ON HISTTIPOOPER BEGIN SELECT RAISE(ABORT, 'falha "
                     "injetada'); END");
        } else {
            db->exec("CREATE FUNCTION hist_falha() RETURNS trigger LANGUAGE plpgsql AS "
                     "'BEGIN RAISE EXCEPTION ''falha injetada''; END'");
            db->exec("CREATE TRIGGER HIST_FALHA BEFORE INSERT ON HISTTIPOOPER FOR EACH ROW EXECUTE FUNCTION "
                     "hist_falha()");
        }
    }
    json changed = before;
    changed["NMTIPOOPER"] = "Sem histórico não grava";
    json fresh = before;
    fresh["CDTIPOOPER"] = "80";
    const std::vector<std::pair<const char*, json>> writes = {
        {"SetTipOper", {harness::changes({harness::modify(before, changed)}), ""}},
        {"SetTipOper", {harness::changes({harness::insert(fresh)}), ""}},
        {"SetTipOper", {harness::changes({harness::remove(before)}), ""}},
        {"SetMensTipOper", {"", "04", "E", "001", "Linha sem histórico", "C", ""}},
    };
    for (const auto& [method, args] : writes) {
        const json answer = c->call(method, args);
        EXPECT_EQ(refused(answer), rpc::kStorageError) << method << args.dump();
        const std::string message = answer["error"]["message"];
        EXPECT_EQ(message.find("falha injetada"), std::string::npos) << "no database text reaches the client";
        EXPECT_NE(message.find("nada foi gravado"), std::string::npos) << message;
    }
    EXPECT_EQ(record(*c, "E", "04"), before);
    EXPECT_EQ(record(*c, "E", "80"), nullptr);
    EXPECT_EQ(linesOf04(), lines);

    direct()->exec("DROP TRIGGER HIST_FALHA" + std::string(GetParam() == harness::Backend::Sqlite ? "" : " ON HISTTIPOOPER"));
    EXPECT_TRUE(entries(*c, "04", "E").empty());
    EXPECT_TRUE(entries(*c, "80", "E").empty());
    // The same save goes through, with its history, once the history can be written.
    ok(c->call("SetTipOper", {harness::changes({harness::modify(before, changed)}), ""}));
    EXPECT_EQ(entries(*c, "04", "E").size(), 1u);
}

// The answer holds the newest entries up to its cap, and says that older ones were left out.
TEST_P(History, AnswerIsCappedAtTheNewestEntries) {
    auto c = client();
    {
        auto db = direct();
        appserver::Command add(db->session(),
                               "INSERT INTO HISTTIPOOPER (IDENTRSAIDOP, CDTIPOOPER, DTALTERACAO, NMUSUARIO, IDOPERACAO,"
                               " NMTABELA, NRMENSTPOPER, DSALTERACOES) VALUES ('E', '06', :p0, 'antigo', 'modify',"
                               " 'TIPOOPER', NULL, :p1)",
                               2);
        appserver::Transaction tx(*db);
        for (int i = 0; i < 5001; ++i) {
            const std::string at = "2026-01-01T00:00:00Z";
            const std::string changes =
                "[{\"field\":\"NMTIPOOPER\",\"before\":\"" + std::to_string(i) + "\",\"after\":\"" +
                std::to_string(i + 1) + "\"}]";
            add.set(0, at);
            add.set(1, changes);
            add.execute();
        }
        tx.commit();
    }
    setFields(*c, "E", "06", {{"NMTIPOOPER", "A mais nova"}});
    const json answer = ok(c->call("GetHistTipOper", {"06", "E"}));
    EXPECT_EQ(answer["truncated"], true);
    const json& list = answer["entries"];
    ASSERT_EQ(list.size(), 5000u);
    EXPECT_EQ(list[0]["user"], "manutencao");
    EXPECT_EQ(list[0]["changes"][0]["after"], "A mais nova");
    EXPECT_EQ(list[1]["changes"][0]["after"], "5001");
    EXPECT_EQ(list[4999]["changes"][0]["after"], "3");
}

TEST_P(History, WhereUsedFindsBonusAndOriginDocumentReferences) {
    auto c = client();
    json row = record(*c, "E", "01");
    for (const char* code : {"70", "71"}) {
        row["CDTIPOOPER"] = code;
        row["CDTIPOOPERBONIF"] = nullptr;
        row["DSOPERNFORIG"] = nullptr;
        save(*c, harness::insert(row));
    }
    setFields(*c, "E", "70", {{"CDTIPOOPERBONIF", "70"}, {"DSOPERNFORIG", "E-70"}}); // itself: nothing dangles
    setFields(*c, "E", "01", {{"CDTIPOOPERBONIF", "70"}});
    setFields(*c, "E", "02", {{"CDTIPOOPERBONIF", "70"}, {"DSOPERNFORIG", "S-01,E-70"}});
    setFields(*c, "S", "01", {{"DSOPERNFORIG", "E-01,E-70,S-02"}}); // the other kind may list it
    setFields(*c, "S", "02", {{"CDTIPOOPERBONIF", "70"}});          // S-70, not E-70
    setFields(*c, "S", "03", {{"DSOPERNFORIG", "E-700,XE-70,S-70"}}); // other items holding its text

    const json packet = ok(c->call("GetUsoTipOper", {"70", "E"}));
    EXPECT_EQ(packet["fields"], (json{{{"name", "IDENTRSAIDOP"}, {"type", "string"}, {"size", 1}},
                                      {{"name", "CDTIPOOPER"}, {"type", "string"}, {"size", 2}},
                                      {{"name", "NMTIPOOPER"}, {"type", "string"}, {"size", 30}},
                                      {{"name", "DSUSO"}, {"type", "string"}, {"size", 16}}}));
    const std::string e01 = record(*c, "E", "01")["NMTIPOOPER"];
    const std::string e02 = record(*c, "E", "02")["NMTIPOOPER"];
    const std::string s01 = record(*c, "S", "01")["NMTIPOOPER"];
    EXPECT_EQ(packet["rows"], (json{{"E", "01", e01, "bonificacao"},
                                    {"E", "02", e02, "bonificacao"},
                                    {"E", "02", e02, "documento-origem"},
                                    {"S", "01", s01, "documento-origem"}}));

    EXPECT_TRUE(ok(c->call("GetUsoTipOper", {"71", "E"}))["rows"].empty()) << "an unused type";
    EXPECT_TRUE(ok(c->call("GetUsoTipOper", {"99", "S"}))["rows"].empty()) << "a type that does not exist";
    // The reference does not stop a delete.
    save(*c, harness::remove(record(*c, "E", "70")));
    EXPECT_EQ(ok(c->call("GetUsoTipOper", {"70", "E"}))["rows"].size(), 4u);
}

TEST_P(History, BadArgumentsAreRefusedWithStableCodesAndPortugueseTexts) {
    auto c = client();
    const std::vector<json> badArguments = {
        json::array(),
        {"01"},
        {"01", "E", "x"},
        {"01", "X"},
        {"01", ""},
        {"01", "e"},
        {"", "E"},
        {"123", "E"},
        {1, "E"},
        {"01", nullptr},
        {std::string("0\0", 2), "E"},
        {{{"CDTIPOOPER", "01"}}, "E"},
    };
    for (const char* method : {"GetHistTipOper", "GetUsoTipOper"})
        for (const auto& args : badArguments) {
            const json answer = c->call(method, args);
            EXPECT_EQ(refused(answer), rpc::kInvalidParams) << method << args.dump();
            const std::string message = answer["error"].value("message", "");
            EXPECT_NE(message.find(method), std::string::npos) << message;
        }
    // A one-character code is a code.
    EXPECT_TRUE(ok(c->call("GetHistTipOper", {"7", "S"}))["entries"].empty());
    // Before connect, the operations wait for it like every other.
    harness::RpcClient stranger(server_->port());
    EXPECT_EQ(refused(stranger.call("GetHistTipOper", {"01", "E"})), rpc::kNotConnected);
}
