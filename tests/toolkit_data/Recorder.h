#pragma once

// A dataset wired to a recorder: every event, state change and link notification is logged as one
// line, so tests can assert the exact order the screen's rules depend on.

#include "toolkit/DataSet.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace wire {
// Readable failures for whole rows.
inline void PrintTo(const Row& row, std::ostream* out) {
    *out << "{";
    for (const auto& [name, value] : row.values)
        *out << name << "=" << (value ? '"' + *value + '"' : "null") << " ";
    *out << "}";
}
} // namespace wire

namespace tktest {

using tk::DataSet;
using tk::DataSetState;
using tk::Field;
using tk::Value;

struct Recorder {
    std::vector<std::string> lines;
    std::vector<std::string> take() {
        auto out = std::move(lines);
        lines.clear();
        return out;
    }
};

class RecordingLink : public tk::DataLink {
public:
    RecordingLink(Recorder& rec, std::string field = {}) : rec_(rec), field_(std::move(field)) {}
    void recordChanged(const Field* field) override {
        rec_.lines.push_back("link.recordChanged(" + (field ? field->name() : std::string("*")) + ")");
    }
    void updateData() override {
        rec_.lines.push_back("link.updateData");
        if (pending) {
            auto [field, value] = *pending;
            pending.reset();
            field->setValue(value);
        }
    }
    const std::string& fieldName() const override { return field_; }
    // A link bound to no field stands for a grid, which shows several.
    bool selectsFields() const override { return field_.empty(); }
    void focusField(const Field& field) override { rec_.lines.push_back("focus(" + field.name() + ")"); }

    // A value the "user typed", written back at the next updateData.
    std::optional<std::pair<Field*, Value>> pending;

private:
    Recorder& rec_;
    std::string field_;
};

// CODE (2, index), NAME (10), FLAG (1).
class DataSetFixture : public ::testing::Test {
protected:
    DataSetFixture() : ds("cds"), dts("dts"), link(rec) {
        ds.addField("CODE", 2);
        ds.addField("NAME", 10);
        ds.addField("FLAG", 1);
        ds.setIndexFieldName("CODE");
        dts.setDataSet(&ds);
        dts.addLink(&link);
        dts.onStateChange = [this](tk::DataSource& s) {
            rec.lines.push_back(std::string("stateChange:") + tk::toString(s.state()));
        };
        auto on = [this](const char* name) { return [this, name](DataSet&) { rec.lines.push_back(name); }; };
        ds.afterOpen = on("afterOpen");
        ds.afterClose = on("afterClose");
        ds.beforePost = on("beforePost");
        ds.afterPost = on("afterPost");
        ds.afterScroll = [this](DataSet& d) { rec.lines.push_back("afterScroll:" + code(d)); };
        ds.onNewRecord = on("onNewRecord");
        ds.afterInsert = on("afterInsert");
        ds.afterEdit = on("afterEdit");
        ds.afterCancel = on("afterCancel");
        ds.beforeDelete = on("beforeDelete");
        ds.afterDelete = on("afterDelete");
    }

    static std::string code(DataSet& d) { return d.fieldByName("CODE").value().value_or("<null>"); }

    static wire::DataPacket packet(std::vector<std::vector<Value>> rows) {
        wire::DataPacket p;
        p.fields = {{"CODE", "string", 2}, {"NAME", "string", 10}, {"FLAG", "string", 1}};
        p.rows = std::move(rows);
        return p;
    }
    // Rows "01".."03" named A..C, flag "S", then the log cleared.
    void load() {
        ds.setData(packet({{"03", "C", "S"}, {"01", "A", "S"}, {"02", "B", "S"}}));
        rec.take();
    }
    std::vector<std::string> codes() {
        std::vector<std::string> out;
        for (int r = 0; r < ds.recordCount(); ++r)
            out.push_back(ds.valueAt(r, 0).value_or("<null>"));
        return out;
    }
    Field& f(const char* name) { return ds.fieldByName(name); }

    Recorder rec;
    DataSet ds;
    tk::DataSource dts;
    RecordingLink link;
};

using Lines = std::vector<std::string>;

} // namespace tktest
