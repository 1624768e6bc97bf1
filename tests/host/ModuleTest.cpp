// The host with the real screen module and a real application server (temporary SQLite with demo
// data): what one session does never shows in another, refusals change nothing, and a question's
// answer resumes the handler that asked it.

#if defined(TIPOPER_TEST_MODULE) && defined(TIPOPER_TEST_APPSERVER)

#include "AppServerToken.h"
#include "HostFixture.h"
#include "SnapshotMerge.h"
#include "host/Api.h"
#include "host/CredentialAuthority.h"
#include "host/ModuleScreen.h"
#include "host/ScreenModule.h"
#include "host/SessionRegistry.h"
#include "lib/Morvala.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <random>
#include <regex>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace hosttest {
namespace {

using nlohmann::json;

class ModuleFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::filesystem::temp_directory_path() / ("tipoper-host-module-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
        const std::string db = "sqlite:" + (dir_ / "t.db").string();
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::vector<std::string> argv{TIPOPER_TEST_APPSERVER, "--db", db, "--port", "0", "--demo",
                                      "--log-level",          "warn"};
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        ASSERT_EQ(posix_spawn(&appServer_, args[0], &actions, nullptr, args.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        std::string out;
        char buffer[256];
        std::smatch match;
        const std::regex listening(R"(ouvindo em ([\d.]+:\d+))");
        while (!std::regex_search(out, match, listening)) {
            const ssize_t n = read(fds[0], buffer, sizeof buffer);
            ASSERT_GT(n, 0) << "o servidor de aplicação não iniciou: " << out;
            out.append(buffer, static_cast<std::size_t>(n));
        }
        close(fds[0]);
        // No credential of the host's own: each screen connects with its session's user's.
        Morvala::HostConfig config;
        config.appServer = match[1].str();
        config.databaseURL = db;
        Morvala::setHostConfig(config);
        address_ = match[1].str();
        db_ = db;
        token_ = testing_support::appServerToken(TIPOPER_TEST_APPSERVER, db);
        module_ = host::loadScreenModule(TIPOPER_TEST_MODULE);
    }
    static void TearDownTestSuite() {
        if (appServer_ > 0) {
            kill(appServer_, SIGTERM);
            waitpid(appServer_, nullptr, 0);
        }
        Morvala::setHostConfig({});
        std::filesystem::remove_all(dir_);
    }

    void SetUp() override {
        auto module = module_;
        registry_ = std::make_unique<host::SessionRegistry>(
            [module](const host::Identity& who) { return std::make_unique<host::ModuleScreen>(module, who); },
            host::RegistryOptions{});
        host::AppServerAuthorityOptions options;
        std::tie(options.host, options.port) = splitAddress(address_);
        authority_ = std::make_unique<host::AppServerAuthority>(options);
        authenticator_ = std::make_unique<host::Authenticator>(*authority_, csrf_);
        api_ = std::make_unique<host::Api>(*registry_, *authenticator_, csrf_);
    }
    void TearDown() override {
        api_.reset();
        authenticator_.reset();
        registry_.reset();
    }

    static std::pair<std::string, int> splitAddress(const std::string& address) {
        const auto colon = address.rfind(':');
        return {address.substr(0, colon), std::stoi(address.substr(colon + 1))};
    }
    host::Reply call(const std::string& method, const std::string& path, const std::string& body = "",
                     bool rows = false, const std::string& token = "") {
        return api_->handle(apiRequest(method, path, body, rows, std::nullopt, token.empty() ? token_ : token));
    }
    std::string session(const std::string& token = "") {
        auto reply = call("POST", "/api/sessions", "", false, token);
        EXPECT_EQ(reply.status, 201) << reply.body;
        return json::parse(reply.body)["id"];
    }
    json send(const std::string& id, const json& event, int status = 200, bool rows = false,
              const std::string& token = "") {
        auto reply = call("POST", "/api/sessions/" + id + "/events", event.dump(), rows, token);
        EXPECT_EQ(reply.status, status) << event.dump() << " -> " << reply.body.substr(0, 400);
        return json::parse(reply.body);
    }
    json snapshot(const std::string& id, bool rows = false, const std::string& token = "") {
        return json::parse(call("GET", "/api/sessions/" + id, "", rows, token).body);
    }
    // Opens the screen and leaves the filter on the kind's item (0 Entrada, 1 Saída).
    json load(const std::string& id, int kind, const std::string& token = "") {
        send(id, {{"type", "open"}}, 200, false, token);
        send(id, {{"type", "pick"}, {"control", "cbbEntSaid"}, {"index", kind}}, 200, false, token);
        json snap = send(id, {{"type", "focus"}, {"control", "dbgPadrao"}}, 200, true, token);
        EXPECT_EQ(snap["result"], "done") << snap["error"];
        return snap;
    }

    static inline std::filesystem::path dir_;
    static inline pid_t appServer_ = -1;
    static inline host::ScreenModule module_;
    static inline std::string address_, db_, token_;
    host::CsrfTokens csrf_;
    std::unique_ptr<host::SessionRegistry> registry_;
    std::unique_ptr<host::AppServerAuthority> authority_;
    std::unique_ptr<host::Authenticator> authenticator_;
    std::unique_ptr<host::Api> api_;
};

TEST_F(ModuleFixture, TwoSessionsOnDifferentKindsStayApart) {
    const std::string entrada = session(), saida = session();
    json e = load(entrada, 0);
    json s = load(saida, 1);
    EXPECT_EQ(e["controls"]["lblOrigDest"]["caption"], "Origem");
    EXPECT_EQ(s["controls"]["lblOrigDest"]["caption"], "Destino");
    for (const auto& [snap, kind] : {std::pair{e, "E"}, std::pair{s, "S"}}) {
        const auto& rows = snap["datasets"]["cdsTipOper"]["rows"];
        ASSERT_FALSE(rows.empty()) << kind;
        for (const auto& row : rows)
            EXPECT_EQ(row["IDENTRSAIDOP"], kind);
    }
    // Interleaved acts: each session keeps its own position, state and unit.
    send(entrada, {{"type", "move"}, {"dataset", "cdsTipOper"}, {"recNo", 2}});
    send(saida, {{"type", "click"}, {"control", "sbtAlterar"}});
    json e2 = snapshot(entrada), s2 = snapshot(saida);
    EXPECT_EQ(e2["datasets"]["cdsTipOper"]["recNo"], 2);
    EXPECT_EQ(e2["datasets"]["cdsTipOper"]["state"], "browse");
    EXPECT_EQ(s2["datasets"]["cdsTipOper"]["recNo"], 1);
    EXPECT_EQ(s2["datasets"]["cdsTipOper"]["state"], "edit");
    EXPECT_EQ(e2["unit"]["boStCriado"], true);
    EXPECT_EQ(s2["unit"]["boStCriado"], true);
    EXPECT_EQ(e2["controls"]["cbbEntSaid"]["itemIndex"], 0);
    EXPECT_EQ(s2["controls"]["cbbEntSaid"]["itemIndex"], 1);
    // Closing one screen leaves the other open.
    json closed = send(entrada, {{"type", "close"}});
    EXPECT_EQ(closed["unit"]["boStCriado"], false);
    EXPECT_EQ(snapshot(saida)["unit"]["boStCriado"], true);
}

TEST_F(ModuleFixture, RefusedActsOnTheScreenChangeNothing) {
    const std::string id = session();
    send(id, {{"type", "open"}});
    const json before = snapshot(id);
    EXPECT_EQ(before["controls"]["sbtIncluir"]["enabled"], false);
    send(id, {{"type", "click"}, {"control", "sbtIncluir"}}, 409);
    send(id, {{"type", "page"}, {"page", "tshFormulario"}}, 409); // disabled until a kind is loaded
    send(id, {{"type", "click"}, {"control", "dckDocDevo"}}, 409);
    send(id, {{"type", "click"}, {"control", "naoExiste"}}, 404);
    EXPECT_EQ(snapshot(id), before);

    load(id, 1);
    send(id, {{"type", "page"}, {"page", "tshFormulario"}});
    const json browsing = snapshot(id);
    json refused = send(id, {{"type", "type"}, {"control", "dbeNmTipoOper"}, {"text", "Outro"}}, 409);
    EXPECT_TRUE(refused["error"].is_string());
    EXPECT_EQ(snapshot(id), browsing);
}

// A click on a header of the list orders the real screen's records; the current record stays current,
// and the refusals use the API's codes.
TEST_F(ModuleFixture, SortingTheListKeepsTheRecordAndIsRefusedWhileEditing) {
    const std::string id = session();
    json snap = load(id, 1);
    ASSERT_GE(snap["datasets"]["cdsTipOper"]["recordCount"].get<int>(), 3);
    send(id, {{"type", "move"}, {"dataset", "cdsTipOper"}, {"recNo", 2}});
    const std::string code = snapshot(id)["datasets"]["cdsTipOper"]["current"]["CDTIPOOPER"];

    snap = send(id, {{"type", "sort"}, {"control", "dbgPadrao"}, {"column", "NMTIPOOPER"}, {"descending", true}},
                200, true);
    EXPECT_EQ(snap["controls"]["dbgPadrao"]["sort"], json::parse(R"({"column":"NMTIPOOPER","descending":true})"));
    const auto& rows = snap["datasets"]["cdsTipOper"]["rows"];
    for (std::size_t i = 1; i < rows.size(); ++i)
        EXPECT_GE(rows[i - 1]["NMTIPOOPER"].get<std::string>(), rows[i]["NMTIPOOPER"].get<std::string>()) << i;
    EXPECT_EQ(snap["datasets"]["cdsTipOper"]["current"]["CDTIPOOPER"], code);

    // Altering shows the form page, so the list cannot be reached (the toolkit's tests cover a sort
    // refused on a grid in view while its dataset is edited).
    send(id, {{"type", "click"}, {"control", "sbtAlterar"}});
    json refused = send(id, {{"type", "sort"}, {"control", "dbgPadrao"}, {"column", "CDTIPOOPER"}}, 409);
    EXPECT_EQ(refused["code"], "hidden");
    refused = send(id, {{"type", "sort"}, {"control", "dbgPadrao"}, {"column", "NADA"}}, 404);
    EXPECT_EQ(refused["code"], "unknown-column");
    refused = send(id, {{"type", "sort"}, {"control", "dbgPadrao"}, {"column", "NMTIPOOPER"}, {"descending", "sim"}}, 400);
    EXPECT_EQ(refused["code"], "bad-request");
    send(id, {{"type", "sort"}, {"control", "dbgPadrao"}}, 400);
}

TEST_F(ModuleFixture, AnswerToTheCancelQuestionResumesTheHandler) {
    const std::string id = session();
    load(id, 1);
    send(id, {{"type", "page"}, {"page", "tshFormulario"}});
    const std::string name = snapshot(id)["datasets"]["cdsTipOper"]["current"]["NMTIPOOPER"];
    send(id, {{"type", "click"}, {"control", "sbtAlterar"}});
    send(id, {{"type", "type"}, {"control", "dbeNmTipoOper"}, {"text", "Nome provisório"}});

    json asked = send(id, {{"type", "click"}, {"control", "sbtCancelar"}});
    EXPECT_EQ(asked["result"], "waiting");
    EXPECT_EQ(asked["dialog"]["kind"], "confirm");
    EXPECT_EQ(asked["dialog"]["key"], "Canc");
    EXPECT_EQ(asked["datasets"]["cdsTipOper"]["state"], "edit"); // the handler has not gone on yet
    json kept = send(id, {{"type", "answer"}, {"value", "no"}});
    EXPECT_EQ(kept["result"], "aborted"); // any answer but yes ends the handler silently
    EXPECT_EQ(kept["datasets"]["cdsTipOper"]["state"], "edit");

    send(id, {{"type", "click"}, {"control", "sbtCancelar"}});
    json cancelled = send(id, {{"type", "answer"}, {"value", "yes"}});
    EXPECT_EQ(cancelled["result"], "done") << cancelled["error"];
    EXPECT_EQ(cancelled["datasets"]["cdsTipOper"]["state"], "browse");
    EXPECT_EQ(cancelled["datasets"]["cdsTipOper"]["current"]["NMTIPOOPER"], name);
    EXPECT_EQ(cancelled["shown"], json::array({"Deseja cancelar as alterações?"}));
}

// A client keeps one chain of answers: the whole state it holds, and the version it stands at.
struct Chain {
    json whole;
    std::uint64_t version = 0;
    bool rows = false;

    void take(const json& answer) {
        whole = answer["base"].is_null() ? answer : snapshot_test::merged(whole, answer);
        whole["base"] = nullptr;
        version = answer["version"].get<std::uint64_t>();
    }
};

// An answer to the dialog the screen shows, of the right shape and picked at random.
json answerFor(const json& dialog, std::mt19937& random) {
    const std::string kind = dialog["kind"];
    auto coin = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    if (kind == "confirm")
        return json(std::vector<std::string>{"yes", "no", "cancel"}[static_cast<std::size_t>(coin(3))]);
    if (kind == "error") return "ok";
    const auto rows = dialog["rows"].size();
    if (rows == 0 || coin(4) == 0) return "cancel";
    if (kind == "pick" && dialog["multi"] == true) {
        json keys = json::array();
        for (const auto& k : dialog["keys"])
            if (coin(2)) keys.push_back(k);
        return {{"keys", keys}};
    }
    return {{"recNo", 1 + coin(static_cast<int>(rows))}};
}

// Whether the user can reach a control as the snapshot shows it: it and every container around it
// visible and enabled, on the page shown.
bool reachable(const json& controls, const std::string& name) {
    for (const json* c = &controls[name]; c;) {
        if (!(*c)["visible"].get<bool>() || !(*c)["enabled"].get<bool>()) return false;
        if ((*c)["parent"].is_null()) break;
        const std::string parent = (*c)["parent"];
        const json& container = controls[parent];
        if (container["type"] == "TPageControl" && container["activePage"] != name) return false;
        return reachable(controls, parent);
    }
    return true;
}

// A user's act on the screen as it stands, picked at random: mostly on what is there to act on, now
// and then on something refused, so that refusals are replayed too.
json randomEvent(const json& whole, std::mt19937& random) {
    auto coin = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    auto any = [&](const std::vector<std::string>& from) {
        return from[static_cast<std::size_t>(coin(static_cast<int>(from.size())))];
    };
    const json& controls = whole["controls"];
    if (controls.empty()) return {{"type", "open"}}; // the screen was closed: the user opens it again
    std::vector<std::string> names, toolbar;
    const bool anyControl = coin(8) == 0;
    for (const auto& [name, c] : controls.items()) {
        if (!anyControl && !reachable(controls, name)) continue;
        names.push_back(name);
        if (name.rfind("sbt", 0) == 0 && name != "sbtFechar") toolbar.push_back(name);
    }
    if (names.empty()) return {{"type", "focus"}, {"control", "cbbEntSaid"}};
    const std::string control = any(names);
    const json& c = controls[control];
    const std::string type = c["type"];
    const int roll = coin(20);
    if (roll < 5 && !toolbar.empty()) return {{"type", "click"}, {"control", any(toolbar)}};
    if (roll < 7) {
        const std::string set = coin(3) ? "cdsTipOper" : "cdsMensTipoOper";
        return {{"type", "move"},
                {"dataset", set},
                {"recNo", 1 + coin(std::max(1, whole["datasets"][set]["recordCount"].get<int>() + 1))}};
    }
    if (roll < 9) return {{"type", "page"}, {"page", any({"tshFolhaDados", "tshFormulario", "tshMensagem"})}};
    if (roll < 10) return {{"type", "focus"}, {"control", control}};
    if (roll < 11) return {{"type", "key"}, {"control", control}, {"key", any({"Tab", "Enter", "S", "N"})}};
    if (type == "TDBEdit" || type == "TEdit")
        return {{"type", "type"},
                {"control", control},
                {"text", any({"", "1", "01", "99", "Nome de teste", "S-02", "E-01,E-05"})}};
    if (c["items"].is_array() && !c["items"].empty())
        return {
            {"type", "pick"}, {"control", control}, {"index", coin(static_cast<int>(c["items"].size()) + 1)}};
    return {{"type", "click"}, {"control", control}};
}

// 200 acts of a user on the real screen, each answered as a delta: after every one, the whole state
// a client holds (its previous whole with the delta applied) is the whole state the host shows, with
// and without rows, in the event's own answer and in a reader's that only asks.
TEST_F(ModuleFixture, EveryDeltaAppliedToThePreviousWholeIsTheWholeNow) {
    for (bool eventRows : {false, true}) {
        SCOPED_TRACE(eventRows ? "event answers with rows" : "event answers without rows");
        const std::string id = session();
        std::mt19937 random(eventRows ? 2026u : 606u);
        send(id, {{"type", "open"}});
        send(id, {{"type", "pick"}, {"control", "cbbEntSaid"}, {"index", eventRows ? 1 : 0}});
        send(id, {{"type", "focus"}, {"control", "dbgPadrao"}});
        Chain events{snapshot(id, eventRows), 0, eventRows};
        events.take(events.whole);
        Chain reader{snapshot(id, !eventRows), 0, !eventRows};
        reader.take(reader.whole);
        int refused = 0, deltas = 0, dialogs = 0;
        for (int step = 0; step < 200; ++step) {
            dialogs += events.whole["dialog"].is_null() ? 0 : 1;
            const json event =
                events.whole["dialog"].is_null()
                    ? randomEvent(events.whole, random)
                    : json{{"type", "answer"}, {"value", answerFor(events.whole["dialog"], random)}};
            SCOPED_TRACE("step " + std::to_string(step) + ": " + event.dump());
            const host::Reply reply = api_->handle(apiRequest("POST", "/api/sessions/" + id + "/events",
                                                              event.dump(), events.rows, events.version, token_));
            const json answer = json::parse(reply.body);
            if (reply.status == 200) {
                events.take(answer);
                deltas += answer["base"].is_null() ? 0 : 1;
            } else {
                ASSERT_TRUE(reply.status == 404 || reply.status == 409) << reply.body;
                ASSERT_TRUE(answer["code"].is_string()) << reply.body;
                ++refused;
            }
            const host::Reply read =
                api_->handle(apiRequest("GET", "/api/sessions/" + id, "", reader.rows, reader.version, token_));
            ASSERT_EQ(read.status, 200);
            reader.take(json::parse(read.body));

            for (const Chain* chain : {&events, &reader}) {
                json whole = snapshot(id, chain->rows);
                ASSERT_TRUE(whole["base"].is_null());
                ASSERT_EQ(whole["version"], chain->version)
                    << "nothing happened between the answer and the read";
                ASSERT_EQ(chain->whole, whole) << (chain == &events ? "event chain" : "reader chain");
            }
        }
        EXPECT_GT(deltas, 100) << "most acts must run and answer deltas";
        EXPECT_GT(dialogs, 5) << "questions and lists are answered too";
        EXPECT_GT(refused, 0) << "refusals are part of the replay";
    }
}

TEST_F(ModuleFixture, DeletingAndClosingWithAnEditAskFirstAndDefaultToNo) {
    const std::string id = session();
    json loaded = load(id, 0);
    const int count = loaded["datasets"]["cdsTipOper"]["recordCount"];
    json asked = send(id, {{"type", "click"}, {"control", "sbtExcluir"}});
    EXPECT_EQ(asked["result"], "waiting");
    EXPECT_EQ(asked["dialog"]["kind"], "confirm");
    // A demo type other types reference is asked about first, also defaulting to No.
    if (asked["dialog"]["key"] == "ExclUso") {
        EXPECT_EQ(asked["dialog"]["default"], "no");
        asked = send(id, {{"type", "answer"}, {"value", "yes"}});
    }
    EXPECT_EQ(asked["dialog"]["key"], "Excl");
    EXPECT_EQ(asked["dialog"]["default"], "no");
    json kept = send(id, {{"type", "answer"}, {"value", "no"}});
    EXPECT_EQ(kept["result"], "aborted");
    EXPECT_EQ(kept["datasets"]["cdsTipOper"]["recordCount"], count);
    EXPECT_EQ(kept["datasets"]["cdsTipOper"]["changeCount"], 0);

    // The close event of a screen with a pending edit asks the same way the close button does.
    send(id, {{"type", "click"}, {"control", "sbtAlterar"}});
    send(id, {{"type", "type"}, {"control", "dbeNmTipoOper"}, {"text", "Nome provisório"}});
    for (json close : {json{{"type", "close"}}, json{{"type", "click"}, {"control", "sbtFechar"}}}) {
        json question = send(id, close);
        EXPECT_EQ(question["dialog"]["key"], "FechAlt") << close;
        EXPECT_EQ(question["dialog"]["default"], "no");
        EXPECT_EQ(question["dialog"]["text"], "Existem alterações não gravadas. Deseja descartá-las e fechar a tela?");
        json stays = send(id, {{"type", "answer"}, {"value", "no"}});
        EXPECT_EQ(stays["unit"]["boStCriado"], true);
        EXPECT_EQ(stays["datasets"]["cdsTipOper"]["state"], "edit");
        EXPECT_EQ(stays["controls"]["dbeNmTipoOper"]["text"], "Nome provisório");
    }
    // Ending the session asks nobody.
    EXPECT_EQ(call("DELETE", "/api/sessions/" + id).status, 204);
    EXPECT_EQ(call("GET", "/api/sessions/" + id).status, 404);
}

// A user who may only read sees the records, and include, alter and delete each end in the refusal box
// and the silent abort, with the records and the screen's state as they were.
TEST_F(ModuleFixture, TheReadOnlyRoleIsRefusedIncludeAlterAndDelete) {
    const std::string reader = testing_support::appServerToken(TIPOPER_TEST_APPSERVER, db_, "leitor", "consulta");
    const std::string id = session(reader);
    const json loaded = load(id, 1, reader);
    ASSERT_FALSE(loaded["datasets"]["cdsTipOper"]["rows"].empty()) << "reading is allowed";
    const json before = snapshot(id, true, reader);
    for (const char* button : {"sbtIncluir", "sbtAlterar", "sbtExcluir"}) {
        json box = send(id, {{"type", "click"}, {"control", button}}, 200, false, reader);
        EXPECT_EQ(box["result"], "waiting") << button;
        EXPECT_EQ(box["dialog"]["kind"], "error") << button;
        EXPECT_EQ(box["dialog"]["text"], "Usuário sem permissão para alterar tipos de operação.") << button;
        json after = send(id, {{"type", "answer"}, {"value", "ok"}}, 200, true, reader);
        EXPECT_EQ(after["result"], "aborted") << button;
        EXPECT_EQ(after["datasets"]["cdsTipOper"]["state"], "browse") << button;
        EXPECT_EQ(after["datasets"]["cdsTipOper"]["rows"], before["datasets"]["cdsTipOper"]["rows"]) << button;
    }
    // A user who may write, on the same kind, is not held back.
    const std::string writer = session();
    load(writer, 1);
    EXPECT_EQ(send(writer, {{"type", "click"}, {"control", "sbtAlterar"}})["datasets"]["cdsTipOper"]["state"], "edit");
}

// Two users alter the same operation type: the second save is refused by the server and the API
// shows the conflict dialog with both versions; "theirs" keeps the stored one and nothing is sent again,
// "mine" puts my value back in edit on their version.
TEST_F(ModuleFixture, ASaveRefusedForAnotherUsersChangeShowsTheConflictDialog) {
    const std::string other = testing_support::appServerToken(TIPOPER_TEST_APPSERVER, db_, "maria", "manutencao");
    const std::string mine = session(), theirs = session(other);
    load(mine, 1);
    load(theirs, 1, other);
    auto rename = [&](const std::string& id, const std::string& name, const std::string& token) {
        send(id, {{"type", "click"}, {"control", "sbtAlterar"}}, 200, false, token);
        send(id, {{"type", "type"}, {"control", "dbeNmTipoOper"}, {"text", name}}, 200, false, token);
        return send(id, {{"type", "click"}, {"control", "sbtConfirmar"}}, 200, true, token);
    };
    const json saved = rename(theirs, "Nome da Maria", other);
    ASSERT_EQ(saved["result"], "done") << saved["dialog"];

    json asked = rename(mine, "Meu nome", "");
    ASSERT_EQ(asked["result"], "waiting");
    ASSERT_EQ(asked["dialog"]["kind"], "conflict") << asked["dialog"];
    EXPECT_EQ(asked["dialog"]["key"], "Conflito");
    EXPECT_EQ(asked["dialog"]["default"], "theirs");
    EXPECT_EQ(asked["dialog"]["changedBy"], "maria");
    EXPECT_EQ(asked["dialog"]["removed"], false);
    ASSERT_EQ(asked["dialog"]["fields"].size(), 1u) << asked["dialog"];
    EXPECT_EQ(asked["dialog"]["fields"][0]["mine"], "Meu nome");
    EXPECT_EQ(asked["dialog"]["fields"][0]["theirs"], "Nome da Maria");
    EXPECT_EQ(send(mine, {{"type", "answer"}, {"value", "yes"}}, 400)["code"], "bad-answer");

    json kept = send(mine, {{"type", "answer"}, {"value", "theirs"}}, 200, true);
    EXPECT_TRUE(kept["dialog"].is_null());
    EXPECT_EQ(kept["datasets"]["cdsTipOper"]["state"], "browse");
    EXPECT_EQ(kept["datasets"]["cdsTipOper"]["current"]["NMTIPOOPER"], "Nome da Maria");

    // Again, and this time my value goes back in edit on their version, to be confirmed by me.
    ASSERT_EQ(rename(theirs, "Maria de novo", other)["result"], "done");
    asked = rename(mine, "Meu nome", "");
    ASSERT_EQ(asked["dialog"]["kind"], "conflict");
    json reapplied = send(mine, {{"type", "answer"}, {"value", "mine"}}, 200, true);
    EXPECT_EQ(reapplied["datasets"]["cdsTipOper"]["state"], "edit") << reapplied["dialog"];
    EXPECT_EQ(reapplied["datasets"]["cdsTipOper"]["current"]["NMTIPOOPER"], "Meu nome") << reapplied["dialog"] << reapplied["controls"]["pgcPadrao"];
    json confirmed = send(mine, {{"type", "click"}, {"control", "sbtConfirmar"}}, 200, true);
    EXPECT_EQ(confirmed["result"], "done") << confirmed["dialog"];
    EXPECT_EQ(confirmed["datasets"]["cdsTipOper"]["state"], "browse");
}

} // namespace
} // namespace hosttest

#endif
