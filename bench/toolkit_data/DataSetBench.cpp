// Loading a full list of operation types and moving through it with the form's controls attached.

#include "toolkit/DataSet.h"

#include <benchmark/benchmark.h>
#include <string>
#include <vector>

namespace {

constexpr int kFields = 82;

// Sizes shaped like the operation-type record: mostly one-character flags, a few codes and names,
// one long list.
int fieldSize(int i) {
    if (i == 71) return 300;
    if (i % 12 == 5) return 50;
    if (i % 12 == 11) return 30;
    if (i % 9 == 2) return 2;
    return 1;
}

std::string valueFor(int row, int field) {
    const int size = fieldSize(field);
    if (size == 1) return (row + field) % 3 ? "S" : "N";
    if (size == 2) return std::to_string(10 + (row + field) % 90);
    std::string text = "Operação " + std::to_string(row) + " campo " + std::to_string(field);
    if (static_cast<int>(text.size()) > size) text.resize(static_cast<std::size_t>(size));
    return text;
}

wire::DataPacket makePacket(int rows) {
    wire::DataPacket p;
    for (int f = 0; f < kFields; ++f)
        p.fields.push_back({"F" + std::to_string(f), "string", fieldSize(f)});
    p.rows.reserve(static_cast<std::size_t>(rows));
    for (int r = 0; r < rows; ++r) {
        std::vector<wire::Value> row;
        row.reserve(kFields);
        for (int f = 0; f < kFields; ++f)
            row.emplace_back(valueFor(r, f));
        // The key field (index 11) is a unique, ordered code.
        row[11] = std::to_string(100000 + r);
        p.rows.push_back(std::move(row));
    }
    return p;
}

void define(tk::DataSet& ds) {
    for (int f = 0; f < kFields; ++f)
        ds.addField("F" + std::to_string(f), f == 11 ? 10 : fieldSize(f));
    ds.setIndexFieldName("F11");
}

class NullLink : public tk::DataLink {
public:
    void recordChanged(const tk::Field*) override { ++changes; }
    const std::string& fieldName() const override { return name_; }
    void focusField(const tk::Field&) override {}
    long changes = 0;

private:
    std::string name_;
};

// A link that reads its field's value, as a bound edit does when the record changes.
class ReadingLink : public tk::DataLink {
public:
    explicit ReadingLink(tk::Field& field) : field_(field) {}
    void recordChanged(const tk::Field*) override { benchmark::DoNotOptimize(field_.asString()); }
    const std::string& fieldName() const override { return field_.name(); }
    void focusField(const tk::Field&) override {}

private:
    tk::Field& field_;
};

void BM_SetData10k(benchmark::State& state) {
    const auto packet = makePacket(static_cast<int>(state.range(0)));
    tk::DataSet ds("cdsTipOper");
    define(ds);
    tk::DataSource dts("dtsPadrao");
    NullLink link;
    dts.addLink(&link);
    dts.setDataSet(&ds);
    for (auto _ : state)
        ds.setData(packet);
    state.counters["bytesPerRow"] =
        static_cast<double>(ds.memoryBytes()) / static_cast<double>(ds.recordCount());
}
BENCHMARK(BM_SetData10k)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_MoveWith82Links(benchmark::State& state) {
    tk::DataSet ds("cdsTipOper");
    define(ds);
    tk::DataSource dts("dtsPadrao");
    std::vector<std::unique_ptr<ReadingLink>> links;
    for (const auto& f : ds.fields()) {
        links.push_back(std::make_unique<ReadingLink>(*f));
        dts.addLink(links.back().get());
    }
    dts.setDataSet(&ds);
    ds.setData(makePacket(10000));
    long scrolls = 0;
    ds.afterScroll = [&](tk::DataSet&) { ++scrolls; };
    int target = 1;
    for (auto _ : state) {
        target = target * 7919 % 10000 + 1;
        ds.moveTo(target);
    }
    benchmark::DoNotOptimize(scrolls);
}
BENCHMARK(BM_MoveWith82Links);

void BM_MoveBare(benchmark::State& state) {
    tk::DataSet ds("cdsTipOper");
    define(ds);
    ds.setData(makePacket(10000));
    int target = 1;
    for (auto _ : state) {
        target = target * 7919 % 10000 + 1;
        ds.moveTo(target);
    }
}
BENCHMARK(BM_MoveBare);

void BM_EditPost(benchmark::State& state) {
    tk::DataSet ds("cdsTipOper");
    define(ds);
    ds.setData(makePacket(10000));
    ds.moveTo(5000);
    tk::Field& name = ds.fieldByName("F17");
    int n = 0;
    for (auto _ : state) {
        ds.edit();
        name.setValue("nome " + std::to_string(n++ % 50));
        ds.post();
    }
}
BENCHMARK(BM_EditPost);

} // namespace

BENCHMARK_MAIN();
