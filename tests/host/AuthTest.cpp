// Who may use the API: logins and their refusals, Bearer credentials and the login cookie, sessions
// that answer only their own login, limits per user, logouts, credentials the server stops vouching
// for, the pause after failed logins, and the anti-forgery token of cookie requests.

#include "HttpFixture.h"
#include "host/Authenticator.h"
#include "host/LoginThrottle.h"

#include <gtest/gtest.h>

namespace hosttest {
namespace {

using namespace std::chrono_literals;

class Auth : public HostFixture {
protected:
    void SetUp() override {
        authority.addUser("leitor", "consulta", "senha-do-leitor");
        HostFixture::SetUp();
    }

    // A request with exactly these headers (no test token).
    Response raw(const std::string& method, const std::string& path, const std::string& body,
                 std::vector<std::pair<std::string, std::string>> headers, host::Reply* full = nullptr) {
        host::Request request = apiRequest(method, path, body, false, std::nullopt, "");
        request.headers = std::move(headers);
        host::Reply reply = api->handle(request);
        if (full) *full = reply;
        return {reply.status, reply.body.empty() ? json() : json::parse(reply.body, nullptr, false)};
    }
    Response as(const std::string& secret, const std::string& method, const std::string& path,
                const std::string& body = "") {
        return raw(method, path, body, {{"Authorization", "Bearer " + secret}});
    }
    // Logs in and returns the answer's body (token, csrf, user, role).
    json login(const std::string& user, const std::string& password, host::Reply* full = nullptr) {
        auto r = raw("POST", "/api/login", json{{"user", user}, {"password", password}}.dump(), {}, full);
        EXPECT_EQ(r.status, 200) << r.body.dump();
        return r.body;
    }
    std::string sessionOf(const std::string& secret) {
        auto r = as(secret, "POST", "/api/sessions");
        EXPECT_EQ(r.status, 201) << r.body.dump();
        return r.body.value("id", "");
    }
    static void expectRefusal(const Response& r, int status, const std::string& code, const std::string& what) {
        EXPECT_EQ(r.status, status) << what << ": " << r.body.dump();
        EXPECT_EQ(r.body.value("code", ""), code) << what;
        EXPECT_FALSE(r.body.value("error", "").empty()) << what;
    }
};

TEST_F(Auth, EveryPathButTheLoginNeedsACredential) {
    const std::string id = newSession();
    const std::vector<std::tuple<const char*, std::vector<std::pair<std::string, std::string>>, const char*>> cases{
        {"nothing", {}, "not_authenticated"},
        {"another scheme", {{"Authorization", "Basic dGVzdGU6c2VuaGE="}}, "credential_refused"},
        {"empty bearer", {{"Authorization", "Bearer "}}, "credential_refused"},
        {"unknown token", {{"Authorization", "Bearer " + std::string(43, 'A')}}, "credential_refused"},
        {"token of another shape", {{"Authorization", "Bearer abc def"}}, "credential_refused"},
        {"oversized token", {{"Authorization", "Bearer " + std::string(5000, 'a')}}, "credential_refused"},
        {"unknown cookie", {{"Cookie", std::string("tipoper_login=") + std::string(43, 'B')}}, "credential_refused"},
        {"other cookies only", {{"Cookie", "a=1; b=2"}}, "not_authenticated"},
        // The cookie is the host's own and holds tickets only; an API token in it is not taken.
        {"token in the cookie", {{"Cookie", "tipoper_login=" + kTestToken}}, "credential_refused"},
    };
    const int checksBefore = authority.checks;
    for (const auto& [what, headers, code] : cases) {
        for (const auto& [method, path] :
             std::vector<std::pair<std::string, std::string>>{{"GET", "/api/me"},
                                                              {"POST", "/api/sessions"},
                                                              {"GET", "/api/sessions/" + id},
                                                              {"POST", "/api/logout"},
                                                              {"DELETE", "/api/sessions/" + id}})
            expectRefusal(raw(method, path, "", headers), 401, code, std::string(what) + " " + method + " " + path);
    }
    // Secrets that cannot be one never reach the server.
    EXPECT_LE(authority.checks - checksBefore, 3 * 5);
    EXPECT_EQ(registry->size(), 1u);
    EXPECT_EQ(snapshot(id)["result"], "done");
}

TEST_F(Auth, LoginAnswersTheTicketTheCsrfTokenAndAStrictCookie) {
    host::Reply reply;
    const json answer = login("teste", "senha-correta", &reply);
    EXPECT_EQ(answer["user"], "teste");
    EXPECT_EQ(answer["role"], "manutencao");
    const std::string ticket = answer["token"];
    EXPECT_EQ(ticket.size(), 43u);
    EXPECT_EQ(answer["csrf"], csrf.tokenFor(ticket));
    ASSERT_EQ(reply.headers.size(), 1u);
    EXPECT_EQ(reply.headers[0].first, "Set-Cookie");
    EXPECT_EQ(reply.headers[0].second, "tipoper_login=" + ticket + "; Path=/; HttpOnly; SameSite=Strict");

    // The ticket works as a Bearer credential and in the cookie; /api/me names the user, and gives the
    // anti-forgery token to a cookie login only.
    auto byBearer = as(ticket, "GET", "/api/me");
    EXPECT_EQ(byBearer.status, 200);
    EXPECT_EQ(byBearer.body, (json{{"user", "teste"}, {"role", "manutencao"}}));
    auto byCookie = raw("GET", "/api/me", "", {{"Cookie", "x=1; tipoper_login=" + ticket}});
    EXPECT_EQ(byCookie.status, 200);
    EXPECT_EQ(byCookie.body["csrf"], answer["csrf"]);

    // Over TLS the cookie is Secure as well.
    host::Request secure = apiRequest("POST", "/api/login", R"({"user":"leitor","password":"senha-do-leitor"})", false, std::nullopt, "");
    secure.secure = true;
    const host::Reply overTls = api->handle(secure);
    ASSERT_EQ(overTls.status, 200);
    EXPECT_NE(overTls.headers.at(0).second.find("; Secure"), std::string::npos);
    EXPECT_EQ(json::parse(overTls.body)["role"], "consulta");
}

TEST_F(Auth, WrongLoginsAreRefusedAlikeAndMalformedOnesAsSuch) {
    const std::vector<std::tuple<const char*, std::string, int, const char*>> cases{
        {"wrong password", R"({"user":"teste","password":"errada"})", 401, "invalid_login"},
        {"unknown user", R"({"user":"ninguem","password":"senha-correta"})", 401, "invalid_login"},
        {"empty password", R"({"user":"teste","password":""})", 401, "invalid_login"},
        {"not json", "user=teste&password=x", 400, "bad_login_request"},
        {"no password", R"({"user":"teste"})", 400, "bad_login_request"},
        {"number as password", R"({"user":"teste","password":123})", 400, "bad_login_request"},
        {"array", R"(["teste","senha-correta"])", 400, "bad_login_request"},
        {"oversized", R"({"user":"teste","password":")" + std::string(5000, 'x') + "\"}", 400, "bad_login_request"},
    };
    std::string firstText;
    int address = 0;
    for (const auto& [what, body, status, code] : cases) {
        // Each from its own address, so the pause after failures stays out of the way.
        host::Request request = apiRequest("POST", "/api/login", body, false, std::nullopt, "");
        request.remote = "10.0.0." + std::to_string(++address);
        const host::Reply reply = api->handle(request);
        const json answer = json::parse(reply.body);
        expectRefusal({reply.status, answer}, status, code, what);
        EXPECT_TRUE(reply.headers.empty()) << what << ": no cookie on a refusal";
        if (status == 401) {
            if (firstText.empty()) firstText = answer["error"];
            EXPECT_EQ(answer["error"], firstText) << what << ": the text must not say which was wrong";
        }
    }
    expectRefusal(raw("GET", "/api/login", "", {}), 405, "method-not-allowed", "GET login");
}

TEST_F(Auth, RepeatedFailuresPauseTheUserAndTheAddressEvenForTheRightPassword) {
    host::AuthenticatorOptions options;
    options.userThrottle = {3, 60s, 60s};
    options.addressThrottle = {100, 60s, 60s};
    start(host::RegistryOptions{}, options);
    for (int i = 0; i < 3; ++i)
        expectRefusal(raw("POST", "/api/login", R"({"user":"teste","password":"errada"})", {}), 401, "invalid_login",
                      "failure " + std::to_string(i));
    host::Reply reply;
    const int loginsBefore = authority.logins;
    auto waiting = raw("POST", "/api/login", R"({"user":"teste","password":"senha-correta"})", {}, &reply);
    expectRefusal(waiting, 429, "login_throttled", "right password while paused");
    EXPECT_EQ(waiting.body["retryAfter"], 60);
    ASSERT_EQ(reply.headers.size(), 1u);
    EXPECT_EQ(reply.headers[0], (std::pair<std::string, std::string>{"Retry-After", "60"}));
    EXPECT_EQ(authority.logins, loginsBefore) << "a paused attempt must not reach the server";
    // Another user is not held back by this one's failures.
    login("leitor", "senha-do-leitor");
}

TEST(LoginThrottle, PausesDoubleFromTheFreeFailuresOnAndASuccessForgets) {
    host::LoginThrottle throttle({2, 1000ms, 5000ms, 60s, 4});
    const auto t0 = host::LoginThrottle::Clock::now();
    EXPECT_EQ(throttle.begin("a", t0), 0ms);
    EXPECT_EQ(throttle.pause("a", t0), 0ms);
    EXPECT_EQ(throttle.begin("a", t0), 0ms); // the second failure: a pause starts
    EXPECT_EQ(throttle.pause("a", t0), 1000ms);
    EXPECT_EQ(throttle.begin("a", t0 + 500ms), 500ms); // still waiting; not counted
    EXPECT_EQ(throttle.begin("a", t0 + 1000ms), 0ms);
    EXPECT_EQ(throttle.pause("a", t0 + 1000ms), 2000ms);
    EXPECT_EQ(throttle.begin("a", t0 + 1h), 0ms);
    EXPECT_EQ(throttle.pause("a", t0 + 1h), 0ms) << "forgotten after a quiet hour, counted afresh";
    const auto t1 = t0 + 2h;
    for (auto t = t1; t < t1 + 60s; t += 6s)
        throttle.begin("b", t);
    EXPECT_EQ(throttle.pause("b", t1 + 54s), 5000ms) << "capped";
    throttle.succeeded("b");
    EXPECT_EQ(throttle.pause("b", t1 + 54s), 0ms);
    // A flood of keys never grows it past its bound.
    for (int i = 0; i < 100; ++i)
        throttle.begin("k" + std::to_string(i), t1 + std::chrono::milliseconds(i));
    EXPECT_LE(throttle.size(), 4u);
}

TEST_F(Auth, ASessionAnswersOnlyTheLoginThatOpenedIt) {
    const std::string mine = openSession();
    const std::string ticket = login("teste", "senha-correta")["token"];
    const std::string reader = login("leitor", "senha-do-leitor")["token"];
    const json before = snapshot(mine);
    // Another user, and another login of the same user, see it as never made.
    for (const std::string& other : {reader, ticket}) {
        expectRefusal(as(other, "GET", "/api/sessions/" + mine), 404, "unknown-session", "GET");
        expectRefusal(as(other, "POST", "/api/sessions/" + mine + "/events", R"({"type":"close"})"), 404,
                      "unknown-session", "event");
        expectRefusal(as(other, "DELETE", "/api/sessions/" + mine), 404, "unknown-session", "DELETE");
    }
    EXPECT_EQ(snapshot(mine), before);
    EXPECT_EQ(journal->entries().size(), 1u);
}

TEST_F(Auth, SessionsAreLimitedPerUserAndOverall) {
    host::RegistryOptions options;
    options.maxSessionsPerUser = 2;
    options.maxSessions = 3;
    start(options);
    const std::string reader = login("leitor", "senha-do-leitor")["token"];
    newSession();
    newSession();
    expectRefusal(call("POST", "/api/sessions"), 429, "too_many_user_sessions", "third of one user");
    // The same user through another login counts the same.
    const std::string ticket = login("teste", "senha-correta")["token"];
    expectRefusal(as(ticket, "POST", "/api/sessions"), 429, "too_many_user_sessions", "another login");
    sessionOf(reader);
    expectRefusal(as(reader, "POST", "/api/sessions"), 503, "too_many_sessions", "overall");
    EXPECT_EQ(registry->sizeOf("teste"), 2u);
    EXPECT_EQ(registry->sizeOf("leitor"), 1u);
}

TEST_F(Auth, LogoutEndsTheTicketAndItsSessionsOnly) {
    const std::string program = openSession();
    host::Reply reply;
    const std::string ticket = login("teste", "senha-correta", &reply)["token"];
    const std::string first = sessionOf(ticket), second = sessionOf(ticket);
    ASSERT_EQ(registry->size(), 3u);

    auto out = raw("POST", "/api/logout", "", {{"Authorization", "Bearer " + ticket}}, &reply);
    EXPECT_EQ(out.status, 204);
    ASSERT_EQ(reply.headers.size(), 1u);
    EXPECT_EQ(reply.headers[0].second, "tipoper_login=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict");
    EXPECT_EQ(authority.logouts, 1);
    EXPECT_EQ(registry->sizeOf("teste"), 1u);
    expectRefusal(as(ticket, "GET", "/api/me"), 401, "credential_refused", "ended ticket");
    expectRefusal(as(ticket, "GET", "/api/sessions/" + first), 401, "credential_refused", "its session");
    EXPECT_EQ(snapshot(program)["result"], "done") << "the program's session stays";
    // A token's logout forgets nothing at the server: only an administrator revokes tokens.
    EXPECT_EQ(call("POST", "/api/logout").status, 204);
    EXPECT_EQ(authority.logouts, 1);
    EXPECT_EQ(call("GET", "/api/me").status, 200);
}

TEST_F(Auth, ACredentialTheServerStopsVouchingForEndsWithinTheCacheLifetime) {
    host::AuthenticatorOptions options;
    options.cacheLifetime = 200ms;
    start(host::RegistryOptions{}, options);
    const std::string token = std::string(43, 'T');
    authority.addToken("leitor", token);
    const std::string id = sessionOf(token);
    const int checks = authority.checks;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(as(token, "GET", "/api/sessions/" + id).status, 200);
    EXPECT_EQ(authority.checks, checks) << "remembered requests do not ask the server";

    authority.revoke(token);
    std::this_thread::sleep_for(250ms);
    expectRefusal(as(token, "GET", "/api/sessions/" + id), 401, "credential_refused", "revoked token");
    EXPECT_EQ(registry->sizeOf("leitor"), 0u) << "the revoked credential's sessions are closed";

    // Without a cache every request asks.
    options.cacheLifetime = 0ms;
    start(host::RegistryOptions{}, options);
    const int before = authority.checks;
    call("GET", "/api/me");
    call("GET", "/api/me");
    EXPECT_EQ(authority.checks - before, 2);
}

TEST_F(Auth, AServerThatCannotBeAskedIsNotTakenForARefusal) {
    authenticator->forgetAll();
    authority.setAvailable(false);
    expectRefusal(call("GET", "/api/me"), 503, "auth_unavailable", "check");
    expectRefusal(raw("POST", "/api/login", R"({"user":"teste","password":"senha-correta"})", {}), 503,
                  "auth_unavailable", "login");
    authority.setAvailable(true);
    EXPECT_EQ(call("GET", "/api/me").status, 200);
}

TEST(CsrfTokens, BoundToTheTicketAndTheKey) {
    std::array<unsigned char, 32> key{};
    const host::CsrfTokens a(key), fresh;
    key[0] = 1;
    const host::CsrfTokens b(key);
    const std::string token = a.tokenFor("ticket-um");
    EXPECT_EQ(token.size(), 43u);
    EXPECT_TRUE(a.matches("ticket-um", token));
    EXPECT_FALSE(a.matches("ticket-dois", token));
    EXPECT_FALSE(b.matches("ticket-um", token));
    EXPECT_FALSE(fresh.matches("ticket-um", token));
    EXPECT_FALSE(a.matches("ticket-um", token.substr(0, 42)));
    EXPECT_FALSE(a.matches("ticket-um", ""));
}

// Over HTTP: the anti-forgery token on cookie requests, and the page behind the login.
class AuthHttp : public HttpFixture {
protected:
    void SetUp() override {
        HttpFixture::SetUp();
        cookieClient = std::make_unique<httplib::Client>("127.0.0.1", port);
        auto r = cookieClient->Post("/api/login", R"({"user":"teste","password":"senha-correta"})", "application/json");
        ASSERT_TRUE(r);
        ASSERT_EQ(r->status, 200) << r->body;
        const json answer = json::parse(r->body);
        ticket = answer["token"];
        token = answer["csrf"];
        cookie = "tipoper_login=" + ticket;
    }
    int post(const std::string& path, const httplib::Headers& headers) {
        auto r = cookieClient->Post(path, headers, "{}", "application/json");
        return r ? r->status : -1;
    }
    std::unique_ptr<httplib::Client> cookieClient;
    std::string ticket, token, cookie;
};

TEST_F(AuthHttp, CookieRequestsThatChangeStateNeedTheLoginsToken) {
    struct Case {
        const char* what;
        httplib::Headers headers;
        int status;
        const char* code;
    };
    const std::vector<Case> cases{
        {"no token", {{"Cookie", cookie}}, 403, "csrf_required"},
        {"empty token", {{"Cookie", cookie}, {"X-CSRF-Token", ""}}, 403, "csrf_required"},
        {"wrong token", {{"Cookie", cookie}, {"X-CSRF-Token", std::string(43, 'x')}}, 403, "csrf_invalid"},
        {"another login's token", {{"Cookie", cookie}, {"X-CSRF-Token", csrf.tokenFor(kTestToken)}}, 403, "csrf_invalid"},
        {"the login's token", {{"Cookie", cookie}, {"X-CSRF-Token", token}}, 201, ""},
        // A program's header carries no authority a browser holds on its own: no token needed.
        {"bearer with the cookie", {{"Cookie", cookie}, {"Authorization", "Bearer " + ticket}}, 201, ""},
        {"bearer alone", {{"Authorization", "Bearer " + ticket}}, 201, ""},
    };
    for (const auto& c : cases) {
        auto r = cookieClient->Post("/api/sessions", c.headers, "{}", "application/json");
        ASSERT_TRUE(r) << c.what;
        EXPECT_EQ(r->status, c.status) << c.what << ": " << r->body;
        if (c.status == 403) {
            EXPECT_EQ(json::parse(r->body)["code"], c.code) << c.what;
        }
    }
    EXPECT_EQ(registry->sizeOf("teste"), 3u);
    // Reading needs no token; the login itself needs none either (it is how a page gets one).
    auto me = cookieClient->Get("/api/me", {{"Cookie", cookie}});
    ASSERT_TRUE(me);
    EXPECT_EQ(me->status, 200);
    EXPECT_EQ(post("/api/login", {{"Cookie", cookie}}), 400);
    EXPECT_EQ(post("/api/logout", {{"Cookie", cookie}}), 403);
    EXPECT_EQ(post("/api/logout", {{"Cookie", cookie}, {"X-CSRF-Token", token}}), 204);
}

TEST_F(AuthHttp, TheScreensPageSendsABrowserWithoutALoginToTheLoginPage) {
    httplib::Client anonymous("127.0.0.1", port);
    for (const char* path : {"/", "/index.html"}) {
        auto r = anonymous.Get(path);
        ASSERT_TRUE(r) << path;
        EXPECT_EQ(r->status, 303) << path;
        EXPECT_EQ(r->get_header_value("Location"), "/login.html") << path;
        auto in = anonymous.Get(path, {{"Cookie", cookie}});
        ASSERT_TRUE(in) << path;
        EXPECT_EQ(in->status, 200) << path;
    }
    // Other files stay public: the login page needs its script and styles.
    auto script = anonymous.Get("/app.js");
    ASSERT_TRUE(script);
    EXPECT_EQ(script->status, 200);
}

} // namespace
} // namespace hosttest
