// The session machinery through the automation API, on the toolkit test screen.

#include "HostFixture.h"
#include "SnapshotMerge.h"
#include "toolkit/Application.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <set>
#include <thread>

namespace hosttest {
namespace {

using namespace std::chrono_literals;

template <class App> constexpr bool hasWaitListener() {
    return requires(App & app) {
        app.setWaitListener([](const std::optional<tk::WaitIndicator>&) {});
    };
}

std::vector<std::string> keysOf(const json& object) {
    std::vector<std::string> keys;
    for (const auto& [k, v] : object.items())
        keys.push_back(k);
    std::sort(keys.begin(), keys.end());
    return keys;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(5ms);
    }
    return condition();
}

// --- lifecycle -----------------------------------------------------------------------------------

TEST_F(HostFixture, SessionIdsAreDistinct128BitHex) {
    std::set<std::string> ids;
    for (int i = 0; i < 20; ++i)
        ids.insert(newSession());
    EXPECT_EQ(ids.size(), 20u);
    for (const auto& id : ids) {
        EXPECT_EQ(id.size(), 32u);
        EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos) << id;
    }
}

TEST_F(HostFixture, SnapshotHasExactlyTheContractMembersBeforeAndAfterOpen) {
    const std::string id = newSession();
    const std::vector<std::string> members{"activePage", "base",    "cacheNotified", "controls", "datasets",
                                           "dialog",     "error",   "focus",         "result",   "shown",
                                           "unit",       "version", "wait"};
    json before = snapshot(id);
    EXPECT_EQ(keysOf(before), members);
    EXPECT_TRUE(before["controls"].empty());
    EXPECT_EQ(before["result"], "done");

    json after = send(id, {{"type", "open"}});
    EXPECT_EQ(keysOf(after), members);
    EXPECT_EQ(after["focus"], "cbbTipo");
    EXPECT_EQ(after["controls"]["cbbTipo"]["type"], "TComboBox");
    EXPECT_EQ(after["controls"]["cbbTipo"]["parent"], "panFiltro");
    EXPECT_EQ(after["datasets"]["cdsDados"]["state"], "browse");
    EXPECT_EQ(after["datasets"]["cdsDados"]["current"]["NOME"], "Ana");
    // The unit shows the six reviewed globals, null where the unit has none, and nothing else.
    EXPECT_EQ(keysOf(after["unit"]),
              (std::vector<std::string>{"boControlDocOrig", "boControlEncRat", "boStCriado", "stCampoNull",
                                        "stDocOrigem", "stListaEncRat"}));
    EXPECT_EQ(after["unit"]["boStCriado"], true);
    EXPECT_TRUE(after["unit"]["stCampoNull"].is_null());
}

TEST_F(HostFixture, DeleteClosesThroughFormCloseThenFinalizesAndForgetsTheId) {
    const std::string id = openSession();
    send(id, {{"type", "pick"}, {"control", "cbbTipo"}, {"index", 1}});
    EXPECT_EQ(call("DELETE", "/api/sessions/" + id).status, 204);
    EXPECT_EQ(call("GET", "/api/sessions/" + id).status, 404);
    EXPECT_EQ(call("DELETE", "/api/sessions/" + id).status, 404);
    EXPECT_EQ(call("POST", "/api/sessions/" + id + "/events", R"({"type":"open"})").status, 404);
    ASSERT_TRUE(waitFor([&] { return journal->entries().size() >= 3; }));
    EXPECT_EQ(journal->entries(), (std::vector<std::string>{"Initialize", "FormClose S", "Finalize S"}));
}

TEST_F(HostFixture, CloseEventFreesTheFormAndOpenCreatesItAgain) {
    const std::string id = openSession();
    json closed = send(id, {{"type", "close"}});
    EXPECT_TRUE(closed["controls"].empty()); // released after the event
    EXPECT_EQ(closed["unit"]["boStCriado"], false);
    EXPECT_EQ(send(id, click("sbtPergunta"), 409)["error"],
              "A tela não está aberta: envie antes o evento \"open\".");
    json reopened = send(id, {{"type", "open"}});
    EXPECT_EQ(reopened["unit"]["boStCriado"], true);
    EXPECT_FALSE(reopened["controls"].empty());
}

TEST_F(HostFixture, RowsComeOnlyWhenAsked) {
    const std::string id = openSession();
    EXPECT_FALSE(snapshot(id)["datasets"]["cdsDados"].contains("rows"));
    json rows = snapshot(id, true)["datasets"]["cdsDados"]["rows"];
    EXPECT_EQ(rows, json::parse(R"([{"NOME":"Ana"},{"NOME":"Bruno"}])"));
    json moved = send(id, {{"type", "move"}, {"dataset", "cdsDados"}, {"recNo", 2}}, 200, true);
    EXPECT_EQ(moved["datasets"]["cdsDados"]["recNo"], 2);
    EXPECT_EQ(moved["datasets"]["cdsDados"]["rows"].size(), 2u);
}

// --- refusals ------------------------------------------------------------------------------------

TEST_F(HostFixture, RefusedAndUnknownActsChangeNothing) {
    const std::string id = openSession();
    send(id, click("sbtCache")); // something in `shown`/cacheNotified that a refusal must keep
    send(id, click("sbtPergunta"));
    send(id, answer("yes"));
    const json before = snapshot(id);
    struct Case {
        json event;
        int status;
        const char* code;
    };
    const std::vector<Case> cases{
        {click("sbtDesabilitado"), 409, "disabled"},
        {click("sbtDentro"), 409, "disabled"}, // inside a disabled panel
        {{{"type", "type"}, {"control", "dbeNome"}, {"text", "Zé"}}, 409, "not-editing"},
        {{{"type", "pick"}, {"control", "cbbTipo"}, {"index", 5}}, 409, "out-of-range"},
        {click("sbtInexistente"), 404, "unknown-control"},
        {{{"type", "move"}, {"dataset", "cdsNada"}, {"recNo", 1}}, 404, "unknown-dataset"},
        {{{"type", "page"}, {"page", "tshNada"}}, 404, "unknown-page"},
        {answer("yes"), 409, "no-dialog"},
    };
    for (const auto& c : cases) {
        json body = send(id, c.event, c.status);
        EXPECT_TRUE(body["error"].is_string() && !body["error"].get<std::string>().empty()) << c.event.dump();
        EXPECT_EQ(body["code"], c.code) << c.event.dump();
        EXPECT_EQ(snapshot(id), before) << "changed by " << c.event.dump();
    }
}

// --- dialogs -------------------------------------------------------------------------------------

TEST_F(HostFixture, QuestionSuspendsTheHandlerUntilTheAnswer) {
    const std::string id = openSession();
    json waiting = send(id, click("sbtPergunta"));
    EXPECT_EQ(waiting["result"], "waiting");
    EXPECT_EQ(waiting["dialog"]["kind"], "confirm");
    EXPECT_EQ(waiting["dialog"]["key"], "Excl");
    EXPECT_EQ(waiting["dialog"]["text"], "Deseja excluir o registro?");
    EXPECT_EQ(waiting["dialog"]["default"], "no");
    EXPECT_EQ(waiting["shown"], json::array({"Deseja excluir o registro?"}));
    EXPECT_EQ(result(waiting), ""); // the handler has not gone past the question
    EXPECT_EQ(snapshot(id)["dialog"], waiting["dialog"]);

    const json busy = send(id, click("sbtCache"), 409);
    EXPECT_EQ(busy["error"], "Há um diálogo aberto na tela: responda-o antes de outra ação.");
    EXPECT_EQ(busy["code"], "dialog-open");
    send(id, answer("ok"), 400);
    send(id, answer(json{{"recNo", 1}}), 400);

    json done = send(id, answer("yes"));
    EXPECT_EQ(done["result"], "done");
    EXPECT_TRUE(done["dialog"].is_null());
    EXPECT_EQ(result(done), "sim");
    EXPECT_EQ(done["shown"], json::array({"Deseja excluir o registro?"})); // still the same event

    for (const auto& [word, expected] :
         std::vector<std::pair<std::string, std::string>>{{"no", "não"}, {"cancel", "cancelado"}}) {
        send(id, click("sbtPergunta"));
        EXPECT_EQ(result(send(id, answer(word))), expected) << word;
    }
}

TEST_F(HostFixture, ErrorBoxWaitsForOkThenTheSilentAbortEndsTheEvent) {
    const std::string id = openSession();
    json box = send(id, click("sbtAborta"));
    EXPECT_EQ(box["result"], "waiting");
    EXPECT_EQ(box["dialog"]["kind"], "error");
    EXPECT_EQ(box["dialog"]["text"], "Código deve ser informado.");
    EXPECT_TRUE(box["dialog"]["default"].is_null()) << "an error box has no choice to default";
    send(id, answer("yes"), 400);
    json aborted = send(id, answer("ok"));
    EXPECT_EQ(aborted["result"], "aborted");
    EXPECT_TRUE(aborted["error"].is_null());
    EXPECT_EQ(result(aborted), "depois do erro");
    EXPECT_EQ(aborted["shown"], json::array({"Código deve ser informado."}));
    // The next event starts a fresh list and a fresh result.
    json next = send(id, click("sbtCache"));
    EXPECT_EQ(next["result"], "done");
    EXPECT_TRUE(next["shown"].empty());
}

TEST_F(HostFixture, ListPickersAndSearchTakeTheirAnswers) {
    const std::string id = openSession();
    json many = send(id, click("sbtLista"));
    EXPECT_EQ(many["dialog"]["kind"], "pick");
    EXPECT_EQ(many["dialog"]["multi"], true);
    EXPECT_EQ(many["dialog"]["selected"], json::array({"E-05"}));
    EXPECT_EQ(many["dialog"]["rows"].size(), 3u);
    EXPECT_EQ(many["dialog"]["keys"], json::array({"E-01", "E-05", "S-02"}));
    EXPECT_EQ(many["dialog"]["labels"], json::array({"Código", "Nome"}));

    struct Case {
        const char* button;
        json value;
        int status;
        const char* shown; // lblResultado after the answer, when accepted
    };
    const std::vector<Case> cases{
        {"sbtLista", {{"keys", {"S-02", "E-01", "S-02"}}}, 200, "S-02,E-01"},
        {"sbtLista", {{"keys", json::array()}}, 200, ""},
        {"sbtLista", {{"keys", {"X-99"}}}, 409, nullptr},
        {"sbtLista", {{"recNo", 1}}, 400, nullptr},
        {"sbtLista", "cancel", 200, "cancelado"},
        {"sbtUm", {{"keys", {"E-05"}}}, 200, "linha 1"},
        {"sbtUm", {{"recNo", 3}}, 200, "linha 2"},
        {"sbtUm", {{"keys", {"E-01", "E-05"}}}, 400, nullptr},
        {"sbtUm", {{"recNo", 0}}, 409, nullptr},
        {"sbtProcura", {{"recNo", 2}}, 200, "linha 1"},
        {"sbtProcura", {{"recNo", 4}}, 409, nullptr},
        {"sbtProcura", {{"keys", {"E-01"}}}, 400, nullptr},
        {"sbtProcura", "cancel", 200, "cancelado"},
    };
    send(id, answer("cancel"));
    for (const auto& c : cases) {
        send(id, click(c.button));
        json reply = send(id, answer(c.value), c.status);
        if (c.shown) {
            EXPECT_EQ(result(reply), c.shown) << c.button << " " << c.value.dump();
        } else {
            EXPECT_EQ(snapshot(id)["result"], "waiting") << "an unfit answer must leave the dialog open";
            send(id, answer("cancel"));
        }
    }
}

// --- faults and isolation -----------------------------------------------------------------------

TEST_F(HostFixture, CrashInOneSessionLeavesTheOtherUntouched) {
    const std::string a = openSession();
    const std::string b = openSession();
    send(a, {{"type", "pick"}, {"control", "cbbTipo"}, {"index", 0}});
    send(b, {{"type", "pick"}, {"control", "cbbTipo"}, {"index", 1}});
    send(b, click("sbtPergunta")); // b waits on a question while a crashes

    json failed = send(a, click("sbtFalha"));
    EXPECT_EQ(failed["result"], "failed");
    EXPECT_EQ(failed["error"], "Falha de teste no servidor de aplicação");

    json bDone = send(b, answer("yes"));
    EXPECT_EQ(bDone["result"], "done");
    EXPECT_EQ(result(bDone), "sim");
    EXPECT_EQ(bDone["unit"]["stDocOrigem"], "S");
    EXPECT_EQ(snapshot(a)["unit"]["stDocOrigem"], "E");
    EXPECT_EQ(result(snapshot(a)), "");

    // The failed session goes on working, and its next event clears the error.
    json again = send(a, click("sbtCache"));
    EXPECT_EQ(again["result"], "done");
    EXPECT_TRUE(again["error"].is_null());
    EXPECT_EQ(again["cacheNotified"], json::array({"TIPOOPERAC"}));
    EXPECT_TRUE(snapshot(b)["cacheNotified"].empty());
}

TEST_F(HostFixture, DeleteDismissesAPendingDialog) {
    const std::string id = openSession();
    send(id, click("sbtPergunta"));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(call("DELETE", "/api/sessions/" + id).status, 204);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(journal->entries(), (std::vector<std::string>{"Initialize", "FormClose ", "Finalize "}));
}

TEST_F(HostFixture, IdleSessionsExpireThroughFormClose) {
    host::RegistryOptions options;
    options.idleTimeout = 1s;
    start(options);
    const std::string idle = openSession();
    send(idle, click("sbtPergunta")); // expiry must not wait for an answer
    EXPECT_EQ(registry->expireIdle(std::chrono::steady_clock::now()), 0u);
    ASSERT_TRUE(waitFor([&] { return registry->size() == 0; }, 5s))
        << "the janitor did not expire the session";
    EXPECT_EQ(call("GET", "/api/sessions/" + idle).status, 404);
    ASSERT_TRUE(waitFor([&] { return journal->entries().size() == 3; }));
    EXPECT_EQ(journal->entries()[1], "FormClose ");
}

TEST_F(HostFixture, SessionLimitAnswers503) {
    host::RegistryOptions options;
    options.maxSessions = 2;
    start(options);
    newSession();
    const std::string second = newSession();
    auto third = call("POST", "/api/sessions");
    EXPECT_EQ(third.status, 503);
    EXPECT_TRUE(third.body["error"].is_string());
    call("DELETE", "/api/sessions/" + second);
    EXPECT_EQ(call("POST", "/api/sessions").status, 201);
}

TEST_F(HostFixture, SnapshotDuringASlowCallDoesNotWaitForIt) {
    std::promise<void> release;
    journal->release = release.get_future().share();
    const std::string id = openSession();
    const std::uint64_t before = snapshot(id)["version"];
    auto slow = std::async(std::launch::async, [&] {
        return call("POST", "/api/sessions/" + id + "/events", click("sbtEspera").dump());
    });
    ASSERT_TRUE(waitFor([&] {
        auto e = journal->entries();
        return std::find(e.begin(), e.end(), "espera iniciada") != e.end();
    }));
    const auto start = std::chrono::steady_clock::now();
    json during = snapshot(id);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    const json waiting = json::parse(R"({"kind":6,"text":"Verificando registros no servidor..."})");
    if constexpr (hasWaitListener<tk::Application>()) {
        EXPECT_EQ(during["wait"], waiting);
    }
    // A reader with a version is told only of the indicator, and stays where it was.
    auto asDelta = call("GET", "/api/sessions/" + id, "", false, before);
    EXPECT_EQ(asDelta.body,
              (json{{"version", before}, {"base", before}, {"dialog", nullptr}, {"wait", waiting}}));
    release.set_value();
    auto finished = slow.get();
    EXPECT_EQ(finished.status, 200);
    EXPECT_TRUE(finished.body["wait"].is_null());
    EXPECT_EQ(result(finished.body), "fim da espera");
    // ... and the indicator it was shown goes away with the next delta it asks for.
    auto after = call("GET", "/api/sessions/" + id, "", false, before);
    EXPECT_TRUE(after.body.contains("wait") && after.body["wait"].is_null()) << after.body.dump();
    EXPECT_EQ(result(snapshot_test::merged(snapshot(id), after.body)), "fim da espera");
}

TEST_F(HostFixture, SinceAnswersOnlyWhatChangedAndAnUnknownVersionTheWhole) {
    const std::string id = openSession();
    const std::uint64_t v1 = snapshot(id)["version"];
    json moved = call("POST", "/api/sessions/" + id + "/events",
                      json{{"type", "move"}, {"dataset", "cdsDados"}, {"recNo", 2}}.dump(), false, v1)
                     .body;
    EXPECT_EQ(moved["base"], v1);
    EXPECT_GT(moved["version"].get<std::uint64_t>(), v1);
    EXPECT_EQ(moved["datasets"], json::parse(R"({"cdsDados":{"recNo":2,"current":{"NOME":"Bruno"}}})"));
    EXPECT_EQ(moved["controls"], json::parse(R"({"dbeNome":{"text":"Bruno","displayText":"Bruno"}})"));
    EXPECT_TRUE(moved["dialog"].is_null()) << "the dialog comes in every answer";
    EXPECT_FALSE(moved.contains("focus"));

    const std::uint64_t v2 = moved["version"];
    EXPECT_EQ(call("GET", "/api/sessions/" + id, "", false, v2).body,
              (json{{"version", v2}, {"base", v2}, {"dialog", nullptr}}));
    // Rows asked with a version come as the changed rows by index: none here.
    json rows = call("GET", "/api/sessions/" + id, "", true, v1).body;
    EXPECT_FALSE(rows["datasets"]["cdsDados"].contains("rows")) << rows.dump();
    // A version the host never gave, and one from before the screen was opened, get the whole.
    for (std::uint64_t unknown : {v2 + 100, std::uint64_t{0}}) {
        json whole = call("GET", "/api/sessions/" + id, "", false, unknown).body;
        EXPECT_TRUE(whole["base"].is_null()) << unknown;
        EXPECT_EQ(whole["version"], v2);
        EXPECT_EQ(whole["controls"].size(), snapshot(id)["controls"].size());
    }
    for (const char* bad : {"", "-1", "abc", "1e3", "99999999999999999999"}) {
        host::Request r = apiRequest("GET", "/api/sessions/" + id);
        r.query.emplace("since", bad);
        const host::Reply reply = api->handle(r);
        EXPECT_EQ(reply.status, 400) << bad;
        EXPECT_EQ(json::parse(reply.body)["code"], "bad-request") << bad;
    }
}

TEST_F(HostFixture, ConcurrentSessionsEachSeeTheirOwnEvents) {
    constexpr int kSessions = 8, kRounds = 20;
    std::vector<std::string> ids;
    for (int i = 0; i < kSessions; ++i)
        ids.push_back(openSession());
    std::vector<std::future<int>> workers;
    for (int i = 0; i < kSessions; ++i)
        workers.push_back(std::async(std::launch::async, [&, i] {
            int ok = 0;
            for (int r = 0; r < kRounds; ++r) {
                auto a = call("POST", "/api/sessions/" + ids[i] + "/events", click("sbtPergunta").dump());
                auto b =
                    call("POST", "/api/sessions/" + ids[i] + "/events", answer(r % 2 ? "yes" : "no").dump());
                auto m = call("POST", "/api/sessions/" + ids[i] + "/events",
                              json{{"type", "move"}, {"dataset", "cdsDados"}, {"recNo", 1 + r % 2}}.dump());
                if (a.body["result"] == "waiting" && result(b.body) == (r % 2 ? "sim" : "não") &&
                    m.body["datasets"]["cdsDados"]["recNo"] == 1 + r % 2)
                    ++ok;
            }
            return ok;
        }));
    for (auto& w : workers)
        EXPECT_EQ(w.get(), kRounds);
}

// --- malformed requests --------------------------------------------------------------------------

TEST_F(HostFixture, MalformedRequestsGetClearJsonErrors) {
    const std::string id = openSession();
    struct Case {
        std::string method, path, body;
        int status;
        const char* code;
    };
    const std::string events = "/api/sessions/" + id + "/events";
    const std::vector<Case> cases{
        {"POST", events, "{not json", 400, "bad-request"},
        {"POST", events, "[1,2]", 400, "bad-request"},
        {"POST", events, R"({"type":"dance"})", 400, "bad-request"},
        {"POST", events, R"({"control":"x"})", 400, "bad-request"},
        {"POST", events, R"({"type":"click"})", 400, "bad-request"},
        {"POST", events, R"({"type":"pick","control":"cbbTipo","index":"1"})", 400, "bad-request"},
        {"POST", events, R"({"type":"key","control":"cbbTipo","key":"Hyper"})", 400, "bad-request"},
        {"POST", events, R"({"type":"key","control":"cbbTipo","key":13,"shift":["meta"]})", 400,
         "bad-request"},
        {"POST", events, R"({"type":"answer"})", 400, "bad-request"},
        {"POST", events, R"({"type":"answer","value":"maybe"})", 400, "bad-request"},
        {"POST", events, std::string(host::kMaxEventBytes + 1, ' '), 413, "too-large"},
        {"GET", events, "", 405, "method-not-allowed"},
        {"PUT", "/api/sessions/" + id, "", 405, "method-not-allowed"},
        {"GET", "/api/sessions", "", 405, "method-not-allowed"},
        {"GET", "/api/other", "", 404, "unknown-resource"},
        {"GET", "/api/sessions/" + id + "/other", "", 404, "unknown-resource"},
        {"GET", "/api/sessions/../../etc/passwd", "", 404, "unknown-resource"},
        {"GET", "/api/sessions/" + std::string(32, 'z'), "", 404, "unknown-session"},
        {"GET", "/api/sessions/" + std::string(32, '0'), "", 404, "unknown-session"},
    };
    for (const auto& c : cases) {
        auto r = call(c.method, c.path, c.body);
        EXPECT_EQ(r.status, c.status) << c.method << " " << c.path << " " << c.body.substr(0, 60);
        ASSERT_TRUE(r.body.is_object()) << c.path;
        EXPECT_TRUE(r.body["error"].is_string()) << c.path;
        EXPECT_EQ(r.body["code"], c.code) << c.method << " " << c.path;
    }
    EXPECT_EQ(snapshot(id)["result"], "done"); // none of them reached the screen
}

// What a malformed event gets back is short, valid UTF-8 and never the JSON library's own text,
// whatever the body held.
TEST_F(HostFixture, EventRefusalsQuoteLittleOfWhatWasSent) {
    const std::string id = openSession();
    const std::string events = "/api/sessions/" + id + "/events";
    std::string longName = "xx"; // so that the 40th byte falls inside a character
    for (int i = 0; i < 30; ++i)
        longName += "ção";
    const std::vector<std::pair<std::string, std::string>> cases{
        {"deep nesting", std::string(5000, '[') + std::string(5000, ']')},
        {"deep inside a string is no nesting", R"({"type":"click","control":")" + std::string(100, '[') + R"("})"},
        {"long type cut between characters", R"({"type":")" + longName + R"("})"},
        {"long key name", R"({"type":"key","control":"x","key":")" + std::string(10000, 'K') + R"("})"},
        {"truncated", R"({"type":"open")"},
    };
    for (const auto& [what, body] : cases) {
        auto r = call("POST", events, body);
        const std::string text = r.body.value("error", "");
        if (what == "deep inside a string is no nesting") {
            EXPECT_EQ(r.status, 404) << what << ": parsed, then the control is unknown";
            continue;
        }
        EXPECT_EQ(r.status, 400) << what;
        EXPECT_FALSE(text.empty()) << what;
        EXPECT_LE(text.size(), 200u) << what;
        EXPECT_EQ(text.find("json"), std::string::npos) << what;
    }
    EXPECT_EQ(call("POST", events, std::string(9, '[') + std::string(9, ']')).body["error"],
              "Corpo da requisição aninhado demais.");
    EXPECT_EQ(call("POST", events, std::string(8, '[') + std::string(8, ']')).body["error"],
              "Evento inválido: o evento deve ser um objeto JSON.");
}

} // namespace
} // namespace hosttest
