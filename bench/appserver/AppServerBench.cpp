// End-to-end costs of the application server beside their floors, on SQLite and, when TIPOPER_TEST_PG
// names a server, on PostgreSQL:
//   GetTipOper of 1,000 rows      vs  the same query in-process (database library bulk fetch, and the
//                                     server's own packet path without the network); the client's parse
//                                     of the answer is reported apart
//   GetMensTipoOper round trip    vs  an empty call (connect on a connected session); p50/p99 counters
//   8 clients of small calls      vs  8 clients of empty calls (items_per_second)
//   one-row SetTipOper            vs  the same UPDATE through the database library in-process

#include "Catalog.h"
#include "Database.h"
#include "DatabaseUrl.h"
#include "Harness.h"
#include "Store.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <soci/soci.h>

using harness::json;

namespace {

constexpr std::size_t kRows = 1000;

struct Setup {
    std::optional<harness::TestDatabase> db;
    std::unique_ptr<harness::ServerProcess> server;
};

std::map<harness::Backend, Setup>& setups() {
    static std::map<harness::Backend, Setup> s;
    return s;
}

// A server on a demo database grown to 1,000 operation types of kind "E".
Setup& setup(harness::Backend backend) {
    auto& s = setups()[backend];
    if (s.server) return s;
    s.db.emplace(*harness::TestDatabase::create(backend));
    s.server = std::make_unique<harness::ServerProcess>(
        std::vector<std::string>{"--db", s.db->url(), "--demo", "--log-level", "warn"});
    harness::RpcClient c(s.server->port());
    c.connect();
    const json packet = c.call("GetTipOper", {"E"})["result"];
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
    const json answer = c.call("SetTipOper", {{{"changes", list}}, ""});
    if (!answer.contains("result")) std::fprintf(stderr, "carga falhou: %s\n", answer.dump().c_str());
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
    harness::RpcClient c(setup(backend).server->port());
    c.connect();
    std::size_t rows = 0;
    for (auto _ : state) {
        const json answer = c.call("GetTipOper", {"E"});
        rows = answer["result"]["rows"].size();
    }
    state.counters["rows"] = static_cast<double>(rows);
}

// End to end as the server is concerned: the request written and the whole answer line received. The
// client's own JSON parse of 410 kB (a cost of the client's library, not of the server) is measured apart.
void getTipOperWire(benchmark::State& state, harness::Backend backend) {
    harness::RpcClient c(setup(backend).server->port());
    c.connect();
    const std::string request = R"({"jsonrpc":"2.0","id":1,"method":"GetTipOper","params":["E"]})"
                                "\n";
    std::size_t bytes = 0;
    for (auto _ : state) {
        c.send(request);
        bytes = c.readLine().size();
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

void roundTrip(benchmark::State& state, harness::Backend backend, bool empty) {
    harness::RpcClient c(setup(backend).server->port());
    c.connect();
    std::vector<double> micros;
    micros.reserve(1 << 16);
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const json answer = empty ? c.connect() : c.call("GetMensTipoOper", {"01", "S"});
        micros.push_back(elapsedMicros(t0));
        benchmark::DoNotOptimize(answer);
    }
    percentiles(state, micros);
}

void concurrentClients(benchmark::State& state, harness::Backend backend, bool empty) {
    harness::RpcClient c(setup(backend).server->port());
    c.connect();
    const char* codes[] = {"01", "02", "03", "04", "05", "06"};
    std::size_t n = static_cast<std::size_t>(state.thread_index());
    for (auto _ : state) {
        const json answer = empty ? c.connect() : c.call("GetMensTipoOper", {codes[n++ % 6], "S"});
        benchmark::DoNotOptimize(answer);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

// --- one-row SetTipOper ---------------------------------------------------------------------------------

void setTipOperOneRow(benchmark::State& state, harness::Backend backend) {
    harness::RpcClient c(setup(backend).server->port());
    c.connect();
    json current = harness::findRecord(c.call("GetTipOper", {"E"})["result"], "CDTIPOOPER", "01");
    std::vector<double> micros;
    int n = 0;
    for (auto _ : state) {
        json next = current;
        next["NMTIPOOPER"] = "Alterado " + std::to_string(n++);
        const auto t0 = std::chrono::steady_clock::now();
        const json answer = c.call("SetTipOper", {harness::changes({harness::modify(current, next)}), ""});
        micros.push_back(elapsedMicros(t0));
        if (!answer.contains("result")) {
            state.SkipWithError(answer.dump().c_str());
            break;
        }
        current = std::move(next);
    }
    percentiles(state, micros);
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

void registerAll(harness::Backend backend, const std::string& tag) {
    using benchmark::RegisterBenchmark;
    RegisterBenchmark(("GetTipOper1000/withClientJsonParse/" + tag).c_str(), getTipOperEndToEnd, backend)
        ->Unit(benchmark::kMillisecond);
    RegisterBenchmark(("GetTipOper1000/endToEnd/" + tag).c_str(), getTipOperWire, backend)
        ->Unit(benchmark::kMillisecond);
    RegisterBenchmark(("GetTipOper1000/serverPathInProcess/" + tag).c_str(), getTipOperStoreInProcess,
                      backend)
        ->Unit(benchmark::kMillisecond);
    RegisterBenchmark(("GetTipOper1000/libraryBulkFetchInProcess/" + tag).c_str(), getTipOperSociBulk,
                      backend)
        ->Unit(benchmark::kMillisecond);
    RegisterBenchmark(("GetMensTipoOper/roundTrip/" + tag).c_str(), roundTrip, backend, false)
        ->Unit(benchmark::kMicrosecond);
    RegisterBenchmark(("EmptyCall/roundTrip/" + tag).c_str(), roundTrip, backend, true)
        ->Unit(benchmark::kMicrosecond);
    RegisterBenchmark(("SmallCalls/8clients/" + tag).c_str(), concurrentClients, backend, false)
        ->Threads(8)
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);
    RegisterBenchmark(("EmptyCalls/8clients/" + tag).c_str(), concurrentClients, backend, true)
        ->Threads(8)
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);
    RegisterBenchmark(("SetTipOperOneRow/endToEnd/" + tag).c_str(), setTipOperOneRow, backend)
        ->Unit(benchmark::kMicrosecond);
    RegisterBenchmark(("SetTipOperOneRow/updateInProcess/" + tag).c_str(), updateInProcess, backend)
        ->Unit(benchmark::kMicrosecond);
}

} // namespace

int main(int argc, char** argv) {
    registerAll(harness::Backend::Sqlite, "sqlite");
    if (harness::TestDatabase::create(harness::Backend::Postgresql))
        registerAll(harness::Backend::Postgresql, "postgresql");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    setups().clear();
    return 0;
}
