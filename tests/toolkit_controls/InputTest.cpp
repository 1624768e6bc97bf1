#include "toolkit/Input.h"

#include "ScreenFixture.h"
#include "toolkit/ComboBox.h"
#include "toolkit/DBCheckBox.h"
#include "toolkit/DBEdit.h"
#include "toolkit/DBGrid.h"
#include "toolkit/GroupBox.h"
#include "toolkit/Keys.h"
#include "toolkit/Snapshot.h"
#include "toolkit/SpeedButton.h"

#include <functional>
#include <nlohmann/json.hpp>

namespace {

nlohmann::json snapshotOf(const tk::Form& form) {
    return nlohmann::json::parse(tk::Snapshot::of(form, true));
}

class InputTest : public ScreenFixture {
protected:
    tk::TGroupBox& group = form.add<tk::TGroupBox>("grbOpcoes");
    tk::TDBCheckBox& flag = form.add<tk::TDBCheckBox>("dckFlag", &group);
    tk::TDBEdit& name = form.add<tk::TDBEdit>("dbeNome");
    tk::TDBEdit& readOnly = form.add<tk::TDBEdit>("dbeSomenteLeitura");
    tk::TComboBox& filter = form.add<tk::TComboBox>("cbbFiltro");
    tk::TDBGrid& grid = form.add<tk::TDBGrid>("dbgLinhas");
    tk::TSpeedButton& button = form.add<tk::TSpeedButton>("sbtAcao");

    InputTest() {
        flag.setDataSource(&dts);
        flag.setDataField("FLAG");
        name.setDataSource(&dts);
        name.setDataField("NOME");
        readOnly.setDataSource(&dts);
        readOnly.setDataField("CODIGO");
        readOnly.setReadOnly(true);
        filter.setItems({"Entrada", "Saída"});
        grid.setDataSource(&dts);
        grid.setColumns({{"NOME", "Nome", 100}});
        load({{"01", "um", "N", "F"}, {"02", "dois", "S", "F"}});
        for (tk::Control* c : std::initializer_list<tk::Control*>{&flag, &name, &filter, &grid, &button}) {
            c->onClick = record(c->name() + ".click");
            c->onChange = record(c->name() + ".change");
            c->onEnter = record(c->name() + ".enter");
        }
    }
};

TEST_F(InputTest, RefusedActsChangeNothing) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::function<tk::InputResult()> act;
    };
    auto none = [] {};
    const std::vector<Case> cases = {
        {"toggle while browsing", none, [&] { return tk::Input::click(form, "dckFlag"); }},
        {"type while browsing", none, [&] { return tk::Input::type(form, "dbeNome", "x"); }},
        {"type into a read-only edit", [&] { cds.edit(); },
         [&] { return tk::Input::type(form, "dbeSomenteLeitura", "9"); }},
        {"pick out of range", none, [&] { return tk::Input::pick(form, "cbbFiltro", 2); }},
        {"pick on an edit", none, [&] { return tk::Input::pick(form, "dbeNome", 0); }},
        {"move while editing", [&] { cds.edit(); }, [&] { return tk::Input::move(form, "cdsTeste", 2); }},
        {"move past the end", none, [&] { return tk::Input::move(form, "cdsTeste", 3); }},
        {"grid typing without dgEditing", [&] { cds.edit(); },
         [&] { return tk::Input::gridType(form, "dbgLinhas", "NOME", "x"); }},
        {"click inside a disabled group",
         [&] {
             cds.edit();
             group.setEnabled(false);
         },
         [&] { return tk::Input::click(form, "dckFlag"); }},
        {"click on a hidden button", [&] { button.setVisible(false); },
         [&] { return tk::Input::click(form, "sbtAcao"); }},
        {"key on a disabled edit", [&] { name.setEnabled(false); },
         [&] { return tk::Input::key(form, "dbeNome", tk::keys::Return); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (cds.isEditing()) cds.cancel();
        group.setEnabled(true);
        button.setVisible(true);
        name.setEnabled(true);
        form.setFocus(nullptr);
        c.arrange();
        log.clear();
        const auto before = snapshotOf(form);
        const auto result = c.act();
        EXPECT_EQ(result.status, tk::InputStatus::Refused);
        EXPECT_EQ(result.httpStatus(), 409);
        EXPECT_FALSE(result.reason.empty());
        EXPECT_EQ(snapshotOf(form), before);
        EXPECT_TRUE(log.empty());
    }
}

TEST_F(InputTest, UnknownTargetsAre404) {
    EXPECT_EQ(tk::Input::click(form, "sbtNada").httpStatus(), 404);
    EXPECT_EQ(tk::Input::page(form, "tshNada").httpStatus(), 404);
    EXPECT_EQ(tk::Input::move(form, "cdsNada", 1).httpStatus(), 404);
    EXPECT_EQ(tk::Input::gridFocus(form, "dbgLinhas", "CODIGO").httpStatus(), 404);
}

TEST_F(InputTest, ToolbarButtonsDoNotTakeTheFocus) {
    form.setFocus(&name);
    log.clear();
    ASSERT_TRUE(tk::Input::click(form, "sbtAcao").ok());
    EXPECT_EQ(form.activeControl(), &name);
    EXPECT_EQ(log, std::vector<std::string>{"sbtAcao.click"});
}

TEST_F(InputTest, PickOnAPlainComboRunsChangeButCodeDoesNot) {
    filter.setItemIndex(1);
    EXPECT_TRUE(log.empty());
    ASSERT_TRUE(tk::Input::pick(form, "cbbFiltro", 0).ok());
    EXPECT_EQ(log, (std::vector<std::string>{"cbbFiltro.enter", "cbbFiltro.change"}));
    log.clear();
    // A letter picks the next item starting with it, as the list's own key handling.
    ASSERT_TRUE(tk::Input::key(form, "cbbFiltro", 'S').ok());
    EXPECT_EQ(filter.itemIndex(), 1);
    EXPECT_EQ(log, std::vector<std::string>{"cbbFiltro.change"});
}

TEST_F(InputTest, KeyHandlersSeeTheKeyAndMayDiscardIt) {
    std::vector<std::uint16_t> seen;
    filter.onKeyDown = [&](tk::Control&, std::uint16_t& key, tk::ShiftState shift) {
        seen.push_back(key);
        if (shift.alt && key == tk::keys::PageDown) key = 0;
        if (key == 'S') key = 0;
    };
    ASSERT_TRUE(tk::Input::key(form, "cbbFiltro", tk::keys::PageDown, {.alt = true}).ok());
    ASSERT_TRUE(tk::Input::key(form, "cbbFiltro", 'S').ok());
    EXPECT_EQ(seen, (std::vector<std::uint16_t>{tk::keys::PageDown, 'S'}));
    EXPECT_EQ(filter.itemIndex(), -1);
}

TEST_F(InputTest, SnapshotReportsGrayedAsNullAndNullApartFromEmpty) {
    cds.edit();
    cds.fieldByName("FLAG").setValue("");
    cds.fieldByName("NOME").clear();
    cds.fieldByName("CODIGO").setEditMask("99;1; ");
    const auto snap = snapshotOf(form);
    EXPECT_TRUE(snap["controls"]["dckFlag"]["checked"].is_null());
    EXPECT_EQ(snap["controls"]["dckFlag"]["type"], "TDBCheckBox");
    EXPECT_EQ(snap["controls"]["dckFlag"]["parent"], "grbOpcoes");
    EXPECT_EQ(snap["datasets"]["cdsTeste"]["state"], "edit");
    EXPECT_EQ(snap["datasets"]["cdsTeste"]["current"]["FLAG"], "");
    EXPECT_TRUE(snap["datasets"]["cdsTeste"]["current"]["NOME"].is_null());
    EXPECT_EQ(snap["datasets"]["cdsTeste"]["editMasks"], (nlohmann::json{{"CODIGO", "99;1; "}}));
    EXPECT_EQ(snap["datasets"]["cdsTeste"]["rows"].size(), 2u);
    EXPECT_EQ(snap["controls"]["dbgLinhas"]["editing"], false);
    EXPECT_EQ(snap["controls"]["dbgLinhas"]["column"], "NOME");
    EXPECT_TRUE(snap["focus"].is_null());
}

TEST(FormTest, NamesAreUniqueAndLookupsAreTyped) {
    tk::Form form("frm");
    auto& edit = form.add<tk::TDBEdit>("dbeNome");
    form.addDataSet("cdsX");
    EXPECT_THROW(form.add<tk::TSpeedButton>("dbeNome"), std::invalid_argument);
    EXPECT_THROW(form.addDataSource("cdsX"), std::invalid_argument);
    EXPECT_THROW(form.createControl("TBotaoMagico", "x", nullptr), std::invalid_argument);
    EXPECT_EQ(form.find<tk::TDBEdit>("dbeNome"), &edit);
    EXPECT_EQ(form.find<tk::TSpeedButton>("dbeNome"), nullptr);
    EXPECT_THROW(form.get<tk::TSpeedButton>("dbeNome"), std::out_of_range);
    EXPECT_STREQ(form.createControl("TRadioButton", "rbt", nullptr).typeName(), "TRadioButton");
}

TEST(FormTest, CloseWithFreeReleasesAfterTheEvent) {
    tk::Application app;
    tk::Application::Scope scope(app);
    auto owned = std::make_unique<tk::Form>("frmA");
    tk::Form* form = owned.get();
    app.adoptForm(std::move(owned));
    std::vector<std::string> events;
    form->onShow = [&](tk::Form&) { events.push_back("show"); };
    form->onClose = [&](tk::Form&, tk::CloseAction& action) {
        events.push_back("close");
        action = tk::CloseAction::Free;
    };
    form->show();
    form->show(); // already visible: no second show event
    form->close();
    EXPECT_EQ(events, (std::vector<std::string>{"show", "close"}));
    EXPECT_EQ(app.forms().size(), 1u); // still alive while the event runs
    EXPECT_FALSE(form->visible());
    app.collectReleased();
    EXPECT_TRUE(app.forms().empty());
    EXPECT_EQ(app.mainForm(), nullptr);
}

TEST(FormTest, CloseHidesByDefault) {
    tk::Form form("frm");
    form.show();
    form.close();
    EXPECT_FALSE(form.visible());
    form.onClose = [](tk::Form&, tk::CloseAction& action) { action = tk::CloseAction::None; };
    form.show();
    form.close();
    EXPECT_TRUE(form.visible());
}

} // namespace
