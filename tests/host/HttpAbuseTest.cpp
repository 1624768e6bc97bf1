// The HTTP layer under requests no browser sends: refusals with their codes, framing faults, pipelining,
// slow and idle connections, the connection cap, blocked API calls, compression and the headers every
// answer carries.

#include "HttpFixture.h"
#include "host/Compression.h"

#include <future>
#include <sstream>
#include <thread>
#include <zlib.h>

namespace hosttest {
namespace {

using namespace std::chrono_literals;

std::string gunzip(const std::string& data) {
    z_stream stream{};
    if (inflateInit2(&stream, 15 + 16) != Z_OK) return {};
    std::string out;
    char buffer[16384];
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        status = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END ? out : std::string("<gzip inválido>");
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

void expectSecurityHeaders(const RawAnswer& answer, const std::string& what) {
    EXPECT_EQ(answer.header("content-security-policy"), host::kContentSecurityPolicy) << what;
    EXPECT_EQ(answer.header("x-content-type-options"), "nosniff") << what;
    EXPECT_EQ(answer.header("x-frame-options"), "DENY") << what;
    EXPECT_EQ(answer.header("referrer-policy"), "same-origin") << what;
}

class HttpAbuse : public HttpFixture {
protected:
    void SetUp() override {
        HttpFixture::SetUp();
        id = openSession();
    }
    // `{P}` is the port, `{ID}` the open session; every line ends in CRLF as written. Every request
    // carries the test program's token.
    std::string fill(std::string text) const {
        replaceAll(text, "{P}", std::to_string(port));
        replaceAll(text, "{ID}", id);
        replaceAll(text, "\r\nHost:", "\r\nAuthorization: Bearer " + kTestToken + "\r\nHost:");
        return text;
    }
    RawAnswer exchange(const std::string& request, RawConnection& connection) {
        EXPECT_TRUE(connection.send(fill(request)));
        return connection.read();
    }
    std::string id;
};

TEST_F(HttpAbuse, RefusalsHaveTheirStatusAndCodeAndCloseTheConnection) {
    const std::string open = R"({"type":"open"})";
    const std::string event = "POST /api/sessions/{ID}/events HTTP/1.1\r\nHost: 127.0.0.1:{P}\r\n";
    struct Case {
        const char* what;
        std::string request;
        int status;
        const char* code;
    };
    const std::vector<Case> cases{
        {"foreign host", "GET /index.html HTTP/1.1\r\nHost: evil.example\r\n\r\n", 421, "host_not_allowed"},
        {"foreign name on our port", "GET / HTTP/1.1\r\nHost: attacker.example:{P}\r\n\r\n", 421, "host_not_allowed"},
        {"our address as a prefix", "GET / HTTP/1.1\r\nHost: 127.0.0.1.evil.example\r\n\r\n", 421,
         "host_not_allowed"},
        {"no host", "GET /index.html HTTP/1.1\r\n\r\n", 400, "bad_request"},
        {"foreign origin", "POST /api/sessions HTTP/1.1\r\nHost: 127.0.0.1:{P}\r\nOrigin: http://evil.example\r\n\r\n",
         403, "cross_origin"},
        {"origin null", "DELETE /api/sessions/{ID} HTTP/1.1\r\nHost: 127.0.0.1:{P}\r\nOrigin: null\r\n\r\n", 403,
         "cross_origin"},
        {"origin on another port", "DELETE /api/sessions/{ID} HTTP/1.1\r\nHost: 127.0.0.1:{P}\r\nOrigin: http://127.0.0.1:1\r\n\r\n",
         403, "cross_origin"},
        {"origin of another scheme", "DELETE /api/sessions/{ID} HTTP/1.1\r\nHost: 127.0.0.1:{P}\r\nOrigin: https://127.0.0.1:{P}\r\n\r\n",
         403, "cross_origin"},
        {"foreign referer", "POST /api/sessions HTTP/1.1\r\nHost: 127.0.0.1:{P}\r\nReferer: http://evil.example/page\r\n\r\n",
         403, "cross_origin"},
        {"text/plain body", event + "Content-Type: text/plain\r\nContent-Length: 15\r\n\r\n" + open, 415,
         "unsupported_media_type"},
        {"body without type", event + "Content-Length: 15\r\n\r\n" + open, 415, "unsupported_media_type"},
        {"form body", event + "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 15\r\n\r\n" + open,
         415, "unsupported_media_type"},
        {"json look-alike type", event + "Content-Type: application/jsonx\r\nContent-Length: 15\r\n\r\n" + open, 415,
         "unsupported_media_type"},
        {"declared oversized body", event + "Content-Type: application/json\r\nContent-Length: 70000\r\n\r\n", 413,
         "body_too_large"},
        {"oversized head", "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: " + std::string(9000, 'x') + "\r\n\r\n", 431,
         "headers_too_large"},
        {"get with a body", "GET /index.html HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 2\r\n\r\n{}", 400,
         "body_not_allowed"},
        {"options with a chunked body",
         "OPTIONS / HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n", 400,
         "body_not_allowed"},
        {"two framings", event + "Content-Type: application/json\r\nContent-Length: 15\r\nTransfer-Encoding: chunked\r\n\r\nf\r\n" +
                             open + "\r\n0\r\n\r\n",
         400, "bad_request"},
        {"endless chunk size line",
         event + "Content-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n1;" + std::string(200000, 'a'), 400,
         "bad_request"},
        {"endless trailers",
         event + "Content-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n0\r\nX: " + std::string(200000, 'a'),
         400, "bad_request"},
        {"unknown transfer coding", event + "Content-Type: application/json\r\nTransfer-Encoding: gzip\r\n\r\n", 400,
         "bad_request"},
        {"garbage", "HELLO\r\n\r\n", 400, "bad_request"},
        {"absolute target", "GET http://evil.example/ HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 400, "bad_request"},
        {"malformed escape", "GET /a%zz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 400, "bad_request"},
    };
    for (const auto& c : cases) {
        RawConnection connection(port);
        const RawAnswer answer = exchange(c.request, connection);
        ASSERT_EQ(answer.status, c.status) << c.what;
        const json body = json::parse(answer.body, nullptr, false);
        EXPECT_EQ(body.value("code", ""), c.code) << c.what;
        EXPECT_FALSE(body.value("error", "").empty()) << c.what;
        EXPECT_EQ(answer.header("content-type"), "application/json; charset=utf-8") << c.what;
        expectSecurityHeaders(answer, c.what);
        EXPECT_TRUE(connection.closedByPeer()) << c.what << ": the connection stayed open";
    }
    // Nothing refused reached a session: no session was made, closed or sent an event.
    EXPECT_EQ(registry->size(), 1u);
    EXPECT_EQ(snapshot(id)["result"], "done");
    EXPECT_EQ(journal->entries().size(), 1u);
}

TEST_F(HttpAbuse, SameOriginAndProgramRequestsPass) {
    const std::string open = R"({"type":"open"})";
    struct Case {
        const char* what;
        std::string request;
        int status;
    };
    const std::vector<Case> cases{
        {"post without a body", "POST /api/sessions HTTP/1.1\r\nHost: 127.0.0.1:{P}\r\n\r\n", 201},
        {"post with an empty body", "POST /api/sessions HTTP/1.1\r\nHost: 127.0.0.1:{P}\r\nContent-Length: 0\r\n\r\n", 201},
        {"same origin", "POST /api/sessions HTTP/1.1\r\nHost: 127.0.0.1:{P}\r\nOrigin: http://127.0.0.1:{P}\r\n\r\n", 201},
        {"same origin by name, any case",
         "POST /api/sessions HTTP/1.1\r\nHost: LocalHost:{P}\r\nOrigin: http://localhost:{P}\r\n\r\n", 201},
        {"same-origin referer",
         "POST /api/sessions HTTP/1.1\r\nHost: 127.0.0.1:{P}\r\nReferer: http://127.0.0.1:{P}/index.html?x=1\r\n\r\n", 201},
        {"json with parameters",
         "POST /api/sessions/{ID}/events HTTP/1.1\r\nHost: 127.0.0.1:{P}\r\nContent-Type: Application/JSON ; charset=UTF-8\r\n"
         "Content-Length: 15\r\n\r\n" + open,
         200},
        {"chunked json", "POST /api/sessions/{ID}/events HTTP/1.1\r\nHost: 127.0.0.1:{P}\r\nContent-Type: application/json\r\n"
                         "Transfer-Encoding: chunked\r\n\r\n5\r\n{\"typ\r\na\r\ne\":\"open\"}\r\n0\r\n\r\n",
         200},
        {"host without port", "GET /index.html HTTP/1.1\r\nHost: localhost\r\n\r\n", 200},
    };
    for (const auto& c : cases) {
        RawConnection connection(port);
        const RawAnswer answer = exchange(c.request, connection);
        EXPECT_EQ(answer.status, c.status) << c.what << ": " << answer.body;
        expectSecurityHeaders(answer, c.what);
        // The connection stays open for the next request.
        EXPECT_EQ(exchange("GET /app.js HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", connection).status, 200) << c.what;
    }
}

// A body after a GET must be read as the GET's body, never as a request of its own: a DELETE hidden
// there once closed a session behind the client's back.
TEST_F(HttpAbuse, ABodyAfterAGetIsNeverTakenForASecondRequest) {
    const std::string hidden = fill("DELETE /api/sessions/{ID} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    for (const std::string& framing :
         {"Content-Length: " + std::to_string(hidden.size()) + "\r\n\r\n" + hidden,
          "Transfer-Encoding: chunked\r\n\r\n" + [&] {
              std::ostringstream chunk;
              chunk << std::hex << hidden.size() << "\r\n" << hidden << "\r\n0\r\n\r\n";
              return chunk.str();
          }()}) {
        RawConnection connection(port);
        const RawAnswer answer = exchange("GET /api/sessions/{ID} HTTP/1.1\r\nHost: 127.0.0.1\r\n" + framing, connection);
        EXPECT_EQ(answer.status, 400);
        EXPECT_TRUE(connection.closedByPeer());
        EXPECT_EQ(call("GET", "/api/sessions/" + id).status, 200) << "the hidden DELETE ran";
    }
}

TEST_F(HttpAbuse, AChunkedBodyIsCutOffAtTheLimitWhileItArrives) {
    RawConnection connection(port);
    ASSERT_TRUE(connection.send(fill("POST /api/sessions/{ID}/events HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                     "Content-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n")));
    const std::string chunk = "1000\r\n" + std::string(4096, ' ') + "\r\n";
    constexpr std::size_t kTotal = 64 * 1024 * 1024;
    std::size_t sent = 0;
    while (sent < kTotal && !connection.readable() && connection.send(chunk))
        sent += 4096;
    ASSERT_TRUE(connection.readable(5s));
    EXPECT_LT(sent, kTotal) << "the host waited for the whole body before refusing it";
    const RawAnswer answer = connection.read();
    EXPECT_EQ(answer.status, 413);
    EXPECT_EQ(json::parse(answer.body)["code"], "body_too_large");
    EXPECT_EQ(call("GET", "/api/sessions/" + id).status, 200);
}

TEST_F(HttpAbuse, PipelinedRequestsAreAnsweredInOrder) {
    RawConnection connection(port);
    const std::string open = R"({"type":"close"})";
    ASSERT_TRUE(connection.send(fill(
        "GET /app.js HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
        "POST /api/sessions/{ID}/events HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
        "Content-Length: 16\r\n\r\n" + open +
        "GET /sub/page.css HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")));
    const RawAnswer first = connection.read(), second = connection.read(), third = connection.read();
    EXPECT_EQ(first.status, 200);
    EXPECT_EQ(first.body, "console.log('ok');");
    EXPECT_EQ(second.status, 200);
    EXPECT_TRUE(json::parse(second.body)["controls"].empty()) << "the screen was not closed";
    EXPECT_EQ(third.status, 200);
    EXPECT_EQ(third.body, "body{}");
    EXPECT_TRUE(connection.closedByPeer());
}

TEST_F(HttpAbuse, SlowRequestsNeitherHoldOthersUpNorStayForever) {
    host::HttpOptions options;
    options.threads = 2;
    options.ioThreads = 1;
    options.requestTimeout = 1500ms;
    restart(options);
    std::vector<std::unique_ptr<RawConnection>> slow;
    for (int i = 0; i < 40; ++i) {
        slow.push_back(std::make_unique<RawConnection>(port, 10s));
        ASSERT_TRUE(slow.back()->send("GET /index.html HTTP/1.1\r\nHo"));
    }
    auto slowBody = std::make_unique<RawConnection>(port, 10s);
    ASSERT_TRUE(slowBody->send(fill("POST /api/sessions/{ID}/events HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                    "Content-Type: application/json\r\nContent-Length: 15\r\n\r\n{")));

    // Others are served while the slow ones are still waiting for their time limit.
    auto created = client->Post("/api/sessions", "", "application/json");
    ASSERT_TRUE(created) << httplib::to_string(created.error());
    EXPECT_EQ(created->status, 201);
    auto page = client->Get("/index.html");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_FALSE(slow.front()->readable()) << "the slow requests timed out before the others were served";

    for (auto& connection : slow) {
        const RawAnswer answer = connection->read();
        EXPECT_EQ(answer.status, 408);
        EXPECT_EQ(json::parse(answer.body, nullptr, false).value("code", ""), "request_timeout");
        EXPECT_TRUE(connection->closedByPeer());
    }
    EXPECT_EQ(slowBody->read().status, 408);
}

TEST_F(HttpAbuse, IdleConnectionsAreClosedSilently) {
    host::HttpOptions options;
    options.keepAliveTimeout = 300ms;
    restart(options);
    RawConnection used(port), silent(port);
    EXPECT_EQ(exchange("GET /app.js HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", used).status, 200);
    // closedByPeer() is false when any byte arrives: an idle connection gets no 408.
    EXPECT_TRUE(used.closedByPeer());
    EXPECT_TRUE(silent.closedByPeer());
}

TEST_F(HttpAbuse, ConnectionsPastTheCapAreToldToComeBackLater) {
    host::HttpOptions options;
    options.maxConnections = 3;
    restart(options);
    std::vector<std::unique_ptr<RawConnection>> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(std::make_unique<RawConnection>(port));
        ASSERT_EQ(exchange("GET /app.js HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", *held.back()).status, 200);
    }
    {
        RawConnection extra(port);
        const RawAnswer answer = extra.read(); // told before it asks anything
        EXPECT_EQ(answer.status, 503);
        EXPECT_EQ(json::parse(answer.body, nullptr, false).value("code", ""), "too_many_connections");
        expectSecurityHeaders(answer, "503");
        EXPECT_TRUE(extra.closedByPeer());
    }
    held.pop_back();
    const auto limit = std::chrono::steady_clock::now() + 5s;
    while (server->openConnections() > 2 && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(5ms);
    RawConnection again(port);
    EXPECT_EQ(exchange("GET /app.js HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", again).status, 200);
}

// API calls wait for their session; they must never keep the network threads from other work, and the
// workers waiting are bounded.
TEST_F(HttpAbuse, BlockedApiCallsLeaveTheNetworkThreadsFree) {
    host::HttpOptions options;
    options.threads = 2;
    options.ioThreads = 1;
    restart(options);
    std::promise<void> release;
    journal->release = release.get_future().share();
    const std::string other = openSession();
    std::vector<std::unique_ptr<RawConnection>> blocked;
    const std::string wait = click("sbtEspera").dump();
    for (const std::string& session : {id, other}) {
        blocked.push_back(std::make_unique<RawConnection>(port, 10s));
        ASSERT_TRUE(blocked.back()->send(fill("POST /api/sessions/" + session +
                                              "/events HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                                              "Content-Length: " + std::to_string(wait.size()) + "\r\n\r\n" + wait)));
    }
    const auto started = [&] {
        auto e = journal->entries();
        return std::count(e.begin(), e.end(), "espera iniciada") == 2;
    };
    for (auto limit = std::chrono::steady_clock::now() + 5s; !started() && std::chrono::steady_clock::now() < limit;)
        std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(started());

    RawConnection staticFiles(port);
    EXPECT_EQ(exchange("GET /app.js HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", staticFiles).status, 200);
    RawConnection queued(port, 10s);
    ASSERT_TRUE(queued.send(fill("GET /api/sessions/{ID} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")));
    EXPECT_FALSE(queued.readable(300ms)) << "a third worker ran past the limit of two";

    release.set_value();
    EXPECT_EQ(queued.read().status, 200);
    for (auto& connection : blocked)
        EXPECT_EQ(connection->read().status, 200);
}

TEST_F(HttpAbuse, ExpectContinueGetsTheGoAheadBeforeTheBody) {
    RawConnection connection(port);
    ASSERT_TRUE(connection.send(fill("POST /api/sessions/{ID}/events HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                     "Content-Type: application/json\r\nContent-Length: 15\r\nExpect: 100-continue\r\n\r\n")));
    EXPECT_EQ(connection.read().status, 100);
    ASSERT_TRUE(connection.send(R"({"type":"open"})"));
    EXPECT_EQ(connection.read().status, 200);
}

TEST_F(HttpAbuse, AnswersAreGzippedOnlyWhenTheClientTakesIt) {
    RawConnection connection(port);
    const std::string plainSnapshot =
        exchange("GET /api/sessions/{ID}?rows=1 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", connection).body;
    ASSERT_GE(plainSnapshot.size(), host::kMinCompressedBytes);
    struct Case {
        const char* acceptEncoding;
        bool gzip;
    };
    for (const auto& c : {Case{"gzip", true}, Case{"gzip, deflate, br", true}, Case{"br;q=1, GZIP;q=0.5", true},
                          Case{"*", true}, Case{"x-gzip", true}, Case{"gzip;q=0", false}, Case{"*;q=0, deflate", false},
                          Case{"deflate, br", false}, Case{"identity", false}, Case{"gzip;q=0, *", false}}) {
        for (const char* target : {"/api/sessions/{ID}?rows=1", "/big.js"}) {
            const RawAnswer answer = exchange(std::string("GET ") + target +
                                                  " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept-Encoding: " +
                                                  c.acceptEncoding + "\r\n\r\n",
                                              connection);
            ASSERT_EQ(answer.status, 200) << target;
            EXPECT_EQ(answer.header("vary"), "Accept-Encoding") << target;
            EXPECT_EQ(answer.header("content-encoding"), c.gzip ? "gzip" : "") << c.acceptEncoding << " " << target;
            const std::string body = c.gzip ? gunzip(answer.body) : answer.body;
            EXPECT_EQ(body, std::string(target) == "/big.js" ? bigScript() : plainSnapshot) << c.acceptEncoding;
        }
    }
    // A short answer travels as it is.
    const RawAnswer small =
        exchange("GET /api/sessions/0 HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept-Encoding: gzip\r\n\r\n", connection);
    EXPECT_EQ(small.status, 404);
    EXPECT_EQ(small.header("content-encoding"), "");
    EXPECT_EQ(json::parse(small.body)["error"], "Sessão desconhecida.");
}

TEST_F(HttpAbuse, HeadAnswersTheHeadOfGet) {
    auto head = client->Head("/big.js");
    ASSERT_TRUE(head);
    EXPECT_EQ(head->status, 200);
    EXPECT_EQ(head->get_header_value("Content-Length"), std::to_string(bigScript().size()));
    EXPECT_TRUE(head->body.empty());
    auto next = client->Get("/app.js"); // the connection is still in step
    ASSERT_TRUE(next);
    EXPECT_EQ(next->body, "console.log('ok');");
}

} // namespace
} // namespace hosttest
