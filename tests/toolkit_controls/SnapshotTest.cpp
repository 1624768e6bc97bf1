// The snapshot writer: a delta holds exactly what changed, and the previous whole snapshot with the
// delta applied is the whole snapshot now, for readers at any version since the last change of shape.

#include "toolkit/Snapshot.h"

#include "ScreenFixture.h"
#include "SnapshotMerge.h"
#include "toolkit/Application.h"
#include "toolkit/DBCheckBox.h"
#include "toolkit/DBEdit.h"
#include "toolkit/DBGrid.h"
#include "toolkit/JsonText.h"
#include "toolkit/Label.h"
#include "toolkit/MemberSink.h"

#include <functional>
#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

class SnapshotTest : public ScreenFixture {
protected:
    tk::TDBEdit& name = form.add<tk::TDBEdit>("dbeNome");
    tk::TDBCheckBox& flag = form.add<tk::TDBCheckBox>("dckFlag");
    tk::TDBGrid& grid = form.add<tk::TDBGrid>("dbgLinhas");
    tk::TLabel& label = form.add<tk::TLabel>("lblAviso");
    tk::Snapshot snapshot{tk::Snapshot::Options{{}, {"dialog"}}};
    std::string dialog = "null";

    SnapshotTest() {
        name.setDataSource(&dts);
        name.setDataField("NOME");
        flag.setDataSource(&dts);
        flag.setDataField("FLAG");
        grid.setDataSource(&dts);
        grid.setColumns({{"CODIGO", "Código", 40}, {"NOME", "Nome", 100}});
        load({{"01", "um", "S", "F"}, {"02", "dois", "N", "C"}, {"03", "três", "S", "L"}});
    }

    std::uint64_t record() {
        const tk::Snapshot::Member members[] = {{"dialog", dialog}, {"result", "\"done\""}};
        return snapshot.record(&form, nullptr, members);
    }
    json write(std::optional<std::uint64_t> since, bool rows = true) {
        std::string out;
        snapshot.write(out, since, rows ? &form : nullptr);
        return json::parse(out);
    }
};

TEST_F(SnapshotTest, ADeltaHoldsOnlyWhatChangedAndTheAlwaysMembers) {
    const std::uint64_t v1 = record();
    EXPECT_EQ(record(), v1) << "nothing changed, so the version stays";
    EXPECT_EQ(write(v1, false), json::parse(R"({"version":)" + std::to_string(v1) + R"(,"base":)" +
                                            std::to_string(v1) + R"(,"dialog":null})"));

    label.setCaption("Atenção");
    cds.moveTo(2);
    const std::uint64_t v2 = record();
    EXPECT_GT(v2, v1);
    const json delta = write(v1, false);
    EXPECT_EQ(delta["base"], v1);
    EXPECT_EQ(delta["controls"]["lblAviso"], json::parse(R"({"caption":"Atenção"})"));
    // The edit shows another text and the box another check; the grid its current cell.
    EXPECT_EQ(delta["controls"]["dbeNome"], json::parse(R"({"text":"dois","displayText":"dois"})"));
    EXPECT_EQ(delta["controls"]["dckFlag"], json::parse(R"({"checked":false})"));
    EXPECT_EQ(delta["datasets"]["cdsTeste"],
              json::parse(R"({"recNo":2,"current":{"CODIGO":"02","NOME":"dois","FLAG":"N","ORIGEM":"C"}})"));
    EXPECT_FALSE(delta.contains("focus"));
    EXPECT_FALSE(delta.contains("result"));
    EXPECT_EQ(delta.size(), 5u) << delta.dump(); // version, base, dialog, controls, datasets
}

TEST_F(SnapshotTest, ThePreviousWholeWithTheDeltaIsTheWholeForEveryReader) {
    struct Step {
        const char* what;
        std::function<void()> act;
    };
    const std::vector<Step> steps{
        {"move", [&] { cds.moveTo(3); }},
        {"edit and assign",
         [&] {
             cds.edit();
             cds.fieldByName("NOME").setAsString("trocado");
         }},
        {"post", [&] { cds.post(); }},
        {"insert in the middle",
         [&] {
             cds.moveTo(2);
             cds.insert();
             cds.fieldByName("CODIGO").setAsString("9");
         }},
        {"cancel the insert", [&] { cds.cancel(); }},
        {"delete", [&] { cds.remove(); }},
        {"a mask and a caption",
         [&] {
             cds.fieldByName("CODIGO").setEditMask("99;0;_");
             label.setCaption("outro");
         }},
        {"the session's own member", [&] { dialog = R"({"kind":"confirm","text":"Excluir?"})"; }},
        {"a new packet, shorter",
         [&] {
             load({{"07", "sete", "N", "F"}});
         }},
        {"close", [&] { cds.close(); }},
        {"open on rows again",
         [&] {
             load({{"01", "um", "S", "F"}, {"02", "dois", "N", "C"}});
         }},
    };
    for (bool rows : {false, true}) {
        SCOPED_TRACE(rows ? "with rows" : "without rows");
        std::vector<std::pair<std::uint64_t, json>> readers; // each reader's version and whole state
        const std::uint64_t first = record();
        readers.emplace_back(first, write(std::nullopt, rows));
        for (const auto& step : steps) {
            SCOPED_TRACE(step.what);
            step.act();
            record();
            const json whole = write(std::nullopt, rows);
            for (auto& [version, seen] : readers) {
                const json delta = write(version, rows);
                ASSERT_EQ(delta["base"], version);
                json now = snapshot_test::merged(seen, delta);
                EXPECT_EQ(now, whole) << "from version " << version << ": " << delta.dump();
            }
            // A new reader joins at every step; the first one never moves on.
            readers.emplace_back(whole["version"].get<std::uint64_t>(), whole);
        }
        dialog = "null";
        load({{"01", "um", "S", "F"}, {"02", "dois", "N", "C"}, {"03", "três", "S", "L"}});
        record();
    }
}

TEST_F(SnapshotTest, RowsComeByIndexOnlyWhenTheirContentChanged) {
    const std::uint64_t v1 = record();
    cds.moveTo(3);
    record();
    EXPECT_FALSE(write(v1)["datasets"]["cdsTeste"].contains("rows")) << "a move changes no row";
    const std::uint64_t v2 = record();
    cds.edit();
    cds.fieldByName("NOME").setAsString("mudou");
    record();
    EXPECT_EQ(write(v2)["datasets"]["cdsTeste"]["rows"],
              json::parse(R"({"2":{"CODIGO":"03","NOME":"mudou","FLAG":"S","ORIGEM":"L"}})"));
    cds.cancel();
    const std::uint64_t v3 = record();
    cds.moveTo(1);
    cds.remove(); // every row after the first moves up one
    record();
    const json rows = write(v3)["datasets"]["cdsTeste"]["rows"];
    EXPECT_EQ(rows.size(), 2u) << rows.dump();
    EXPECT_EQ(rows["0"]["CODIGO"], "02");
    EXPECT_EQ(rows["1"]["CODIGO"], "03");
}

TEST_F(SnapshotTest, AVersionThatCannotBeAnsweredGetsTheWhole) {
    const std::uint64_t v1 = record();
    struct Case {
        const char* what;
        std::function<std::optional<std::uint64_t>()> since;
    };
    const std::vector<Case> cases{
        {"a version not given yet", [&] { return v1 + 10; }},
        {"a version of before the form was added",
         [&]() -> std::optional<std::uint64_t> {
             tk::Form other("frmOutro");
             tk::Snapshot fresh;
             fresh.record(nullptr, nullptr);
             const std::uint64_t before = fresh.version();
             fresh.record(&other, nullptr);
             std::string out;
             fresh.write(out, before);
             EXPECT_TRUE(json::parse(out)["base"].is_null());
             return std::nullopt;
         }},
        {"a version of before a control appeared",
         [&] {
             form.add<tk::TLabel>("lblNovo");
             record();
             return std::optional<std::uint64_t>(v1);
         }},
        {"a version of before a member appeared",
         [&] {
             const std::uint64_t before = record();
             label.setHint("dica"); // the hint is shown only when set
             record();
             return std::optional<std::uint64_t>(before);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto since = c.since();
        if (!since) continue;
        const json answer = write(*since, false);
        EXPECT_TRUE(answer["base"].is_null());
        EXPECT_TRUE(answer.contains("controls") && answer.contains("datasets") && answer.contains("focus"));
        EXPECT_FALSE(snapshot.answers(*since));
    }
}

TEST_F(SnapshotTest, AMemberRecordedAloneMovesTheVersionAndAReaderCanStayPut) {
    const std::uint64_t v1 = record();
    const std::uint64_t v2 = snapshot.recordMember("dialog", R"({"kind":"error"})");
    EXPECT_EQ(v2, v1 + 1);
    EXPECT_EQ(snapshot.recordMember("dialog", R"({"kind":"error"})"), v2) << "the same value again";
    std::string out;
    const std::string_view none[] = {"result"};
    snapshot.writeOnly(out, v1, none);
    // The reader stays at its version and sees the always members and those named.
    EXPECT_EQ(json::parse(out),
              json::parse(R"({"version":)" + std::to_string(v1) + R"(,"base":)" + std::to_string(v1) +
                          R"(,"dialog":{"kind":"error"},"result":"done"})"));
    // What it was shown meanwhile comes again with the next delta it asks for.
    dialog = "null";
    record();
    EXPECT_TRUE(write(v1, false)["dialog"].is_null());
}

struct Unit final : tk::UnitState {
    void describe(tk::MemberSink& out) const override {
        out.text("stDocOrigem", "E-01");
        out.boolean("boStCriado", true);
        out.integer("outro", 3);
    }
};

TEST(SnapshotUnit, ShowsTheNamedVariablesInOrderAndNullForMissingOnes) {
    Unit unit;
    tk::Snapshot snapshot(tk::Snapshot::Options{{"boStCriado", "stDocOrigem", "stCampoNull"}, {}});
    snapshot.record(nullptr, &unit);
    std::string out;
    snapshot.write(out);
    const json whole = json::parse(out);
    EXPECT_EQ(whole["unit"], json::parse(R"({"boStCriado":true,"stDocOrigem":"E-01","stCampoNull":null})"));
    EXPECT_TRUE(whole["controls"].empty());
    EXPECT_TRUE(whole["focus"].is_null());

    tk::Snapshot all;
    all.record(nullptr, &unit);
    out.clear();
    all.write(out);
    EXPECT_EQ(json::parse(out)["unit"], json::parse(R"({"stDocOrigem":"E-01","boStCriado":true,"outro":3})"));
}

TEST(JsonText, StringsAreValidJsonAndValidUtf8WhateverTheBytes) {
    struct Case {
        std::string in;
        std::string out;
    };
    const std::vector<Case> cases{
        {"Saída", R"("Saída")"},
        {"a\"b\\c", R"("a\"b\\c")"},
        {"linha\nnova\ttab", R"("linha\nnova\ttab")"},
        {std::string("\x01\x1f", 2), R"("\u0001\u001f")"},
        {"\xE9t\xE9", "\"\xEF\xBF\xBDt\xEF\xBF\xBD\""},               // Latin-1 bytes
        {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                 // overlong
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""}, // a surrogate
        {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},                 // four bytes, kept
        {"fim\xE2\x82", "\"fim\xEF\xBF\xBD\xEF\xBF\xBD\""},           // cut short
    };
    for (const auto& c : cases) {
        std::string out;
        tk::json::appendString(out, c.in);
        EXPECT_EQ(out, c.out) << c.in;
        EXPECT_NO_THROW((void)json::parse(out).dump()) << c.in; // parses, and dumps as valid UTF-8
    }
}

} // namespace
