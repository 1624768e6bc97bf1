#pragma once

// What the host benchmarks share: the application server and the web host as child processes on free
// loopback ports (each stopped by its pid), the host's resident memory, a keep-alive API client and
// percentiles.

#include "AppServerToken.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <regex>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace hostbench {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

struct Child {
    pid_t pid = -1;
    std::string line; // the first line matching the start pattern
};

// Spawns `argv` with stdout on a pipe and waits for a line matching `pattern`.
inline Child spawnAndWait(const std::vector<std::string>& argv, const std::regex& pattern) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    Child child;
    if (posix_spawn(&child.pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        throw std::runtime_error("não foi possível iniciar " + argv[0]);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string buffer;
    char chunk[512];
    while (true) {
        const ssize_t n = read(fds[0], chunk, sizeof chunk);
        if (n <= 0) throw std::runtime_error(argv[0] + " terminou antes de escutar: " + buffer);
        buffer.append(chunk, static_cast<std::size_t>(n));
        std::smatch m;
        if (std::regex_search(buffer, m, pattern)) {
            child.line = m.str(0);
            break;
        }
    }
    // Keep draining stdout so the child never blocks on a full pipe.
    std::thread([fd = fds[0]] {
        char sink[512];
        while (read(fd, sink, sizeof sink) > 0) {
        }
        close(fd);
    }).detach();
    return child;
}

inline void stop(Child& child) {
    if (child.pid <= 0) return;
    kill(child.pid, SIGTERM);
    int status = 0;
    waitpid(child.pid, &status, 0);
    child.pid = -1;
}

// The API token the benchmark's clients present (Authorization: Bearer).
inline std::string& apiToken() {
    static std::string token;
    return token;
}

// Starts the application server on `db` with the demo data; returns it and its "127.0.0.1:PORT".
inline std::pair<Child, std::string> startAppServer(const std::string& bin, const std::string& db) {
    Child app = spawnAndWait({bin + "/tipoper-appserver", "--db", db, "--port", "0", "--demo", "--log-level", "warn"},
                             std::regex(R"(ouvindo em [\d.]+:(\d+))"));
    const std::string port = std::regex_replace(app.line, std::regex(R"(.*:(\d+)$)"), "$1");
    // Every client presents an API token of a user who may read and write, and each screen connects with
    // it. A host from before logins ignores the header and connects with the same token from its
    // environment instead.
    apiToken() = testing_support::appServerToken(bin + "/tipoper-appserver", db);
    ::setenv("TIPOPER_APPSERVER_TOKEN", apiToken().c_str(), 1);
    return {app, "127.0.0.1:" + port};
}

// Starts a host (`exe`) on a free port with `extra` flags; returns it and its port.
inline std::pair<Child, int> startHost(const std::string& exe, const std::string& appServer, const std::string& db,
                                       const std::vector<std::string>& extra = {}) {
    std::vector<std::string> argv{exe, "--port", "0", "--appserver", appServer, "--db", db, "--log-level", "warn"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    Child host = spawnAndWait(argv, std::regex(R"(http://127\.0\.0\.1:(\d+)/)"));
    const int port = std::stoi(std::regex_replace(host.line, std::regex(R"(.*:(\d+)/$)"), "$1"));
    return {host, port};
}

inline long rssKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(4096, '\n');
    }
    return -1;
}

// CPU time the process has used so far, in milliseconds (all its threads, from the scheduler's
// nanosecond counts; threads that have ended are not counted).
inline double cpuMs(pid_t pid) {
    double total = 0;
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream stat(task.path() / "schedstat");
        double ns = 0;
        if (stat >> ns) total += ns;
    }
    return total / 1e6;
}

class Client {
public:
    Client(const std::string& host, int port, bool gzip = false) : http_(host, port) {
        http_.set_tcp_nodelay(true);
        http_.set_keep_alive(true);
        http_.set_read_timeout(30, 0);
        if (!apiToken().empty()) http_.set_bearer_token_auth(apiToken());
        if (gzip) {
            http_.set_decompress(true);
            http_.set_default_headers({{"Accept-Encoding", "gzip"}});
        }
    }
    std::string create() {
        auto res = http_.Post("/api/sessions", "", "application/json");
        if (!res || res->status != 201) throw std::runtime_error("POST /api/sessions falhou");
        return json::parse(res->body)["id"];
    }
    // Returns the status (0 when the request failed) and the body.
    std::pair<int, std::string> event(const std::string& id, const json& event) {
        auto res = http_.Post("/api/sessions/" + id + "/events", event.dump(), "application/json");
        if (!res) return {0, {}};
        return {res->status, res->body};
    }
    int snapshot(const std::string& id) {
        auto res = http_.Get("/api/sessions/" + id);
        return res ? res->status : 0;
    }
    int remove(const std::string& id) {
        auto res = http_.Delete("/api/sessions/" + id);
        return res ? res->status : 0;
    }

private:
    httplib::Client http_;
};

// Opens the screen and loads the records of Saída; returns the record count.
inline int prepare(Client& client, const std::string& id) {
    for (const json& e :
         {json{{"type", "open"}}, json{{"type", "pick"}, {"control", "cbbEntSaid"}, {"index", 1}},
          json{{"type", "focus"}, {"control", "dbgPadrao"}}}) {
        auto [status, body] = client.event(id, e);
        if (status != 200) throw std::runtime_error("preparação da sessão falhou: " + body);
        auto snap = json::parse(body);
        if (snap["result"] != "done") throw std::runtime_error("preparação da sessão falhou: " + body);
        if (e["type"] == "focus") return snap["datasets"]["cdsTipOper"]["recordCount"];
    }
    return 0;
}

inline json moveTo(int recNo) {
    return {{"type", "move"}, {"dataset", "cdsTipOper"}, {"recNo", recNo}};
}

inline double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

inline double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace hostbench
