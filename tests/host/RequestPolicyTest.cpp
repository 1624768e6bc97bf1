// The pieces the HTTP layer judges requests with: host names, origins, targets, and the worker pool.

#include "host/RequestPolicy.h"
#include "host/WorkerPool.h"

#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

namespace hosttest {
namespace {

using namespace std::chrono_literals;

TEST(HostNames, PortAndCaseAsideOrRefused) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases{
        {"localhost", "localhost"},
        {"LocalHost:8080", "localhost"},
        {"127.0.0.1:65535", "127.0.0.1"},
        {"[::1]:80", "::1"},
        {"[::1]", "::1"},
        {"::1", "::1"}, // as an administrator writes it
        {"erp-01.example.com", "erp-01.example.com"},
        {"", std::nullopt},
        {":8080", std::nullopt},
        {"host:", std::nullopt},
        {"host:0", std::nullopt},
        {"host:65536", std::nullopt},
        {"host:80a", std::nullopt},
        {"host:080808", std::nullopt},
        {"evil.example/x", std::nullopt},
        {"user@host", std::nullopt},
        {"ex ample", std::nullopt},
        {"[::1", std::nullopt},
        {"[::1]x", std::nullopt},
        {"[evil.example]", std::nullopt},
        {"host\r\nX: y", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(host::hostNameOf(text), expected) << '"' << text << '"';
}

TEST(Origins, SchemeHostAndPortOrNothing) {
    using O = host::Origin;
    const std::vector<std::pair<std::string, std::optional<O>>> cases{
        {"http://a.example", O{"http", "a.example", 80}},
        {"HTTPS://A.Example:8443/path?q#f", O{"https", "a.example", 8443}},
        {"https://a.example", O{"https", "a.example", 443}},
        {"http://[::1]:8080/", O{"http", "::1", 8080}},
        {"null", std::nullopt},
        {"", std::nullopt},
        {"file:///etc/passwd", std::nullopt},
        {"javascript:alert(1)", std::nullopt},
        {"http://user@a.example", std::nullopt},
        {"http://a.example:0", std::nullopt},
        {"http://", std::nullopt},
        {"ftp://a.example", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(host::originOf(text), expected) << '"' << text << '"';
}

TEST(Targets, PathAndQueryDecodedOrRefused) {
    host::Request request;
    ASSERT_TRUE(host::splitTarget("/a%20b+c?rows=1&x=%41+B&rows=2&&flag", request));
    EXPECT_EQ(request.path, "/a b+c"); // '+' is a space only in the query
    EXPECT_EQ(request.param("rows"), "1"); // the first of a repeated name
    EXPECT_EQ(request.param("x"), "A B");
    EXPECT_EQ(request.param("flag"), "");
    EXPECT_EQ(request.param("none"), std::nullopt);

    ASSERT_TRUE(host::splitTarget("/%00x", request));
    EXPECT_EQ(request.path, std::string("/\0x", 3)); // for the file resolver to refuse
    for (const char* bad : {"", "*", "http://evil.example/", "/a%2", "/a%g0", "/?x=%", "a/b"})
        EXPECT_FALSE(host::splitTarget(bad, request)) << bad;
}

TEST(RequestPolicy, RefusesAMalformedAllowedName) {
    const host::CsrfTokens csrf;
    EXPECT_THROW(host::RequestPolicy({"localhost", "bad name"}, csrf), std::invalid_argument);
    EXPECT_EQ(host::RequestPolicy({"LOCALHOST:8080", "localhost", "[::1]"}, csrf).allowedHosts(),
              (std::vector<std::string>{"localhost", "::1"}));
}

TEST(WorkerPool, GrowsOnDemandUpToItsLimitAndQueuesPastIt) {
    host::WorkerPool pool(3);
    EXPECT_EQ(pool.threads(), 0u);
    std::promise<void> open;
    auto gate = open.get_future().share();
    std::atomic<int> running{0}, peak{0}, done{0};
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(pool.post([&] {
            peak = std::max(peak.load(), ++running);
            gate.wait();
            --running;
            ++done;
        }));
    const auto limit = std::chrono::steady_clock::now() + 5s;
    while (running < 3 && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(pool.threads(), 3u);
    open.set_value();
    while (done < 8 && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(done, 8);
    EXPECT_EQ(peak, 3);
    EXPECT_EQ(pool.threads(), 3u); // idle threads are reused, not multiplied
}

TEST(WorkerPool, StopDropsWhatHasNotStartedAndRefusesMore) {
    host::WorkerPool pool(1);
    std::promise<void> open;
    auto gate = open.get_future().share();
    std::atomic<bool> started{false};
    std::atomic<int> ran{0};
    pool.post([&] {
        started = true;
        gate.wait();
        ++ran;
    });
    pool.post([&] { ++ran; });
    while (!started)
        std::this_thread::sleep_for(1ms);
    std::thread stopper([&] { pool.stop(); });
    std::this_thread::sleep_for(20ms);
    open.set_value();
    stopper.join();
    EXPECT_EQ(ran, 1); // the running task finished; the queued one was dropped
    EXPECT_FALSE(pool.post([&] { ++ran; }));
}

} // namespace
} // namespace hosttest
