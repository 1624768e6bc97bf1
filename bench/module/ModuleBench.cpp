// A record move on the screen as the user makes it: the bound controls show the record, the display
// rules run, and (with the server) the record's messages are reloaded from the real application
// server on loopback. Reports the median and the 99th percentile of single moves.

#include "AppServerProcess.h"
#include "ScriptedDialogs.h"
#include "lib/Morvala.h"
#include "shell/TfrmTipOper.h"
#include "shell/Toolkit.h"
#include "toolkit/Application.h"
#include "toolkit/Input.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>

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

void BM_RecordMoveWithMessageReload(benchmark::State& state) { runMoves(state, true); }
void BM_RecordMoveWithoutServerCall(benchmark::State& state) { runMoves(state, false); }

BENCHMARK(BM_RecordMoveWithMessageReload)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecordMoveWithoutServerCall)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
