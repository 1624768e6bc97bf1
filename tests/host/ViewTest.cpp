// What a session shows of a screen: the toolkit's snapshot of its form, with each control's place
// (creation index, tab order, bounds) and the unit's reviewed variables.

#include "TestScreen.h"
#include "host/ModuleScreen.h"
#include "toolkit/Application.h"
#include "toolkit/Form.h"
#include "toolkit/Snapshot.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace hosttest {
namespace {

using nlohmann::json;

json view(tk::Snapshot& snapshot, const host::ModuleScreen& screen, bool rows) {
    snapshot.record(screen.form(), screen.unit());
    std::string out;
    snapshot.write(out, std::nullopt, rows ? screen.form() : nullptr);
    return json::parse(out);
}

TEST(ModuleScreenView, IsTheToolkitSnapshotPlusPlacement) {
    tk::Application app;
    tk::Application::Scope scope(app);
    host::ModuleScreen screen(testModule(std::make_shared<Journal>()), host::Identity{});
    screen.start();
    tk::Snapshot snapshot(tk::Snapshot::Options{{"boStCriado", "stDocOrigem", "stCampoNull"}, {}});

    json before = view(snapshot, screen, false);
    EXPECT_TRUE(before["controls"].empty());
    EXPECT_TRUE(before["activePage"].is_null());
    EXPECT_TRUE(before["focus"].is_null());
    // The unit's variables in the order asked, null for one it lacks, nothing else.
    EXPECT_EQ(before["unit"], json::parse(R"({"boStCriado":false,"stDocOrigem":"","stCampoNull":null})"));

    host::Event open;
    open.type = host::EventType::Open;
    ASSERT_EQ(screen.act(open).status, host::ActResult::Status::Ok);
    host::Event move;
    move.type = host::EventType::Move;
    move.dataSet = "cdsDados";
    move.recNo = 2;
    ASSERT_EQ(screen.act(move).status, host::ActResult::Status::Ok);

    for (bool rows : {false, true}) {
        json seen = view(snapshot, screen, rows);
        const tk::Form& form = *app.forms().front();
        json expected = json::parse(tk::Snapshot::of(form, rows));
        int index = 0;
        for (const auto& c : form.controls())
            EXPECT_EQ(seen["controls"][c->name()]["index"], index++) << c->name();
        EXPECT_EQ(seen["controls"], expected["controls"]);
        EXPECT_EQ(seen["activePage"], "tshUm");
        EXPECT_EQ(seen["activePage"], expected["activePage"]);
        EXPECT_EQ(seen["focus"], expected["focus"]);
        EXPECT_EQ(seen["datasets"], expected["datasets"]);
        EXPECT_EQ(seen["datasets"]["cdsDados"].contains("rows"), rows);
    }
    json placed = view(snapshot, screen, false)["controls"];
    EXPECT_EQ(placed["lblResultado"]["bounds"],
              json::parse(R"({"left":8,"top":40,"width":200,"height":13})"));
    EXPECT_FALSE(placed["cbbTipo"].contains("bounds"));
    EXPECT_EQ(placed["cbbTipo"]["tabIndex"], 0);              // the first control that takes the focus
    EXPECT_TRUE(placed["sbtPergunta"]["tabIndex"].is_null()); // buttons never take it
    EXPECT_EQ(placed["dbeNome"]["dataSet"], "cdsDados");      // data-bound controls name their dataset
    EXPECT_FALSE(placed["cbbTipo"].contains("dataSet"));
    screen.stop();
}

} // namespace
} // namespace hosttest
