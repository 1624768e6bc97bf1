// The HTTP side: static files without path traversal, JSON errors, limits, the API over a socket.

#include "HttpFixture.h"

#include <chrono>
#include <future>

namespace hosttest {
namespace {

TEST_F(HttpFixture, ServesTheRendererFilesWithTheirTypes) {
    struct Case {
        const char* path;
        const char* type;
    };
    for (const auto& c :
         {Case{"/", "text/html; charset=utf-8"}, Case{"/index.html", "text/html; charset=utf-8"},
          Case{"/app.js", "text/javascript; charset=utf-8"}, Case{"/sub/page.css", "text/css; charset=utf-8"},
          Case{"/definition.json", "application/json; charset=utf-8"}}) {
        auto res = client->Get(c.path);
        ASSERT_TRUE(res) << "Erro: " << httplib::to_string(res.error());
        EXPECT_EQ(res->status, 200) << c.path;
        EXPECT_EQ(res->get_header_value("Content-Type"), c.type) << c.path;
        EXPECT_EQ(res->get_header_value("X-Content-Type-Options"), "nosniff");
    }
}

TEST_F(HttpFixture, PathTraversalAndHiddenFilesAreRefused) {
    for (const char* target :
         {"/../secret.txt", "/%2e%2e/secret.txt", "/sub/..%2f..%2fsecret.txt", "/sub/../../secret.txt",
          "/.hidden", "/sub/%2e%2e/%2e%2e/secret.txt", "/link.txt", "/sub/", "/nothing.js", "/..\\secret.txt",
          "//etc/passwd", "/%00index.html"})
        EXPECT_EQ(rawStatus(port, target), 404) << target;
    EXPECT_EQ(rawStatus(port, "/index.html", "POST"), 405);
    EXPECT_EQ(rawStatus(port, "/index.html", "DELETE"), 405);
}

TEST_F(HttpFixture, ApiOverHttpSpeaksJson) {
    auto created = client->Post("/api/sessions", "", "application/json");
    ASSERT_TRUE(created);
    EXPECT_EQ(created->status, 201);
    EXPECT_EQ(created->get_header_value("Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(created->get_header_value("Cache-Control"), "no-store");
    const std::string id = json::parse(created->body)["id"];
    const std::string events = "/api/sessions/" + id + "/events";

    auto opened = client->Post(events, R"({"type":"open"})", "application/json");
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->status, 200) << opened->body;
    EXPECT_EQ(json::parse(opened->body)["focus"], "cbbTipo");

    auto withRows = client->Get("/api/sessions/" + id + "?rows=1");
    ASSERT_TRUE(withRows);
    EXPECT_EQ(json::parse(withRows->body)["datasets"]["cdsDados"]["rows"].size(), 2u);

    auto malformed = client->Post(events, "{", "application/json");
    ASSERT_TRUE(malformed);
    EXPECT_EQ(malformed->status, 400);
    EXPECT_EQ(json::parse(malformed->body)["error"], "Corpo da requisição não é um JSON válido.");

    auto huge = client->Post(events, std::string(200 * 1024, 'x'), "application/json");
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->status, 413);
    EXPECT_TRUE(json::parse(huge->body)["error"].is_string());

    auto refused =
        client->Post(events, R"({"type":"click","control":"sbtDesabilitado"})", "application/json");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 409);

    auto removed = client->Delete("/api/sessions/" + id);
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->status, 204);
    auto gone = client->Get("/api/sessions/" + id);
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->status, 404);
    EXPECT_EQ(json::parse(gone->body)["error"], "Sessão desconhecida.");
}

// Many clients connecting at the same moment must not overflow the accept queue (an overflowed
// connection is retried by the kernel only after a second).
TEST_F(HttpFixture, ABurstOfConnectionsIsAcceptedWithoutRetries) {
    constexpr int kClients = 64;
    std::vector<std::future<std::chrono::milliseconds>> clients;
    std::promise<void> go;
    auto ready = go.get_future().share();
    for (int i = 0; i < kClients; ++i)
        clients.push_back(std::async(std::launch::async, [&, ready] {
            ready.wait();
            const auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(rawStatus(port, "/app.js"), 200);
            return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                         start);
        }));
    go.set_value();
    std::chrono::milliseconds slowest{0};
    for (auto& c : clients)
        slowest = std::max(slowest, c.get());
    EXPECT_LT(slowest.count(), 900) << "a connection waited for a SYN retry";
}

} // namespace
} // namespace hosttest
