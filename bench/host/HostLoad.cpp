// bench_host: starts the application server (temporary SQLite with demo data) and the web host on
// free loopback ports, then measures
//   1. the round trip of a record move (HTTP -> session thread -> handlers -> application server ->
//      snapshot -> HTTP) with 50 sessions working at once, each moving every 100-300 ms (five times a second,
//      far faster than a person works);
//   2. the host's resident memory per idle session (RSS growth over 200 opened sessions);
//   3. 200 sessions open at once, each answering a snapshot and an event without error.
// Prints the figures and whether each meets its target; exits 1 when one does not.

#include "AppServerToken.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <random>
#include <regex>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

struct Child {
    pid_t pid = -1;
    std::string line; // the first line matching the start pattern
};

// Spawns `argv` with stdout on a pipe and waits for a line matching `pattern`.
Child spawnAndWait(const std::vector<std::string>& argv, const std::regex& pattern) {
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

void stop(Child& child) {
    if (child.pid <= 0) return;
    kill(child.pid, SIGTERM);
    int status = 0;
    waitpid(child.pid, &status, 0);
    child.pid = -1;
}

long rssKiB(pid_t pid) {
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

class Client {
public:
    Client(const std::string& host, int port) : http_(host, port) {
        http_.set_tcp_nodelay(true);
        http_.set_keep_alive(true);
        http_.set_read_timeout(30, 0);
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
int prepare(Client& client, const std::string& id) {
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

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Carga no host web"};
    std::string bin = std::filesystem::path(argv[0]).parent_path().string();
    int sessions = 50, movesPerSession = 100, idleSessions = 200, thinkMin = 100, thinkMax = 300;
    app.add_option("--bin", bin, "Pasta dos executáveis");
    app.add_option("--sessions", sessions, "Sessões simultâneas no teste de latência");
    app.add_option("--moves", movesPerSession, "Movimentos por sessão");
    app.add_option("--idle-sessions", idleSessions, "Sessões abertas no teste de memória");
    app.add_option("--think-min", thinkMin, "Pausa mínima entre eventos de uma sessão (ms)");
    app.add_option("--think-max", thinkMax, "Pausa máxima entre eventos de uma sessão (ms)");
    CLI11_PARSE(app, argc, argv);

    const auto dir =
        std::filesystem::temp_directory_path() / ("tipoper-bench-host-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string db = "sqlite:" + (dir / "bench.db").string();
    Child appServer, host;
    int failures = 0;
    try {
        appServer = spawnAndWait(
            {bin + "/tipoper-appserver", "--db", db, "--port", "0", "--demo", "--log-level", "warn"},
            std::regex(R"(ouvindo em [\d.]+:(\d+))"));
        const std::string appPort = std::regex_replace(appServer.line, std::regex(R"(.*:(\d+)$)"), "$1");
        // The host's screens connect with a token of a user who may read and write.
        ::setenv("TIPOPER_APPSERVER_TOKEN",
                 testing_support::appServerToken(bin + "/tipoper-appserver", db).c_str(), 1);
        host = spawnAndWait({bin + "/tipoper-host", "--port", "0", "--appserver", "127.0.0.1:" + appPort,
                             "--db", db, "--log-level", "warn"},
                            std::regex(R"(http://127\.0\.0\.1:(\d+)/)"));
        const int port = std::stoi(std::regex_replace(host.line, std::regex(R"(.*:(\d+)/$)"), "$1"));

        // 1. Latency of a record move with `sessions` sessions at work.
        std::vector<std::string> ids;
        int records = 0;
        {
            Client setup("127.0.0.1", port);
            for (int i = 0; i < sessions; ++i) {
                ids.push_back(setup.create());
                records = prepare(setup, ids.back());
            }
        }
        std::vector<std::vector<double>> samples(static_cast<std::size_t>(sessions));
        std::atomic<int> errors{0};
        std::vector<std::thread> workers;
        std::size_t snapshotBytes = 0;
        const auto started = Clock::now();
        for (int i = 0; i < sessions; ++i)
            workers.emplace_back([&, i] {
                Client client("127.0.0.1", port);
                std::mt19937 random(static_cast<unsigned>(i));
                std::uniform_int_distribution<int> think(thinkMin, thinkMax);
                auto& mine = samples[static_cast<std::size_t>(i)];
                for (int m = 0; m < movesPerSession; ++m) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(think(random)));
                    const int recNo = 1 + (m + i) % std::max(records, 1);
                    const auto t0 = Clock::now();
                    auto [status, body] =
                        client.event(ids[static_cast<std::size_t>(i)],
                                     {{"type", "move"}, {"dataset", "cdsTipOper"}, {"recNo", recNo}});
                    const auto t1 = Clock::now();
                    if (status != 200 || body.find("\"result\":\"done\"") == std::string::npos) ++errors;
                    if (i == 0 && m == 0) snapshotBytes = body.size();
                    mine.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
                }
            });
        for (auto& w : workers)
            w.join();
        const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
        std::vector<double> all;
        for (const auto& s : samples)
            all.insert(all.end(), s.begin(), s.end());
        const double median = percentile(all, 0.5), p99 = percentile(all, 0.99);
        std::printf("Movimento de registro, %d sessões simultâneas (pausa %d-%d ms), %zu eventos em %.1f s "
                    "(%.0f/s):\n",
                    sessions, thinkMin, thinkMax, all.size(), seconds,
                    static_cast<double>(all.size()) / seconds);
        std::printf(
            "  mediana %.3f ms (meta <= 2), p90 %.3f ms, p99 %.3f ms (meta <= 10), máx %.3f ms; erros %d; "
            "retrato %zu bytes\n",
            median, percentile(all, 0.9), p99, percentile(all, 1.0), errors.load(), snapshotBytes);
        if (median > 2.0 || p99 > 10.0 || errors) ++failures;
        {
            Client cleanup("127.0.0.1", port);
            for (const auto& id : ids)
                cleanup.remove(id);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));

        // 2 and 3. Many sessions open at once: memory per idle session, and every one still served.
        const long before = rssKiB(host.pid);
        std::vector<std::string> idle(static_cast<std::size_t>(idleSessions));
        std::atomic<int> openErrors{0};
        {
            std::vector<std::thread> openers;
            const int threads = 8;
            for (int t = 0; t < threads; ++t)
                openers.emplace_back([&, t] {
                    Client client("127.0.0.1", port);
                    for (int i = t; i < idleSessions; i += threads) {
                        try {
                            idle[static_cast<std::size_t>(i)] = client.create();
                            prepare(client, idle[static_cast<std::size_t>(i)]);
                        } catch (const std::exception&) {
                            ++openErrors;
                        }
                    }
                });
            for (auto& o : openers)
                o.join();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const long after = rssKiB(host.pid);
        const double perSession = static_cast<double>(after - before) / 1024.0 / idleSessions;
        std::printf(
            "Memória: RSS do host %.1f MiB -> %.1f MiB com %d sessões abertas e carregadas: %.2f MiB por "
            "sessão (meta <= 4)\n",
            static_cast<double>(before) / 1024.0, static_cast<double>(after) / 1024.0, idleSessions,
            perSession);
        if (perSession > 4.0) ++failures;

        int served = 0;
        {
            Client client("127.0.0.1", port);
            for (const auto& id : idle) {
                if (id.empty()) continue;
                auto [status, body] =
                    client.event(id, {{"type", "move"}, {"dataset", "cdsTipOper"}, {"recNo", 2}});
                if (status == 200 && client.snapshot(id) == 200) ++served;
            }
        }
        std::printf("%d sessões abertas: %d atendidas sem erro, %d falhas ao abrir\n", idleSessions, served,
                    openErrors.load());
        if (served != idleSessions || openErrors) ++failures;
    } catch (const std::exception& ex) {
        std::fprintf(stderr, "bench_host: %s\n", ex.what());
        failures = 1;
    }
    stop(host);
    stop(appServer);
    std::filesystem::remove_all(dir);
    std::printf(failures ? "Metas NÃO atingidas.\n" : "Todas as metas atingidas.\n");
    return failures ? 1 : 0;
}
