// The session's view of a screen is the toolkit's snapshot, written directly as text for speed, plus
// the members the renderer uses to place controls. A divergence between the two writers fails here.

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

TEST(ModuleScreenView, IsTheToolkitSnapshotPlusPlacement) {
    tk::Application app;
    tk::Application::Scope scope(app);
    host::ModuleScreen screen(testModule(std::make_shared<Journal>()), host::Identity{});
    screen.start();

    json before = json::parse(screen.view(false));
    EXPECT_TRUE(before["controls"].empty());
    EXPECT_TRUE(before["activePage"].is_null());
    EXPECT_TRUE(before["focus"].is_null());
    EXPECT_EQ(before["unit"]["boStCriado"], false);

    host::Event open;
    open.type = host::EventType::Open;
    ASSERT_EQ(screen.act(open).status, host::ActResult::Status::Ok);
    host::Event move;
    move.type = host::EventType::Move;
    move.dataSet = "cdsDados";
    move.recNo = 2;
    ASSERT_EQ(screen.act(move).status, host::ActResult::Status::Ok);

    for (bool rows : {false, true}) {
        json view = json::parse(screen.view(rows));
        const tk::Form& form = *app.forms().front();
        json expected = tk::Snapshot::of(form, rows);
        int index = 0;
        for (const auto& c : form.controls()) {
            json& entry = view["controls"][c->name()];
            EXPECT_EQ(entry["index"], index++) << c->name();
            for (const char* extra : {"index", "tabIndex", "dataSet"})
                entry.erase(extra);
        }
        EXPECT_EQ(view["controls"], expected["controls"]);
        EXPECT_EQ(view["activePage"], "tshUm");
        EXPECT_EQ(view["activePage"], expected["activePage"]);
        EXPECT_EQ(view["focus"], expected["focus"]);
        EXPECT_EQ(view["datasets"], expected["datasets"]);
    }
    json placed = json::parse(screen.view(false))["controls"];
    EXPECT_EQ(placed["lblResultado"]["bounds"],
              json::parse(R"({"left":8,"top":40,"width":200,"height":13})"));
    EXPECT_FALSE(placed["cbbTipo"].contains("bounds"));
    EXPECT_EQ(placed["cbbTipo"]["tabIndex"], 0);              // the first control that takes the focus
    EXPECT_TRUE(placed["sbtPergunta"]["tabIndex"].is_null()); // buttons never take it
    screen.stop();
}

} // namespace
} // namespace hosttest
