// The host with the real screen module and a real application server (temporary SQLite with demo
// data): what one session does never shows in another, refusals change nothing, and a question's
// answer resumes the handler that asked it.

#if defined(TIPOPER_TEST_MODULE) && defined(TIPOPER_TEST_APPSERVER)

#include "ApiRequest.h"
#include "AppServerToken.h"
#include "host/Api.h"
#include "host/CredentialAuthority.h"
#include "host/ModuleScreen.h"
#include "host/ScreenModule.h"
#include "host/SessionRegistry.h"
#include "lib/Morvala.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
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
        return api_->handle(apiRequest(method, path, body, rows, token.empty() ? token_ : token));
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

TEST_F(ModuleFixture, DeletingAndClosingWithAnEditAskFirstAndDefaultToNo) {
    const std::string id = session();
    json loaded = load(id, 0);
    const int count = loaded["datasets"]["cdsTipOper"]["recordCount"];
    json asked = send(id, {{"type", "click"}, {"control", "sbtExcluir"}});
    EXPECT_EQ(asked["result"], "waiting");
    EXPECT_EQ(asked["dialog"]["kind"], "confirm");
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

} // namespace
} // namespace hosttest

#endif
