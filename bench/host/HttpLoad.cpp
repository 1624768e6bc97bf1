// bench_http: the web host's HTTP layer, with the application server (temporary SQLite with demo data)
// and the host as processes on free loopback ports.
//   1. A record move through the API, one client after another on a kept-alive connection, in rounds
//      that alternate between this build's host (plain and gzip answers) and, with --baseline, an older
//      host binary: medians from the same run, and their ratio. Every client presents an API token;
//      against a host from before logins the ratio is the cost of authentication (target <= 1.10),
//      and a third host that asks the application server on every request (--auth-cache 0) shows what
//      the memory of vouched credentials saves. Then the same with 50 sessions moving
//      at once (each every 100-300 ms), again alternating between the hosts round by round.
//   2. Thousands of idle keep-alive connections (each has made one request) held open while another
//      client moves records: the mover's p99 must stay within 5 ms (its figures just before the
//      connections open are printed beside) and every idle connection must still be served
//      afterwards. The host's memory per idle connection comes from its RSS.
// Prints the figures and whether each meets its target; exits 1 when one does not.

#include "RawHttp.h"
#include "Stack.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <sys/resource.h>

using namespace hostbench;

namespace {

// A short authenticated request for an unknown session: answered 404 without reaching any screen.
std::string smallRequest() {
    return "GET /api/sessions/0 HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + apiToken() + "\r\n\r\n";
}

void raiseFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

struct Mover {
    std::string name;
    std::unique_ptr<Client> client;
    std::string id;
    int records = 0;
    pid_t host = -1;
    std::vector<double> samples;
    int errors = 0;
    std::size_t lastBytes = 0;
    double hostCpuMs = 0; // the host's CPU time spent while this client moved

    void moves(int count, int& cursor) {
        const double cpuBefore = cpuMs(host);
        for (int m = 0; m < count; ++m) {
            const int recNo = 1 + (cursor++ % std::max(records, 1));
            const auto t0 = Clock::now();
            auto [status, body] = client->event(id, moveTo(recNo));
            samples.push_back(millisecondsSince(t0));
            lastBytes = body.size();
            if (status != 200 || body.find("\"result\":\"done\"") == std::string::npos) ++errors;
        }
        hostCpuMs += cpuMs(host) - cpuBefore;
    }
};

// `count` sessions on one host, each with its own connection, moving at once with a pause between moves.
struct Crowd {
    std::string name;
    int port = 0;
    std::vector<std::string> ids;
    int records = 0;
    std::vector<double> samples;
    int errors = 0;

    void round(int moves) {
        std::vector<std::vector<double>> mine(ids.size());
        std::atomic<int> failed{0};
        std::vector<std::thread> workers;
        for (std::size_t i = 0; i < ids.size(); ++i)
            workers.emplace_back([&, i] {
                Client client("127.0.0.1", port);
                std::mt19937 random(static_cast<unsigned>(i));
                std::uniform_int_distribution<int> think(100, 300);
                for (int m = 0; m < moves; ++m) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(think(random)));
                    const auto t0 = Clock::now();
                    auto [status, body] = client.event(ids[i], moveTo(1 + (m + static_cast<int>(i)) % std::max(records, 1)));
                    mine[i].push_back(millisecondsSince(t0));
                    if (status != 200) ++failed;
                }
            });
        for (auto& w : workers)
            w.join();
        for (const auto& m : mine)
            samples.insert(samples.end(), m.begin(), m.end());
        errors += failed;
    }
};

Crowd makeCrowd(std::string name, int port, int count) {
    Crowd crowd{std::move(name), port, {}, 0, {}, 0};
    Client setup("127.0.0.1", port);
    for (int i = 0; i < count; ++i) {
        crowd.ids.push_back(setup.create());
        crowd.records = prepare(setup, crowd.ids.back());
    }
    return crowd;
}

Mover makeMover(std::string name, int port, pid_t host, bool gzip) {
    Mover mover{std::move(name), std::make_unique<Client>("127.0.0.1", port, gzip), {}, 0, host, {}, 0, 0, 0};
    mover.id = mover.client->create();
    mover.records = prepare(*mover.client, mover.id);
    return mover;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Camada HTTP do host web"};
    std::string bin = std::filesystem::path(argv[0]).parent_path().string();
    std::string baseline;
    int rounds = 10, movesPerRound = 200, idleConnections = 2000, probeMoves = 2000, crowdSessions = 50,
        crowdRounds = 5, crowdMoves = 20;
    app.add_option("--bin", bin, "Pasta dos executáveis");
    app.add_option("--baseline", baseline, "tipoper-host de outra versão, medido na mesma execução");
    app.add_option("--rounds", rounds, "Rodadas alternadas do movimento de registro");
    app.add_option("--moves", movesPerRound, "Movimentos por rodada e por host");
    app.add_option("--idle", idleConnections, "Conexões ociosas mantidas abertas");
    app.add_option("--probe-moves", probeMoves, "Movimentos do cliente ativo com as conexões ociosas abertas");
    app.add_option("--crowd", crowdSessions, "Sessões simultâneas (0 = não medir)");
    app.add_option("--crowd-rounds", crowdRounds, "Rodadas alternadas com as sessões simultâneas");
    app.add_option("--crowd-moves", crowdMoves, "Movimentos por sessão simultânea e por rodada");
    app.allow_extras(); // scripts/bench.sh passes the microbenchmarks' flags to every bench_*
    CLI11_PARSE(app, argc, argv);
    raiseFileLimit();

    const auto dir = std::filesystem::temp_directory_path() / ("tipoper-bench-http-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string db = "sqlite:" + (dir / "bench.db").string();
    Child appServer, host, older;
    int failures = 0;
    try {
        std::string appAddress;
        std::tie(appServer, appAddress) = startAppServer(bin, db);
        int port = 0;
        std::tie(host, port) = startHost(bin + "/tipoper-host", appAddress, db, {"--keep-alive", "600"});

        // 1. Record moves, alternating hosts round by round so that both see the same machine load.
        std::vector<Mover> movers;
        int olderPort = 0;
        if (!baseline.empty()) {
            std::tie(older, olderPort) = startHost(baseline, appAddress, db);
            movers.push_back(makeMover("host anterior", olderPort, older.pid, false));
        }
        movers.push_back(makeMover("este host", port, host.pid, false));
        movers.push_back(makeMover("este host, gzip", port, host.pid, true));
        // The same host asking the application server about the credential on every request: what the
        // host's memory of vouched credentials saves.
        auto [uncached, uncachedPort] = startHost(bin + "/tipoper-host", appAddress, db, {"--auth-cache", "0"});
        movers.push_back(makeMover("este host, sem cache", uncachedPort, uncached.pid, false));
        int cursor = 0;
        for (auto& mover : movers) { // warm-up, not counted
            mover.moves(50, cursor);
            mover.samples.clear();
            mover.hostCpuMs = 0;
        }
        for (int r = 0; r < rounds; ++r)
            for (auto& mover : movers)
                mover.moves(movesPerRound, cursor);
        std::printf("Movimento de registro pela API, um cliente, %d rodadas alternadas de %d:\n", rounds,
                    movesPerRound);
        std::map<std::string, double> medians;
        for (const auto& mover : movers) {
            medians[mover.name] = percentile(mover.samples, 0.5);
            std::printf("  %-18s mediana %.3f ms, p90 %.3f ms, p99 %.3f ms; CPU do host %.0f µs por movimento; "
                        "erros %d; resposta %zu bytes\n",
                        mover.name.c_str(), medians[mover.name], percentile(mover.samples, 0.9),
                        percentile(mover.samples, 0.99), 1000.0 * mover.hostCpuMs / static_cast<double>(mover.samples.size()),
                        mover.errors, mover.lastBytes);
            if (mover.errors) ++failures;
        }
        if (!baseline.empty()) {
            // With a host from before logins as the baseline, the ratio is the cost of authentication.
            const double ratio = medians["este host"] / medians["host anterior"];
            std::printf("  razão das medianas este/anterior: %.2f (meta <= 1.10 contra um host sem autenticação; "
                        "gzip: %.2f)\n",
                        ratio, medians["este host, gzip"] / medians["host anterior"]);
            if (ratio > 1.10) ++failures;
        }
        std::printf("  razão das medianas sem cache/com cache de credenciais: %.2f\n",
                    medians["este host, sem cache"] / medians["este host"]);
        stop(uncached);

        if (crowdSessions > 0) {
            std::vector<Crowd> crowds;
            if (!baseline.empty()) crowds.push_back(makeCrowd("host anterior", olderPort, crowdSessions));
            crowds.push_back(makeCrowd("este host", port, crowdSessions));
            for (int r = 0; r < crowdRounds; ++r)
                for (auto& crowd : crowds)
                    crowd.round(crowdMoves);
            std::printf("Movimento de registro, %d sessões simultâneas (pausa 100-300 ms), %d rodadas alternadas:\n",
                        crowdSessions, crowdRounds);
            for (const auto& crowd : crowds) {
                std::printf("  %-18s mediana %.3f ms, p90 %.3f ms, p99 %.3f ms; erros %d\n", crowd.name.c_str(),
                            percentile(crowd.samples, 0.5), percentile(crowd.samples, 0.9),
                            percentile(crowd.samples, 0.99), crowd.errors);
                if (crowd.errors) ++failures;
            }
            if (crowds.size() == 2)
                std::printf("  razão das medianas este/anterior: %.2f\n",
                            percentile(crowds[1].samples, 0.5) / percentile(crowds[0].samples, 0.5));
            Client cleanup("127.0.0.1", port);
            for (const auto& id : crowds.back().ids)
                cleanup.remove(id);
        }
        stop(older);

        // 2. Idle keep-alive connections held while another client works; the same client's moves
        //    just before they open are the yardstick (the machine's own noise).
        Mover probe = makeMover("cliente ativo", port, host.pid, false);
        probe.moves(50, cursor);
        probe.samples.clear();
        probe.moves(probeMoves, cursor);
        const std::vector<double> alone = std::move(probe.samples);
        probe.samples.clear();
        std::this_thread::sleep_for(std::chrono::milliseconds(2000)); // closed sessions give memory back
        const long before = rssKiB(host.pid);
        std::vector<std::unique_ptr<hosttest::RawConnection>> idle;
        int refused = 0;
        for (int i = 0; i < idleConnections; ++i) {
            try {
                auto connection = std::make_unique<hosttest::RawConnection>(port);
                if (connection->send(smallRequest()) && connection->read().status == 404)
                    idle.push_back(std::move(connection));
                else
                    ++refused;
            } catch (const std::exception&) {
                ++refused;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const long held = rssKiB(host.pid);
        probe.moves(probeMoves, cursor);
        int stillServed = 0;
        for (auto& connection : idle)
            if (connection->send(smallRequest()) && connection->read().status == 404) ++stillServed;
        const double p99 = percentile(probe.samples, 0.99);
        const double perConnection =
            static_cast<double>(held - before) / static_cast<double>(std::max<std::size_t>(idle.size(), 1));
        std::printf("Movimentos de um cliente (%d), sem e com %zu conexões ociosas abertas (%d falharam ao abrir):\n",
                    probeMoves, idle.size(), refused);
        std::printf("  sem: mediana %.3f ms, p90 %.3f ms, p99 %.3f ms\n", percentile(alone, 0.5),
                    percentile(alone, 0.9), percentile(alone, 0.99));
        std::printf("  com: mediana %.3f ms, p90 %.3f ms, p99 %.3f ms (meta <= 5), máx %.3f ms; erros %d\n",
                    percentile(probe.samples, 0.5), percentile(probe.samples, 0.9), p99,
                    percentile(probe.samples, 1.0), probe.errors);
        std::printf("  depois: %d de %zu conexões ociosas ainda atendidas\n", stillServed, idle.size());
        std::printf("  RSS do host %.1f MiB -> %.1f MiB: %.1f KiB por conexão ociosa\n",
                    static_cast<double>(before) / 1024.0, static_cast<double>(held) / 1024.0, perConnection);
        if (p99 > 5.0 || probe.errors || refused || stillServed != static_cast<int>(idle.size())) ++failures;
    } catch (const std::exception& ex) {
        std::fprintf(stderr, "bench_http: %s\n", ex.what());
        failures = 1;
    }
    stop(older);
    stop(host);
    stop(appServer);
    std::filesystem::remove_all(dir);
    std::printf(failures ? "Metas NÃO atingidas.\n" : "Todas as metas atingidas.\n");
    return failures ? 1 : 0;
}
