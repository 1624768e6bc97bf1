// End-to-end costs of the application server beside their floors, on SQLite and, when TIPOPER_TEST_PG
// names a server, on PostgreSQL:
//   GetTipOper of 1,000 rows      vs  the same query in-process (database library bulk fetch, and the
//                                     server's own packet path without the network); the client's parse
//                                     of the answer is reported apart
//   GetMensTipoOper round trip    vs  an empty call (connect on a connected session); p50/p99 counters
//   8 clients of small calls      vs  8 clients of empty calls (items_per_second)
//   one-row SetTipOper            vs  the same UPDATE through the database library in-process, and vs
//                                     the server from before the history (TIPOPER_PREHISTORY_APPSERVER)
//   GetHistTipOper, 1,000 changes vs  GetMensTipoOper on the same connection
//   Login                         a password checked and a ticket made, p50
//   1,000 connections held        database sessions of the server counted in pg_stat_activity
//   four 16 MiB lines at once     the server's peak and remaining memory
// With TIPOPER_BASELINE_APPSERVER naming another build of the server (the one before authentication),
// the small calls, the 8 clients and the four lines also run against it, in the same run, on a
// database of its own, so the two are compared on one machine under one load.

#include "Catalog.h"
#include "Database.h"
#include "DatabaseUrl.h"
#include "Harness.h"
#include "AppServerToken.h"
#include "Store.h"

#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <soci/soci.h>
#include <thread>
#include <unistd.h>

using harness::json;

namespace {

constexpr std::size_t kRows = 1000;

// Baseline: the server from before authentication (takes no credential). PreHistory: the server from
// before the history of changes, which takes the same tokens, to price what writing the history costs.
enum class Build { Current, Baseline, PreHistory };

const char* envExecutable(const char* name) {
    const char* exe = std::getenv(name);
    return exe && *exe ? exe : nullptr;
}
const char* baselineExecutable() {
    return envExecutable("TIPOPER_BASELINE_APPSERVER");
}
const char* preHistoryExecutable() {
    return envExecutable("TIPOPER_PREHISTORY_APPSERVER");
}
std::string executableOf(Build build) {
    switch (build) {
    case Build::Current:
        return {};
    case Build::Baseline:
        return baselineExecutable();
    case Build::PreHistory:
        return preHistoryExecutable();
    }
    return {};
}

struct Setup {
    std::optional<harness::TestDatabase> db;
    std::unique_ptr<harness::ServerProcess> server;
    std::string token;       // empty for the baseline, which takes none
    std::string sessionName; // PostgreSQL application_name of this server's sessions
    std::unique_ptr<harness::RpcClient> client() const {
        auto c = std::make_unique<harness::RpcClient>(server->port(), token);
        c->connect();
        return c;
    }
};

std::map<std::pair<harness::Backend, Build>, Setup>& setups() {
    static std::map<std::pair<harness::Backend, Build>, Setup> s;
    return s;
}

// A server on a demo database grown to 1,000 operation types of kind "E". Benchmarks of several threads
// all ask for it at once: the first makes it.
Setup& setup(harness::Backend backend, Build build = Build::Current) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    auto& s = setups()[{backend, build}];
    if (s.server) return s;
    s.db.emplace(*harness::TestDatabase::create(backend));
    std::string url = s.db->url();
    if (backend == harness::Backend::Postgresql) {
        s.sessionName = "tipoper_bench_" + std::to_string(::getpid()) +
                        (build == Build::Baseline ? "_base" : build == Build::PreHistory ? "_prehist" : "");
        url += "&application_name=" + s.sessionName;
    }
    // Each build makes its token with its own user commands: a newer one would migrate the database past
    // what an older server accepts.
    if (build == Build::Current) s.token = harness::provisionToken(s.db->url(), "bench", "manutencao");
    if (build == Build::PreHistory)
        s.token = testing_support::appServerToken(preHistoryExecutable(), s.db->url(), "bench", "manutencao");
    s.server = std::make_unique<harness::ServerProcess>(
        std::vector<std::string>{"--db", url, "--demo", "--log-level", "warn"}, executableOf(build));
    auto c = s.client();
    const json packet = c->call("GetTipOper", {"E"})["result"];
    const auto models = harness::records(packet);
    std::size_t have = models.size();
    static const std::string alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    json list = json::array();
    for (char a : alphabet)
        for (char b : alphabet) {
            if (have >= kRows) break;
            const std::string code{a, b};
            if (!harness::findRecord(packet, "CDTIPOOPER", code).is_null()) continue;
            json row = models[have % models.size()];
            row["CDTIPOOPER"] = code;
            row["NMTIPOOPER"] = "Tipo de operação " + std::to_string(have);
            list.push_back(harness::insert(row));
            ++have;
        }
    // In packets of a hundred records, as large as the screen's largest.
    for (std::size_t from = 0; from < list.size(); from += 100) {
        json part = json::array();
        for (std::size_t i = from; i < std::min(list.size(), from + 100); ++i)
            part.push_back(list[i]);
        const json answer = c->call("SetTipOper", {{{"changes", part}}, ""});
        if (!answer.contains("result")) std::fprintf(stderr, "carga falhou: %s\n", answer.dump().c_str());
    }
    return s;
}

void percentiles(benchmark::State& state, std::vector<double>& micros) {
    if (micros.empty()) return;
    std::sort(micros.begin(), micros.end());
    state.counters["p50_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
}

double elapsedMicros(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - since).count();
}

// --- GetTipOper of 1,000 rows ---------------------------------------------------------------------------

void getTipOperEndToEnd(benchmark::State& state, harness::Backend backend) {
    auto c = setup(backend).client();
    std::size_t rows = 0;
    for (auto _ : state) {
        const json answer = c->call("GetTipOper", {"E"});
        rows = answer["result"]["rows"].size();
    }
    state.counters["rows"] = static_cast<double>(rows);
}

// End to end as the server is concerned: the request written and the whole answer line received. The
// client's own JSON parse of 410 kB (a cost of the client's library, not of the server) is measured apart.
void getTipOperWire(benchmark::State& state, harness::Backend backend) {
    auto c = setup(backend).client();
    const std::string request = R"({"jsonrpc":"2.0","id":1,"method":"GetTipOper","params":["E"]})"
                                "\n";
    std::size_t bytes = 0;
    for (auto _ : state) {
        c->send(request);
        bytes = c->readLine().size();
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}

void getTipOperStoreInProcess(benchmark::State& state, harness::Backend backend) {
    appserver::Store store(appserver::parseDatabaseUrl(setup(backend).db->url()));
    std::size_t bytes = 0;
    for (auto _ : state)
        bytes = store.getTipOper("E").size();
    state.counters["bytes"] = static_cast<double>(bytes);
}

// The floor named by the database library alone: the same 82-column query, bulk-fetched into vectors.
void getTipOperSociBulk(benchmark::State& state, harness::Backend backend) {
    appserver::Database db(appserver::parseDatabaseUrl(setup(backend).db->url()));
    const std::string sql = appserver::Store::recordQuery(":k");
    constexpr std::size_t kBatch = 256;
    std::vector<std::vector<std::string>> columns(appserver::kTipOperFieldCount);
    std::vector<std::vector<soci::indicator>> nulls(appserver::kTipOperFieldCount);
    std::string kind = "E";
    soci::statement st(db.session());
    st.exchange(soci::use(kind));
    for (std::size_t i = 0; i < columns.size(); ++i) {
        columns[i].resize(kBatch);
        nulls[i].resize(kBatch);
        st.exchange(soci::into(columns[i], nulls[i]));
    }
    st.alloc();
    st.prepare(sql);
    st.define_and_bind();
    std::size_t rows = 0;
    for (auto _ : state) {
        rows = 0;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            columns[i].resize(kBatch);
            nulls[i].resize(kBatch);
        }
        bool more = st.execute(true);
        while (more) {
            rows += columns[0].size();
            if (columns[0].size() < kBatch) break;
            more = st.fetch();
        }
    }
    state.counters["rows"] = static_cast<double>(rows);
}

// --- small calls ----------------------------------------------------------------------------------------

void roundTrip(benchmark::State& state, harness::Backend backend, Build build, bool empty) {
    auto c = setup(backend, build).client();
    std::vector<double> micros;
    micros.reserve(1 << 16);
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const json answer = empty ? c->connect() : c->call("GetMensTipoOper", {"01", "S"});
        micros.push_back(elapsedMicros(t0));
        benchmark::DoNotOptimize(answer);
    }
    percentiles(state, micros);
}

void concurrentClients(benchmark::State& state, harness::Backend backend, Build build, bool empty) {
    auto c = setup(backend, build).client();
    const char* codes[] = {"01", "02", "03", "04", "05", "06"};
    std::size_t n = static_cast<std::size_t>(state.thread_index());
    for (auto _ : state) {
        const json answer = empty ? c->connect() : c->call("GetMensTipoOper", {codes[n++ % 6], "S"});
        benchmark::DoNotOptimize(answer);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

// --- one-row SetTipOper ---------------------------------------------------------------------------------

void setTipOperOneRow(benchmark::State& state, harness::Backend backend, Build build) {
    auto c = setup(backend, build).client();
    json current = harness::findRecord(c->call("GetTipOper", {"E"})["result"], "CDTIPOOPER", "01");
    std::vector<double> micros;
    int n = 0;
    for (auto _ : state) {
        json next = current;
        next["NMTIPOOPER"] = "Alterado " + std::to_string(n++);
        const auto t0 = std::chrono::steady_clock::now();
        const json answer = c->call("SetTipOper", {harness::changes({harness::modify(current, next)}), ""});
        micros.push_back(elapsedMicros(t0));
        if (!answer.contains("result")) {
            state.SkipWithError(answer.dump().c_str());
            break;
        }
        current = std::move(next);
    }
    percentiles(state, micros);
}

// --- history of 1,000 changes ---------------------------------------------------------------------------

// E-03 of the current server's database with 1,000 recorded changes, made through the protocol by the
// first benchmark that needs them.
void historyOf1000(harness::RpcClient& c) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    json current = harness::findRecord(c.call("GetTipOper", {"E"})["result"], "CDTIPOOPER", "03");
    const std::size_t have = c.call("GetHistTipOper", {"03", "E"})["result"]["entries"].size();
    for (std::size_t n = have; n < kRows; ++n) {
        json next = current;
        next["NMTIPOOPER"] = "Histórico " + std::to_string(n);
        next["IDATUESTTPOP"] = n % 2 ? "S" : "N";
        const json answer = c.call("SetTipOper", {harness::changes({harness::modify(current, next)}), ""});
        if (!answer.contains("result")) std::fprintf(stderr, "carga falhou: %s\n", answer.dump().c_str());
        current = std::move(next);
    }
}

// Request written and the whole answer line received, as GetTipOper's end to end.
void getHistTipOper(benchmark::State& state, harness::Backend backend, bool history) {
    auto c = setup(backend).client();
    historyOf1000(*c);
    const std::string request = history ? R"({"jsonrpc":"2.0","id":1,"method":"GetHistTipOper","params":["03","E"]})"
                                          "\n"
                                        : R"({"jsonrpc":"2.0","id":1,"method":"GetMensTipoOper","params":["03","E"]})"
                                          "\n";
    std::vector<double> micros;
    std::size_t bytes = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        c->send(request);
        bytes = c->readLine().size();
        micros.push_back(elapsedMicros(t0));
    }
    percentiles(state, micros);
    state.counters["bytes"] = static_cast<double>(bytes);
    if (history) {
        const json answer = c->call("GetHistTipOper", {"03", "E"});
        state.counters["entries"] = static_cast<double>(answer["result"]["entries"].size());
    }
}

void updateInProcess(benchmark::State& state, harness::Backend backend) {
    appserver::Database db(appserver::parseDatabaseUrl(setup(backend).db->url()));
    appserver::Command update(
        db.session(), "UPDATE TIPOOPERAC SET NMTIPOOPER = :p0 WHERE IDENTRSAIDOP = :p1 AND CDTIPOOPER = :p2",
        3);
    update.set(1, "E");
    update.set(2, "02");
    int n = 0;
    for (auto _ : state) {
        const std::string name = "Floor " + std::to_string(n++);
        update.set(0, name);
        appserver::Transaction tx(db);
        update.execute();
        tx.commit();
    }
}

// --- authentication -------------------------------------------------------------------------------------

void login(benchmark::State& state, harness::Backend backend) {
    auto& s = setup(backend);
    // Made once per database; a second attempt is refused as a name taken, which is fine.
    harness::runCommand({"--db", s.db->url(), "user", "add", "senha", "--role", "manutencao"}, "senha-do-benchmark\n");
    harness::RpcClient c(s.server->port());
    std::vector<double> micros;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const json answer = c.login("senha", "senha-do-benchmark");
        micros.push_back(elapsedMicros(t0) / 1000.0);
        if (!answer.contains("result")) {
            state.SkipWithError(answer.dump().c_str());
            break;
        }
    }
    if (micros.empty()) return;
    std::sort(micros.begin(), micros.end());
    state.counters["p50_ms"] = micros[micros.size() / 2];
}

int databaseSessions(appserver::Reader& count, const std::string& name) {
    const std::string_view params[] = {name};
    appserver::ReaderScope rows(count, params);
    return rows.next() ? std::stoi(std::string(rows.text(0))) : -1;
}

// A thousand screens connected at once, each making calls from eight threads: what PostgreSQL sees of
// the server is its pool, however many screens there are.
void thousandConnections(benchmark::State& state, harness::Backend backend) {
    constexpr int kConnections = 1000;
    constexpr int kThreads = 8;
    auto& s = setup(backend);
    std::optional<appserver::Database> observer;
    std::unique_ptr<appserver::Reader> count;
    if (backend == harness::Backend::Postgresql) {
        observer.emplace(appserver::parseDatabaseUrl(s.db->url()));
        count = observer->prepareReader("SELECT COUNT(*) FROM pg_stat_activity WHERE application_name = $1");
    }
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        std::vector<std::unique_ptr<harness::RpcClient>> clients;
        for (int i = 0; i < kConnections; ++i)
            clients.push_back(s.client());
        const double connectMs = elapsedMicros(t0) / 1000.0;
        std::atomic<bool> running{true};
        std::atomic<int> most{0}, failures{0};
        std::thread counter([&] {
            while (count && running) {
                most = std::max(most.load(), databaseSessions(*count, s.sessionName));
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        const auto t1 = std::chrono::steady_clock::now();
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                for (int round = 0; round < 3; ++round)
                    for (int i = t; i < kConnections; i += kThreads)
                        if (!clients[static_cast<std::size_t>(i)]->call("GetMensTipoOper", {"01", "S"}).contains("result"))
                            ++failures;
            });
        for (auto& t : threads)
            t.join();
        const double seconds = elapsedMicros(t1) / 1e6;
        running = false;
        counter.join();
        state.counters["connect_all_ms"] = connectMs;
        state.counters["calls_per_s"] = 3.0 * kConnections / seconds;
        state.counters["failures"] = failures.load();
        if (count) state.counters["db_sessions_max"] = most.load();
    }
}

// --- memory of huge lines -------------------------------------------------------------------------------

long statusKilobytes(pid_t pid, const char* field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
    return -1;
}

// Four clients send a 16 MiB line of small nested objects at once (each is refused by the current
// server before it is built). Measured on a fresh server each time: its peak and what it holds after.
void fourHugeLines(benchmark::State& state, Build build) {
    std::string line = R"({"jsonrpc":"2.0","id":1,"method":"GetCusto","params":[)";
    const std::string unit = R"({"a":{"b":{}}},)";
    while (line.size() + unit.size() < (16u << 20) - 64)
        line += unit;
    line += "{}]}\n";
    for (auto _ : state) {
        auto db = harness::TestDatabase::create(harness::Backend::Sqlite);
        const std::string token =
            build == Build::Current ? harness::provisionToken(db->url(), "bench", "manutencao") : std::string();
        harness::ServerProcess server({"--db", db->url(), "--demo", "--log-level", "warn"},
                                      build == Build::Baseline ? baselineExecutable() : "");
        std::vector<std::unique_ptr<harness::RpcClient>> clients;
        for (int i = 0; i < 4; ++i) {
            clients.push_back(std::make_unique<harness::RpcClient>(server.port(), token));
            clients.back()->connect();
        }
        const long before = statusKilobytes(server.pid(), "VmHWM:");
        std::vector<std::thread> threads;
        std::atomic<int> answered{0};
        for (auto& c : clients)
            threads.emplace_back([&, raw = c.get()] {
                raw->send(line);
                if (raw->readResponse().contains("error")) ++answered;
            });
        for (auto& t : threads)
            t.join();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        state.counters["peak_growth_MB"] = static_cast<double>(statusKilobytes(server.pid(), "VmHWM:") - before) / 1024;
        state.counters["rss_after_MB"] = static_cast<double>(statusKilobytes(server.pid(), "VmRSS:")) / 1024;
        state.counters["refused"] = answered.load();
        state.counters["line_MB"] = static_cast<double>(line.size()) / (1 << 20);
    }
}

void registerAll(harness::Backend backend, const std::string& tag) {
    using benchmark::RegisterBenchmark;
    const bool baseline = baselineExecutable() != nullptr;
    RegisterBenchmark(("GetTipOper1000/withClientJsonParse/" + tag).c_str(), getTipOperEndToEnd, backend)
        ->Unit(benchmark::kMillisecond);
    RegisterBenchmark(("GetTipOper1000/endToEnd/" + tag).c_str(), getTipOperWire, backend)
        ->Unit(benchmark::kMillisecond);
    RegisterBenchmark(("GetTipOper1000/serverPathInProcess/" + tag).c_str(), getTipOperStoreInProcess, backend)
        ->Unit(benchmark::kMillisecond);
    RegisterBenchmark(("GetTipOper1000/libraryBulkFetchInProcess/" + tag).c_str(), getTipOperSociBulk, backend)
        ->Unit(benchmark::kMillisecond);
    for (Build build : {Build::Current, Build::Baseline}) {
        if (build == Build::Baseline && !baseline) continue;
        const std::string who = build == Build::Current ? "" : "baseline/";
        RegisterBenchmark(("GetMensTipoOper/roundTrip/" + who + tag).c_str(), roundTrip, backend, build, false)
            ->Unit(benchmark::kMicrosecond);
        RegisterBenchmark(("EmptyCall/roundTrip/" + who + tag).c_str(), roundTrip, backend, build, true)
            ->Unit(benchmark::kMicrosecond);
        RegisterBenchmark(("SmallCalls/8clients/" + who + tag).c_str(), concurrentClients, backend, build, false)
            ->Threads(8)
            ->UseRealTime()
            ->Unit(benchmark::kMicrosecond);
        RegisterBenchmark(("EmptyCalls/8clients/" + who + tag).c_str(), concurrentClients, backend, build, true)
            ->Threads(8)
            ->UseRealTime()
            ->Unit(benchmark::kMicrosecond);
    }
    RegisterBenchmark(("SetTipOperOneRow/endToEnd/" + tag).c_str(), setTipOperOneRow, backend, Build::Current)
        ->Unit(benchmark::kMicrosecond);
    if (preHistoryExecutable())
        RegisterBenchmark(("SetTipOperOneRow/endToEnd/prehistory/" + tag).c_str(), setTipOperOneRow, backend,
                          Build::PreHistory)
            ->Unit(benchmark::kMicrosecond);
    RegisterBenchmark(("GetHistTipOper1000/endToEnd/" + tag).c_str(), getHistTipOper, backend, true)
        ->Unit(benchmark::kMillisecond);
    RegisterBenchmark(("GetHistTipOper1000/floorGetMensTipoOper/" + tag).c_str(), getHistTipOper, backend, false)
        ->Unit(benchmark::kMillisecond);
    RegisterBenchmark(("SetTipOperOneRow/updateInProcess/" + tag).c_str(), updateInProcess, backend)
        ->Unit(benchmark::kMicrosecond);
    RegisterBenchmark(("Login/" + tag).c_str(), login, backend)->Unit(benchmark::kMillisecond)->Iterations(20);
    RegisterBenchmark(("ThousandConnections/" + tag).c_str(), thousandConnections, backend)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(3)
        ->UseRealTime();
}

} // namespace

int main(int argc, char** argv) {
    registerAll(harness::Backend::Sqlite, "sqlite");
    if (harness::TestDatabase::create(harness::Backend::Postgresql))
        registerAll(harness::Backend::Postgresql, "postgresql");
    benchmark::RegisterBenchmark("FourHugeLines/current", fourHugeLines, Build::Current)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(1)
        ->UseRealTime();
    if (baselineExecutable())
        benchmark::RegisterBenchmark("FourHugeLines/baseline", fourHugeLines, Build::Baseline)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1)
            ->Repetitions(1)
            ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    setups().clear();
    return 0;
}
