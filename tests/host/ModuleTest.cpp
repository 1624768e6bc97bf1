// The host with the real screen module and a real application server (temporary SQLite with demo
// data): what one session does never shows in another, refusals change nothing, and a question's
// answer resumes the handler that asked it.

#if defined(TIPOPER_TEST_MODULE) && defined(TIPOPER_TEST_APPSERVER)

#include "AppServerToken.h"
#include "HostFixture.h"
#include "SnapshotMerge.h"
#include "host/Api.h"
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
        Morvala::HostConfig config;
        config.appServer = match[1].str();
        config.databaseURL = db;
        config.credential = Morvala::Credential{Morvala::Credential::Kind::Token,
                                                testing_support::appServerToken(TIPOPER_TEST_APPSERVER, db)};
        Morvala::setHostConfig(config);
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
            [module] { return std::make_unique<host::ModuleScreen>(module); }, host::RegistryOptions{});
        api_ = std::make_unique<host::Api>(*registry_);
    }
    void TearDown() override {
        api_.reset();
        registry_.reset();
    }

    std::string session() {
        auto reply = api_->handle(apiRequest("POST", "/api/sessions"));
        return json::parse(reply.body)["id"];
    }
    json send(const std::string& id, const json& event, int status = 200, bool rows = false) {
        auto reply = api_->handle(apiRequest("POST", "/api/sessions/" + id + "/events", event.dump(), rows));
        EXPECT_EQ(reply.status, status) << event.dump() << " -> " << reply.body.substr(0, 400);
        return json::parse(reply.body);
    }
    json snapshot(const std::string& id, bool rows = false) {
        return json::parse(api_->handle(apiRequest("GET", "/api/sessions/" + id, "", rows)).body);
    }
    // Opens the screen and leaves the filter on the kind's item (0 Entrada, 1 Saída).
    json load(const std::string& id, int kind) {
        send(id, {{"type", "open"}});
        send(id, {{"type", "pick"}, {"control", "cbbEntSaid"}, {"index", kind}});
        json snap = send(id, {{"type", "focus"}, {"control", "dbgPadrao"}}, 200, true);
        EXPECT_EQ(snap["result"], "done") << snap["error"];
        return snap;
    }

    static inline std::filesystem::path dir_;
    static inline pid_t appServer_ = -1;
    static inline host::ScreenModule module_;
    std::unique_ptr<host::SessionRegistry> registry_;
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
                                                              event.dump(), events.rows, events.version));
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
                api_->handle(apiRequest("GET", "/api/sessions/" + id, "", reader.rows, reader.version));
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
    EXPECT_EQ(api_->handle(apiRequest("DELETE", "/api/sessions/" + id)).status, 204);
    EXPECT_EQ(api_->handle(apiRequest("GET", "/api/sessions/" + id)).status, 404);
}

} // namespace
} // namespace hosttest

#endif
