// A form shaped like the operation-type screen: 82 bound controls over an 82-field dataset (mostly
// flag check boxes, some edits, two drop-down lists whose fields have get-text handlers).

#include "toolkit/DBCheckBox.h"
#include "toolkit/DBComboBox.h"
#include "toolkit/DBEdit.h"
#include "toolkit/Form.h"
#include "toolkit/GroupBox.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

constexpr int kFields = 82;
constexpr int kRows = 10000;
constexpr int kEdits = 10;
constexpr int kCombos = 2;
constexpr int kEditSizes[kEdits] = {2, 30, 20, 50, 10, 12, 40, 30, 50, 300};

struct Screen {
    tk::Form form{"frmBench"};
    tk::DataSet& cds = form.addDataSet("cdsBench");
    tk::DataSource& dts = form.addDataSource("dtsBench", &cds);
    wire::DataPacket packet;
    long clicks = 0;
    long changes = 0;

    Screen() {
        auto& group = form.add<tk::TGroupBox>("grbForm");
        for (int i = 0; i < kFields; ++i) {
            const std::string name = "F" + std::to_string(i);
            const bool edit = i < kEdits;
            const bool combo = !edit && i < kEdits + kCombos;
            const int size = edit ? kEditSizes[i] : 1;
            cds.addField(name, size);
            packet.fields.push_back({name, "string", size});
            if (edit) {
                auto& e = form.add<tk::TDBEdit>("dbe" + name, &group);
                e.setDataSource(&dts);
                e.setDataField(name);
                e.onChange = [this](tk::Control&) { ++changes; };
            } else if (combo) {
                cds.fieldByName(name).onGetText = [](tk::Field& f, std::string& text, bool) {
                    const std::string v = f.asString();
                    text = v == "F" ? "Fornecedor" : v == "C" ? "Cliente" : v == "L" ? "Filial" : "";
                };
                auto& c = form.add<tk::TDBComboBox>("dcb" + name, &group);
                c.setItems({"Fornecedor", "Cliente", "Filial"});
                c.setDataSource(&dts);
                c.setDataField(name);
            } else {
                auto& b = form.add<tk::TDBCheckBox>("dck" + name, &group);
                b.setDataSource(&dts);
                b.setDataField(name);
                b.onClick = [this](tk::Control&) { ++clicks; };
            }
        }
        packet.rows.reserve(kRows);
        for (int r = 0; r < kRows; ++r) {
            std::vector<tk::Value> row;
            row.reserve(kFields);
            for (int i = 0; i < kFields; ++i) {
                if (i < kEdits)
                    row.emplace_back(std::string(static_cast<std::size_t>(std::min(kEditSizes[i], 12)),
                                                 static_cast<char>('a' + (r + i) % 26)));
                else if (i < kEdits + kCombos)
                    row.emplace_back((r % 3 == 0) ? "F" : (r % 3 == 1) ? "C" : "L");
                else
                    row.emplace_back(((r + i) % 2 == 0) ? "S" : "N");
            }
            packet.rows.push_back(std::move(row));
        }
    }
};

void BM_SetDataWithControls(benchmark::State& state) {
    Screen screen;
    for (auto _ : state) {
        screen.cds.setData(screen.packet);
        benchmark::DoNotOptimize(screen.cds.recordCount());
    }
    state.counters["rows"] = kRows;
}
BENCHMARK(BM_SetDataWithControls)->Unit(benchmark::kMillisecond);

void BM_MoveWithControlsRefreshing(benchmark::State& state) {
    Screen screen;
    screen.cds.setData(screen.packet);
    int rec = 1;
    for (auto _ : state) {
        // Neighbouring rows differ in every flag and text, so every control changes what it shows.
        rec = rec == 1 ? 2 : 1;
        screen.cds.moveTo(rec);
    }
    benchmark::DoNotOptimize(screen.clicks);
    state.counters["clicksPerMove"] =
        benchmark::Counter(static_cast<double>(screen.clicks), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_MoveWithControlsRefreshing)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
