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
    harness::RpcClient c(server_->port(), token());
    EXPECT_EQ(refused(c.call("GetCusto")), rpc::kNotConnected);
    EXPECT_EQ(refused(c.call("connect", {{"server", "Ger06600.rdmOutro"}, {"token", token()}})),
              rpc::kUnknownServer);
    EXPECT_EQ(refused(c.call("connect", {"Ger06600.rdmTipOper"})), rpc::kInvalidParams);
    EXPECT_EQ(refused(c.call("GetCusto")), rpc::kNotConnected);
    EXPECT_EQ(ok(c.connect()),
              (json{{"server", "Ger06600.rdmTipOper"}, {"user", "manutencao"}, {"role", "manutencao"}}));
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
    // The credential is never written; the user is, from the connect on.
    EXPECT_EQ(lines[0]["arguments"]["token"], "***");
    EXPECT_EQ(lines[0]["user"], "manutencao");
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
    const int version = appserver::migrations(appserver::Dialect::Sqlite).back().version;
    EXPECT_NE(server_->log().find("versão " + std::to_string(version)), std::string::npos) << server_->log();
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

namespace {

// True when the server closed the connection without sending a single line (not merely went silent).
bool closedUnanswered(harness::RpcClient& c) {
    try {
        const std::string line = c.readLine();
        ADD_FAILURE() << "o servidor respondeu: " << line.substr(0, 300);
        return false;
    } catch (const std::runtime_error& e) {
        return std::string_view(e.what()) == "conexão fechada pelo servidor";
    }
}

std::string requestLine(const json& id, const std::string& method, const json& params) {
    return json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}.dump();
}

long peakKilobytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

} // namespace

TEST_P(Protocol, HttpRequestCarryingJsonRpcLinesRunsNothing) {
    auto c = client();
    const json before = record(*c, "E", "03");
    ASSERT_TRUE(before.is_object());
    // What a web page can make a browser send: the body holds a valid connect and a delete.
    const std::string body =
        requestLine(1, "connect", {{"server", "Ger06600.rdmTipOper"}, {"token", token()}}) + "\n" +
        requestLine(2, "SetTipOper", {harness::changes({harness::remove(before)}), ""}) + "\n";
    const std::vector<std::string> requests = {
        "POST / HTTP/1.1\r\nHost: 127.0.0.1:7400\r\nContent-Type: text/plain\r\nContent-Length: " +
            std::to_string(body.size()) + "\r\n\r\n" + body,
        "GET /" + body.substr(0, 40) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
        "OPTIONS * HTTP/1.0\n" + body,
    };
    for (const auto& request : requests) {
        harness::RpcClient raw(server_->port());
        raw.send(request);
        EXPECT_TRUE(closedUnanswered(raw)) << request.substr(0, 40);
    }
    EXPECT_EQ(record(*c, "E", "03"), before);
}

TEST_P(Protocol, BeforeConnectALineThatIsNotAJsonObjectEndsTheConnection) {
    const std::vector<std::string> lines = {
        "[1,2]", "\"connect\"", "42", "não é JSON", "{\"jsonrpc\":\"2.0\",\"id\":1,",
        std::string(70, '[') + std::string(70, ']'),
        std::string("{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"Login\"}") + std::string(1, '\0'),
        requestLine(1, "Login", {{"user", std::string(70 * 1024, 'a')}, {"password", "x"}}), // over 64 KiB
    };
    for (const auto& line : lines) {
        harness::RpcClient raw(server_->port());
        raw.send(line + "\n" + requestLine(2, "GetCusto", json::array()) + "\n");
        EXPECT_TRUE(closedUnanswered(raw)) << line.substr(0, 60);
    }
    // A JSON object is answered, even a wrong one, and the connection goes on.
    harness::RpcClient c(server_->port(), token());
    c.send("{\"jsonrpc\":\"2.0\",\"method\":\"GetCusto\"}\n");
    EXPECT_EQ(refused(c.readResponse()), rpc::kInvalidRequest);
    EXPECT_EQ(ok(c.connect())["user"], "manutencao");
}

TEST_P(Protocol, NumbersNulsAndNestingAreRefusedWithoutRunningOrLibraryText) {
    auto c = client();
    const auto lines05S = [&] { return ok(c->call("GetMensTipoOper", {"05", "S"}))["rows"].size(); };
    const std::size_t before = lines05S();
    const std::string post = requestLine(9, "SetMensTipOper", {"", "05", "S", "001", "Não deve entrar", "C", ""});
    struct Case {
        std::string line;
        int code;
        json id; // echoed id; null when it could not be read
    };
    const std::vector<Case> cases = {
        {R"({"jsonrpc":"2.0","id":1e999999,"method":"GetCusto"})", rpc::kParseError, nullptr},
        {R"({"jsonrpc":"2.0","id":1,"method":"GetCusto","params":[-1e400]})", rpc::kParseError, nullptr},
        {post + std::string(1, '\0'), rpc::kParseError, nullptr},
        {post.substr(0, 10) + std::string(1, '\0') + post.substr(10), rpc::kParseError, nullptr},
        {R"({"jsonrpc":"2.0","id":9223372036854775808,"method":"GetCusto"})", rpc::kInvalidRequest, nullptr},
        {R"({"jsonrpc":"2.0","id":-9223372036854775809,"method":"GetCusto"})", rpc::kInvalidRequest, nullptr},
        {R"({"jsonrpc":"2.0","id":1.5,"method":"GetCusto"})", rpc::kInvalidRequest, nullptr},
        {R"({"jsonrpc":"2.0","id":1e3,"method":"GetCusto"})", rpc::kInvalidRequest, nullptr},
        {R"({"jsonrpc":"2.0","id":3,"method":"GetVdCusto","params":[)" + std::string(63, '[') +
             std::string(63, ']') + "]}",
         rpc::kInvalidRequest, nullptr}, // 65 levels with the envelope: refused before it is built
        {R"({"jsonrpc":"2.0","id":3,"method":"GetVdCusto","params":[)" + std::string(62, '[') +
             std::string(62, ']') + "]}",
         rpc::kInvalidParams, 3},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.line.substr(0, 80));
        c->send(k.line + "\n");
        const json answer = c->readResponse();
        EXPECT_EQ(refused(answer), k.code);
        EXPECT_EQ(answer["id"], k.id);
        const std::string message = answer["error"]["message"];
        for (const char* internal : {"exception", "overflow", "parse_error", "syntax error", "json"})
            EXPECT_EQ(message.find(internal), std::string::npos) << message;
    }
    EXPECT_EQ(lines05S(), before) << "a refused line never runs";
    // Ids that fit come back exactly as sent.
    for (const char* id : {"9223372036854775807", "-9223372036854775808", "0", "\"texto\"", "null"}) {
        c->send(std::string(R"({"jsonrpc":"2.0","id":)") + id + R"(,"method":"GetVdCusto","params":["01"]})" + "\n");
        const std::string line = c->readLine();
        EXPECT_EQ(line.find(std::string(R"({"jsonrpc":"2.0","id":)") + id + ","), 0u) << line.substr(0, 80);
    }
}

// A line of 6 MB made of empty arrays would take some 130 MB as a parsed tree; it is refused by its
// estimate before anything of it is built.
TEST_P(Protocol, OneLineCannotMakeTheServerHoldManyTimesItsSize) {
    auto c = client();
    ok(c->call("GetTipOper", {"E"}));
    const long peakBefore = peakKilobytes(server_->pid());
    ASSERT_GT(peakBefore, 0);
    std::string line = R"({"jsonrpc":"2.0","id":5,"method":"GetCusto","params":[)";
    for (int i = 0; i < 2'000'000; ++i)
        line += "[],";
    line += "[]]}\n";
    c->send(line);
    const json answer = c->readResponse();
    EXPECT_EQ(refused(answer), rpc::kRequestTooLarge);
    EXPECT_EQ(answer["id"], nullptr);
    // The line's own buffer (with the allocator's slack, more under the address sanitizer) is all it
    // costs: the tree would have taken over twenty times the line.
    const long grown = peakKilobytes(server_->pid()) - peakBefore;
    EXPECT_LT(grown, static_cast<long>(8 * line.size() / 1024)) << "pico de memória cresceu " << grown << " kB";
    EXPECT_EQ(ok(c->call("GetCusto"))["rows"].size(), 5u);
}

TEST_P(Protocol, ConnectionsPastTheCapAreRefusedClearly) {
    server_.reset();
    start({"--max-connections", "2"});
    auto first = client();
    auto second = client();
    {
        harness::RpcClient third(server_->port(), token());
        const json answer = third.readResponse();
        EXPECT_EQ(refused(answer), rpc::kTooManyConnections);
        EXPECT_NE(answer["error"]["message"].get<std::string>().find("máximo de 2 conexões"), std::string::npos);
        EXPECT_TRUE(closedUnanswered(third));
    }
    EXPECT_EQ(ok(second->call("GetCusto"))["rows"].size(), 5u);
    first->close();
    // The freed place is taken by the next client as soon as the server has seen the close.
    json answer;
    for (int attempt = 0; attempt < 50; ++attempt) {
        harness::RpcClient next(server_->port(), token());
        answer = next.connect();
        if (answer.contains("result")) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(answer.contains("result")) << answer.dump();
}

TEST_P(Protocol, ConnectionsThatNeverConnectAreClosedAfterTheTimeout) {
    server_.reset();
    start({"--connect-timeout", "1"});
    harness::RpcClient idle(server_->port());
    auto working = client();
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(closedUnanswered(idle));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
    EXPECT_EQ(ok(working->call("GetCusto"))["rows"].size(), 5u) << "a connected client stays";
}

TEST_P(Protocol, PipelinedRequestsAreAnsweredInOrder) {
    auto c = client();
    std::string burst;
    constexpr int kRequests = 3000; // more than one read and more than one turn of a worker
    for (int i = 0; i < kRequests; ++i)
        burst += requestLine(i, i % 3 ? "GetVdCusto" : "GetMensTipoOper", i % 3 ? json{"01"} : json{"05", "S"}) + "\n";
    std::thread writer([&] { c->send(burst); });
    for (int i = 0; i < kRequests; ++i) {
        const json answer = c->readResponse();
        ASSERT_EQ(answer["id"], i);
        ASSERT_TRUE(answer.contains("result")) << answer.dump();
    }
    writer.join();
}
