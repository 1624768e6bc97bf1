// bench_host: starts the application server (temporary SQLite with demo data) and the web host on
// free loopback ports, then measures
//   1. the round trip of a record move (HTTP -> session thread -> handlers -> application server ->
//      snapshot -> HTTP) with 50 sessions working at once, each moving every 100-300 ms (five times a second,
//      far faster than a person works);
//   2. the host's resident memory per idle session (RSS growth over 200 opened sessions), and what is
//      left once they are closed (the memory must go back to the system);
//   3. 200 sessions open at once, each answering a snapshot and an event without error.
// Prints the figures and whether each meets its target; exits 1 when one does not.

#include "Stack.h"

#include <CLI/CLI.hpp>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <random>

using namespace hostbench;

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
    app.allow_extras(); // scripts/bench.sh passes the microbenchmarks' flags to every bench_*
    CLI11_PARSE(app, argc, argv);

    const auto dir =
        std::filesystem::temp_directory_path() / ("tipoper-bench-host-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string db = "sqlite:" + (dir / "bench.db").string();
    Child appServer, host;
    int failures = 0;
    try {
        std::string appAddress;
        std::tie(appServer, appAddress) = startAppServer(bin, db);
        int port = 0;
        std::tie(host, port) = startHost(bin + "/tipoper-host", appAddress, db);

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
                    auto [status, body] = client.event(ids[static_cast<std::size_t>(i)], moveTo(recNo));
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
                auto [status, body] = client.event(id, moveTo(2));
                if (status == 200 && client.snapshot(id) == 200) ++served;
            }
        }
        std::printf("%d sessões abertas: %d atendidas sem erro, %d falhas ao abrir\n", idleSessions, served,
                    openErrors.load());
        if (served != idleSessions || openErrors) ++failures;

        // Closed sessions must give their memory back, not leave it to the allocator for good.
        {
            Client client("127.0.0.1", port);
            for (const auto& id : idle)
                if (!id.empty()) client.remove(id);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        const long closed = rssKiB(host.pid);
        const double kept = static_cast<double>(closed - before) / static_cast<double>(std::max(after - before, 1L));
        std::printf("Memória depois de fechar as %d sessões: RSS %.1f MiB (%.0f%% do que elas ocupavam ficou; "
                    "meta <= 25%%)\n",
                    idleSessions, static_cast<double>(closed) / 1024.0, 100.0 * kept);
        if (kept > 0.25) ++failures;
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
