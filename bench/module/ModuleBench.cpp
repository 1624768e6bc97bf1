// A record move on the screen as the user makes it: the bound controls show the record, the display
// rules run, and (with the server) the record's messages are reloaded from the real application
// server on loopback. Reports the median and the 99th percentile of single moves.

#include "AppServerProcess.h"
#include "ScriptedDialogs.h"
#include "lib/Database.h"
#include "lib/Morvala.h"
#include "shell/TfrmTipOper.h"
#include "shell/Toolkit.h"
#include "toolkit/Application.h"
#include "toolkit/Input.h"
#include "toolkit/Snapshot.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <memory>
#include <soci/soci.h>

extern "C" void IniProc();
extern "C" void Initialize();

namespace {

struct Screen {
    testing_support::AppServerProcess server{true};
    tk::Application app;
    ScriptedDialogs dialogs;
    Cli_ger06600::TfrmTipOper* form = nullptr;

    Screen() {
        Morvala::setHostConfig(server.hostConfig());
        tk::Application::Scope scope(app);
        app.setDialogs(&dialogs);
        Initialize();
        IniProc();
        form = Cli_ger06600::Globals().frmTipOper;
        (void)tk::Input::focus(*form, "cbbEntSaid");
        (void)tk::Input::focus(*form, "dbgPadrao");
    }
};

Screen& screen() {
    static Screen s;
    return s;
}

void runMoves(benchmark::State& state, bool withServer) {
    Screen& s = screen();
    tk::Application::Scope scope(s.app);
    auto& set = s.form->cdsTipOper;
    auto saved = set.afterScroll;
    if (!withServer) set.afterScroll = [&](tk::DataSet&) { s.form->ShowRecordRules(); };
    const int rows = set.recordCount();
    std::vector<double> samples;
    samples.reserve(100000);
    int rec = 1;
    for (auto _ : state) {
        rec = rec % rows + 1;
        const auto t0 = std::chrono::steady_clock::now();
        set.moveTo(rec);
        const auto t1 = std::chrono::steady_clock::now();
        samples.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    set.afterScroll = saved;
    std::sort(samples.begin(), samples.end());
    if (!samples.empty()) {
        state.counters["p50_us"] = samples[samples.size() / 2];
        state.counters["p99_us"] = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
    }
    state.counters["records"] = rows;
}

void BM_RecordMoveWithMessageReload(benchmark::State& state) {
    runMoves(state, true);
}
void BM_RecordMoveWithoutServerCall(benchmark::State& state) {
    runMoves(state, false);
}

BENCHMARK(BM_RecordMoveWithMessageReload)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecordMoveWithoutServerCall)->Unit(benchmark::kMicrosecond);

// Building the screen from its definition: datasets, data sources, every control with its
// properties, and the binding of every handler (no connection: that is the create handler's).
void BM_BuildScreenFromDefinition(benchmark::State& state) {
    Screen& s = screen();
    tk::Application::Scope scope(s.app);
    Cli_ger06600::UnitGlobals unit;
    for (auto _ : state) {
        Cli_ger06600::TfrmTipOper form(unit);
        benchmark::DoNotOptimize(form.controls().size());
    }
    state.counters["controls"] = static_cast<double>(s.form->controls().size());
}
BENCHMARK(BM_BuildScreenFromDefinition)->Unit(benchmark::kMillisecond);

// What a move's answer costs on top of the move: recording the whole screen and writing the delta.
void BM_SnapshotOfAMove(benchmark::State& state) {
    Screen& s = screen();
    tk::Application::Scope scope(s.app);
    auto& set = s.form->cdsTipOper;
    auto saved = set.afterScroll;
    set.afterScroll = [&](tk::DataSet&) { s.form->ShowRecordRules(); };
    tk::Snapshot snapshot;
    std::uint64_t version = snapshot.record(s.form, nullptr);
    const int rows = set.recordCount();
    int rec = 1;
    std::size_t bytes = 0;
    std::string out;
    for (auto _ : state) {
        state.PauseTiming();
        rec = rec % rows + 1;
        set.moveTo(rec);
        state.ResumeTiming();
        const std::uint64_t next = snapshot.record(s.form, nullptr);
        out.clear();
        snapshot.write(out, version);
        version = next;
        bytes += out.size();
    }
    set.afterScroll = saved;
    state.counters["bytes"] =
        benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_SnapshotOfAMove)->Unit(benchmark::kMicrosecond);

// Recording the screen when nothing changed: the fixed cost of telling what changed.
void BM_RecordUnchanged(benchmark::State& state) {
    Screen& s = screen();
    tk::Application::Scope scope(s.app);
    tk::Snapshot snapshot;
    snapshot.record(s.form, nullptr);
    for (auto _ : state)
        benchmark::DoNotOptimize(snapshot.record(s.form, nullptr));
}
BENCHMARK(BM_RecordUnchanged)->Unit(benchmark::kMicrosecond);

// Leaving the filter on a kind of 949 operation types: both loads of the list, the rules of the first
// record, and the answer with every row, as the renderer asks it.
void BM_LeaveFilterOnALargeKind(benchmark::State& state) {
    Screen& s = screen();
    tk::Application::Scope scope(s.app);
    {
        lib::Database db(s.server.dbUrl());
        soci::session& sql = db.session();
        sql << "CREATE TEMP TABLE modelo AS SELECT * FROM TIPOOPERAC WHERE IDENTRSAIDOP = 'E' LIMIT 1";
        static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        long long have = 0;
        sql << "SELECT COUNT(*) FROM TIPOOPERAC WHERE IDENTRSAIDOP = 'E'", soci::into(have);
        std::string code, name;
        soci::statement rename = (sql.prepare << "UPDATE modelo SET CDTIPOOPER = :c, NMTIPOOPER = :n",
                                  soci::use(code, "c"), soci::use(name, "n"));
        soci::statement copy = (sql.prepare << "INSERT OR IGNORE INTO TIPOOPERAC SELECT * FROM modelo");
        soci::transaction tx(sql);
        for (int i = 0; have < 949 && i < 36 * 36; ++i) {
            code = {kAlphabet[i / 36], kAlphabet[i % 36]};
            name = "Tipo de operação gerado " + code;
            rename.execute(true);
            copy.execute(true);
            have += copy.get_affected_rows();
        }
        tx.commit();
    }
    tk::Snapshot snapshot;
    std::string out;
    std::vector<double> acts, answers;
    for (auto _ : state) {
        (void)tk::Input::focus(*s.form, "cbbEntSaid");
        if (s.form->cbbEntSaid->itemIndex() != 0) (void)tk::Input::pick(*s.form, "cbbEntSaid", 0);
        snapshot.record(s.form, nullptr);
        const std::uint64_t before = snapshot.version();
        const auto t0 = std::chrono::steady_clock::now();
        (void)tk::Input::focus(*s.form, "dbgPadrao");
        const auto t1 = std::chrono::steady_clock::now();
        snapshot.record(s.form, nullptr);
        out.clear();
        snapshot.write(out, before, s.form);
        const auto t2 = std::chrono::steady_clock::now();
        acts.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        answers.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
    }
    std::sort(acts.begin(), acts.end());
    std::sort(answers.begin(), answers.end());
    state.counters["records"] = s.form->cdsTipOper.recordCount();
    state.counters["act_ms"] = acts[acts.size() / 2];
    state.counters["answer_ms"] = answers[answers.size() / 2];
    state.counters["bytes"] = static_cast<double>(out.size());
}
BENCHMARK(BM_LeaveFilterOnALargeKind)->Unit(benchmark::kMillisecond);

// The whole snapshot of the screen, as a reader without a version gets it.
void BM_WholeSnapshot(benchmark::State& state) {
    Screen& s = screen();
    tk::Application::Scope scope(s.app);
    tk::Snapshot snapshot;
    snapshot.record(s.form, nullptr);
    std::string out;
    for (auto _ : state) {
        out.clear();
        snapshot.write(out);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = static_cast<double>(out.size());
}
BENCHMARK(BM_WholeSnapshot)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
