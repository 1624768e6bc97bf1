// The JSON-RPC side: bad requests, the connect handshake, oversized and dropped lines, the trace, and the
// process's start and stop. The database is SQLite here; the protocol does not depend on it.

#include "Database.h"
#include "DatabaseUrl.h"
#include "Fixture.h"
#include "Migrations.h"
#include "wire/Rpc.h"

#include <fstream>
#include <regex>
#include <thread>

using harness::json;
namespace rpc = wire::rpc;

class Protocol : public ServerTest {};
INSTANTIATE_TEST_SUITE_P(SQLite, Protocol, ::testing::Values(harness::Backend::Sqlite), backendName);

TEST_P(Protocol, BadRequestsAreAnsweredAndTheConnectionStaysUsable) {
    const json anyRow = {{"IDENTRSAIDOP", "E"}, {"CDTIPOOPER", "90"}, {"NMTIPOOPER", "x"}};
    struct Case {
        std::string line;
        int code;
        bool idKnown;
    };
    auto req = [](const std::string& method, const json& params) {
        return json{{"jsonrpc", "2.0"}, {"id", 7}, {"method", method}, {"params", params}}.dump();
    };
    const std::vector<Case> cases = {
        {"{\"jsonrpc\":\"2.0\",\"id\":7,", rpc::kParseError, false},
        {"não é JSON", rpc::kParseError, false},
        {"[1,2]", rpc::kInvalidRequest, false},
        {"{\"jsonrpc\":\"2.0\",\"method\":\"GetCusto\"}", rpc::kInvalidRequest, false},
        {"{\"jsonrpc\":\"2.0\",\"id\":{},\"method\":\"GetCusto\"}", rpc::kInvalidRequest, false},
        {"{\"id\":7,\"method\":\"GetCusto\"}", rpc::kInvalidRequest, true},
        {"{\"jsonrpc\":\"1.0\",\"id\":7,\"method\":\"GetCusto\"}", rpc::kInvalidRequest, true},
        {"{\"jsonrpc\":\"2.0\",\"id\":7,\"method\":42}", rpc::kInvalidRequest, true},
        {req("ApagaTudo", json::array()), rpc::kMethodNotFound, true},
        {req("GetVdCusto", json::array()), rpc::kInvalidParams, true},
        {req("GetVdCusto", {"01", "02"}), rpc::kInvalidParams, true},
        {req("GetVdCusto", {1}), rpc::kInvalidParams, true},
        {req("GetVdCusto", {nullptr}), rpc::kInvalidParams, true},
        {req("GetTipOper", {{"kind", "E"}}), rpc::kInvalidParams, true},
        {req("GetVdCusto", {std::string("0\0", 2)}), rpc::kInvalidParams, true},
        {req("SetTipOper", {"{\"changes\":[]}", ""}), rpc::kInvalidParams, true},
        {req("SetTipOper", {{{"changes", 5}}, ""}), rpc::kInvalidPacket, true},
        {req("SetTipOper", {{{"changes", {{{"op", "upsert"}, {"new", anyRow}}}}}, ""}), rpc::kInvalidPacket,
         true},
        {req("SetTipOper", {{{"changes", {{{"op", "modify"}, {"new", anyRow}}}}}, ""}), rpc::kInvalidPacket,
         true},
        {req("SetTipOper", {{{"changes", {{{"op", "insert"}, {"new", {{"CDTIPOOPER", 5}}}}}}}, ""}),
         rpc::kInvalidPacket, true},
        {req("SetTipOper", {harness::changes({harness::insert(anyRow)}), 5}), rpc::kInvalidParams, true},
        {req("SetMensTipOper", {"", "01", "E", "001", "x", "D", ""}), rpc::kInvalidParams, true},
    };
    auto c = client();
    for (const auto& k : cases) {
        SCOPED_TRACE(k.line);
        c->send(k.line + "\n");
        const json answer = c->readResponse();
        EXPECT_EQ(answer["jsonrpc"], "2.0");
        EXPECT_EQ(answer["id"], k.idKnown ? json(7) : json(nullptr));
        EXPECT_EQ(refused(answer), k.code);
        EXPECT_EQ(ok(c->call("GetVdCusto", {"01"}))["rows"].size(), 1u);
    }
    // A client's text comes back cut, not whole.
    const json longName = c->call(std::string(100'000, 'M'));
    EXPECT_EQ(refused(longName), rpc::kMethodNotFound);
    EXPECT_LT(longName.dump().size(), 300u);
    // Nothing was written by any of them.
    EXPECT_EQ(record(*c, "E", "90"), nullptr);
    EXPECT_EQ(ok(c->call("GetMensTipoOper", {"01", "E"}))["rows"].size(), 2u);
}

TEST_P(Protocol, OperationsWaitForConnectWithTheServerName) {
    harness::RpcClient c(server_->port());
    EXPECT_EQ(refused(c.call("GetCusto")), rpc::kNotConnected);
    EXPECT_EQ(refused(c.call("connect", {{"server", "Ger06600.rdmOutro"}})), rpc::kUnknownServer);
    EXPECT_EQ(refused(c.call("connect", {"Ger06600.rdmTipOper"})), rpc::kInvalidParams);
    EXPECT_EQ(refused(c.call("GetCusto")), rpc::kNotConnected);
    EXPECT_EQ(ok(c.connect()), (json{{"server", "Ger06600.rdmTipOper"}}));
    EXPECT_EQ(ok(c.connect())["server"], "Ger06600.rdmTipOper");
    EXPECT_EQ(ok(c.call("GetCusto"))["rows"].size(), 5u);
    // A wrong name after a good connect is refused and changes nothing.
    EXPECT_EQ(refused(c.call("connect", {{"server", "x"}})), rpc::kUnknownServer);
    EXPECT_EQ(ok(c.call("GetCusto"))["rows"].size(), 5u);
}

TEST_P(Protocol, OversizedLineIsRefusedAndDiscardedUpToItsNewline) {
    auto c = client();
    std::string huge = "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"GetTipOper\",\"params\":[\"";
    huge.append(rpc::kMaxRequestBytes, 'E');
    // The answer comes while the line is still arriving; the rest of the line is dropped.
    std::thread writer([&] { c->send(huge + "\"]}\n"); });
    const json answer = c->readResponse();
    writer.join();
    EXPECT_EQ(answer["id"], nullptr);
    EXPECT_EQ(refused(answer), rpc::kRequestTooLarge);
    EXPECT_EQ(ok(c->call("GetVdCusto", {"02"}))["rows"].size(), 1u);
}

TEST_P(Protocol, ClientDroppingMidRequestLeavesTheServerServing) {
    {
        auto dropped = client();
        const json row = {{"IDENTRSAIDOP", "E"}, {"CDTIPOOPER", "91"}, {"NMTIPOOPER", "Meia linha"}};
        const std::string line = json{{"jsonrpc", "2.0"},
                                      {"id", 1},
                                      {"method", "SetTipOper"},
                                      {"params", {harness::changes({harness::insert(row)}), ""}}}
                                     .dump();
        dropped->send(line.substr(0, line.size() / 2));
        dropped->close();
    }
    auto other = client();
    EXPECT_EQ(record(*other, "E", "91"), nullptr);
    EXPECT_EQ(ok(other->call("GetBonificacao", {"E"}))["rows"].size(), 13u);
    auto later = client();
    EXPECT_EQ(ok(later->call("GetPreco"))["rows"].size(), 5u);
}

TEST_P(Protocol, TraceHasOneLinePerCall) {
    const auto file = db_->dir() / "trace.jsonl";
    server_.reset();
    start({"--trace", file.string()});
    {
        auto c = client();
        ok(c->call("GetMensTipoOper", {"01", "E"}));
        json row = record(*c, "E", "02");
        json changed = row;
        changed["NMTIPOOPER"] = "Uso e consumo";
        ok(c->call("SetTipOper", {harness::changes({harness::modify(row, changed)}), "CDPRECOBASE|"}));
        c->send("{oops\n");
        c->readResponse();
    }
    server_->stop();
    std::ifstream in(file);
    std::vector<json> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(json::parse(line));
    ASSERT_EQ(lines.size(), 5u); // connect, GetMensTipoOper, GetTipOper, SetTipOper, the malformed line
    const std::regex iso(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{6}Z)");
    for (const auto& l : lines) {
        EXPECT_TRUE(std::regex_match(l["time"].get<std::string>(), iso)) << l.dump();
        EXPECT_GE(l["duration_us"].get<long long>(), 0);
    }
    EXPECT_EQ(lines[0]["operation"], "connect");
    EXPECT_EQ(lines[1]["arguments"], (json{"01", "E"}));
    EXPECT_EQ(lines[1]["outcome"], "ok");
    EXPECT_EQ(lines[3]["operation"], "SetTipOper");
    EXPECT_EQ(lines[3]["arguments"],
              (json{{{"changes", 1}, {"insert", 0}, {"modify", 1}, {"delete", 0}}, "CDPRECOBASE|"}));
    EXPECT_EQ(lines[4]["operation"], nullptr);
    EXPECT_EQ(lines[4]["outcome"]["code"], rpc::kParseError);
}

TEST_P(Protocol, StopsOnSigtermAndKeepsItsDataAcrossRestarts) {
    EXPECT_TRUE(
        std::regex_match(server_->banner(), std::regex(R"(tipoper-appserver ouvindo em 127\.0\.0\.1:\d+)")))
        << server_->banner();
    {
        auto c = client();
        ok(c->call("SetMensTipOper", {"", "02", "E", "009", "Linha que sobrevive", "C", ""}));
    }
    EXPECT_EQ(server_->stop(), 0);
    // A second start with --demo on a database that has data changes nothing.
    start({"--demo"});
    auto c = client();
    EXPECT_EQ(ok(c->call("GetMensTipoOper", {"02", "E"}))["rows"].size(), 1u);
    EXPECT_EQ(ok(c->call("GetCusto"))["rows"].size(), 5u);
    EXPECT_NE(server_->log().find("versão 2"), std::string::npos) << server_->log();
    EXPECT_EQ(server_->stop(), 0);
}

TEST_P(Protocol, StartRefusesWhatItCannotServe) {
    server_->stop();
    {
        // A database migrated by a newer server.
        appserver::Database db(appserver::parseDatabaseUrl(db_->url()));
        db.exec("INSERT INTO SCHEMA_VERSION (VERSION, DSMIGRACAO, DTAPLICACAO) VALUES (99, 'futura', 'x')");
    }
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    const std::vector<Case> cases = {
        {{"--db", db_->url(), "--port", "0"}, 1, "mais nova"},
        {{"--db", "mysql://x/y", "--port", "0"}, 1, "não reconhecida"},
        {{"--db", "sqlite:", "--port", "0"}, 1, "sem caminho"},
        {{"--db", "sqlite:" + (db_->dir() / "outra.db").string(), "--listen", "256.1.1.1", "--port", "0"},
         1,
         "Endereço de escuta inválido"},
        {{"--port", "70000"}, 2, "opção inválida"},
        {{"--log-level", "verboso"}, 2, "opção inválida"},
    };
    for (const auto& k : cases) {
        std::string log;
        EXPECT_EQ(harness::ServerProcess::runToFailure(k.args, log), k.status) << log;
        EXPECT_NE(log.find(k.says), std::string::npos) << log;
    }
}
