// The registry of control kinds and the handler table: what a loader relies on to build any screen
// without knowing its classes.

#include "toolkit/ControlKinds.h"

#include "ScreenFixture.h"
#include "toolkit/DBEdit.h"
#include "toolkit/DBGrid.h"
#include "toolkit/Handlers.h"
#include "toolkit/Input.h"
#include "toolkit/Label.h"
#include "toolkit/Panel.h"

namespace {

TEST(ControlKinds, EveryToolkitKindIsMadeByItsName) {
    tk::Form form("frm");
    tk::Control& pages = form.createControl("TPageControl", "pgc", nullptr);
    for (const char* kind : {"TLabel", "TDBText", "TGroupBox", "TPanel", "TBevel", "TScrollBox",
                             "TSpeedButton", "TMenuItem", "TDBCheckBox", "TRadioButton", "TDBEdit", "TEdit",
                             "TComboBox", "TDBComboBox", "TDBGrid", "TDBNavigator"}) {
        tk::Control& c = form.createControl(kind, std::string("c") + kind, nullptr);
        EXPECT_STREQ(c.typeName(), kind);
        EXPECT_EQ(&tk::ControlKinds::of(c), tk::ControlKinds::find(kind));
    }
    EXPECT_STREQ(form.createControl("TTabSheet", "tsh", &pages).typeName(), "TTabSheet");
    // The abstract bases are kinds for their properties only.
    EXPECT_THROW(form.createControl("DataControl", "x", nullptr), std::invalid_argument);
    EXPECT_THROW(form.createControl("Control", "y", nullptr), std::invalid_argument);
}

class KindProperties : public ScreenFixture {
protected:
    tk::Control& edit = form.createControl("TDBEdit", "dbeNome", nullptr);
    tk::Control& grid = form.createControl("TDBGrid", "dbgLinhas", nullptr);
    const tk::ControlKind& editKind = tk::ControlKinds::of(edit);
    const tk::ControlKind& gridKind = tk::ControlKinds::of(grid);
};

TEST_F(KindProperties, AKindTakesItsOwnItsBasesAndNoOthers) {
    editKind.set(edit, "caption", std::string("Nome"));        // every control's
    editKind.set(edit, "dataSource", std::string("dtsTeste")); // every data-bound control's
    editKind.set(edit, "field", std::string("NOME"));
    editKind.set(edit, "maxLength", 5); // the edit's own
    editKind.set(edit, "readOnly", true);
    gridKind.set(grid, "columns", std::vector<tk::GridColumn>{{"NOME", "Nome", 90}});
    gridKind.set(grid, "options", std::vector<std::string>{"dgEditing", "dgTabs"});
    auto& typed = static_cast<tk::TDBEdit&>(edit);
    EXPECT_EQ(typed.caption(), "Nome");
    EXPECT_EQ(typed.dataSource(), &dts);
    EXPECT_EQ(typed.fieldName(), "NOME");
    EXPECT_EQ(typed.maxLength(), 5);
    EXPECT_TRUE(typed.readOnly());
    EXPECT_TRUE(static_cast<tk::TDBGrid&>(grid).editingEnabled());

    struct Case {
        const char* what;
        const tk::ControlKind& kind;
        tk::Control& control;
        const char* property;
        tk::PropertyValue value;
    };
    const std::vector<Case> refused{
        {"another kind's property", editKind, edit, "columns", std::vector<tk::GridColumn>{}},
        {"a property nobody has", gridKind, grid, "corDeFundo", std::string("x")},
        {"a value of the wrong type", editKind, edit, "maxLength", std::string("5")},
        {"a data source the form lacks", editKind, edit, "dataSource", std::string("dtsNada")},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.what);
        EXPECT_THROW(c.kind.set(c.control, c.property, c.value), std::invalid_argument);
    }
    EXPECT_EQ(typed.maxLength(), 5);
    EXPECT_EQ(typed.dataSource(), &dts);
}

TEST_F(KindProperties, EventsAreFoundByNameOnTheKindsThatHaveThem) {
    EXPECT_TRUE(gridKind.event(grid, "OnColExit"));
    EXPECT_TRUE(gridKind.event(grid, "OnKeyPress")); // every control's
    EXPECT_FALSE(editKind.event(edit, "OnColExit"));
    EXPECT_FALSE(editKind.event(edit, "OnPaint"));
    EXPECT_TRUE(tk::eventOf(cds, "AfterScroll"));
    EXPECT_FALSE(tk::eventOf(cds, "OnClick"));
    EXPECT_TRUE(tk::eventOf(cds.fieldByName("NOME"), "OnGetText"));
    EXPECT_TRUE(tk::eventOf(dts, "OnStateChange"));
    EXPECT_TRUE(tk::eventOf(form, "OnClose"));
}

// A screen with handlers of every shape the events take.
struct Screen : tk::Form {
    Screen() : tk::Form("frmTela") {}
    std::vector<std::string> log;
    void nomeExit(tk::Component& sender) { log.push_back("exit " + sender.name()); }
    void cdsAfterScroll(tk::DataSet& set) { log.push_back("scroll " + std::to_string(set.recNo())); }
    void nomeKeyDown(tk::Component&, std::uint16_t& key, tk::ShiftState) { key = 0; }
    void formClose(tk::Component&, tk::CloseAction& action) { action = tk::CloseAction::None; }
};

TEST(Handlers, BindByNameWhereTheArgumentsFit) {
    const tk::Handlers handlers{
        tk::Handlers::entry<Screen>("nomeExit", &Screen::nomeExit),
        tk::Handlers::entry<Screen>("cdsAfterScroll", &Screen::cdsAfterScroll),
        tk::Handlers::entry<Screen>("nomeKeyDown", &Screen::nomeKeyDown),
        tk::Handlers::entry<Screen>("formClose", &Screen::formClose),
    };
    Screen screen;
    tk::Application app;
    tk::Application::Scope scope(app);
    auto& edit = screen.add<tk::TDBEdit>("dbeNome");
    auto& set = screen.addDataSet("cds");
    set.addField("X", 1);
    const tk::ControlKind& kind = tk::ControlKinds::of(edit);

    struct Case {
        const char* handler;
        std::optional<tk::EventSlot> slot;
        bool fits;
    };
    const std::vector<Case> cases{
        {"nomeExit", kind.event(edit, "OnExit"), true},
        {"nomeExit", tk::eventOf(screen, "OnCreate"), true}, // a form is a sender too
        {"nomeExit", tk::eventOf(set, "AfterScroll"), false},
        {"cdsAfterScroll", tk::eventOf(set, "AfterOpen"), true},
        {"cdsAfterScroll", kind.event(edit, "OnClick"), false},
        {"nomeKeyDown", kind.event(edit, "OnKeyDown"), true},
        {"nomeKeyDown", kind.event(edit, "OnKeyPress"), false},
        {"formClose", tk::eventOf(screen, "OnClose"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.handler));
        ASSERT_TRUE(c.slot);
        EXPECT_EQ(handlers.find(c.handler)->bind(screen, *c.slot), c.fits);
    }
    EXPECT_EQ(handlers.find("semNome"), nullptr);

    // What was bound runs the screen's own method.
    edit.onExit(edit);
    screen.onCreate(screen);
    set.setData({{{"X", "string", 1}}, {{std::string("a")}}});
    std::uint16_t key = 13;
    edit.onKeyDown(edit, key, {});
    screen.show();
    screen.close(); // the bound handler proposes None: the form stays open
    EXPECT_EQ(screen.log, (std::vector<std::string>{"exit dbeNome", "exit frmTela", "scroll 1"}));
    EXPECT_EQ(key, 0);
    EXPECT_TRUE(screen.visible());
}

TEST(InputCodes, EveryRefusalCarriesItsCode) {
    tk::Application app;
    tk::Application::Scope scope(app);
    tk::Form form("frm");
    auto& set = form.addDataSet("cds");
    set.addField("X", 1);
    auto& source = form.addDataSource("dts", &set);
    auto& hiddenPanel = form.add<tk::TPanel>("panOculto");
    hiddenPanel.setVisible(false);
    form.add<tk::TDBEdit>("dbeDentro", &hiddenPanel);
    auto& disabledPanel = form.add<tk::TPanel>("panDesabilitado");
    disabledPanel.setEnabled(false);
    form.add<tk::TDBEdit>("dbeTravado", &disabledPanel);
    auto& edit = form.add<tk::TDBEdit>("dbeX");
    edit.setDataSource(&source);
    edit.setDataField("X");
    form.add<tk::TLabel>("lblX");
    auto& grid = form.add<tk::TDBGrid>("dbgX");
    grid.setDataSource(&source);
    grid.setColumns({{"X", "X", 10}});
    set.setData({{{"X", "string", 1}}, {{std::string("a")}}});

    struct Case {
        const char* what;
        std::function<tk::InputResult()> act;
        const char* code;
        int status;
    };
    const std::vector<Case> cases{
        {"unknown control", [&] { return tk::Input::click(form, "sbtNada"); }, tk::refusal::UnknownControl,
         404},
        {"unknown page", [&] { return tk::Input::page(form, "tshNada"); }, tk::refusal::UnknownPage, 404},
        {"unknown dataset", [&] { return tk::Input::move(form, "cdsNada", 1); }, tk::refusal::UnknownDataSet,
         404},
        {"unknown column", [&] { return tk::Input::gridFocus(form, "dbgX", "Y"); },
         tk::refusal::UnknownColumn, 404},
        {"in a hidden panel", [&] { return tk::Input::focus(form, "dbeDentro"); }, tk::refusal::Hidden, 409},
        {"in a disabled panel", [&] { return tk::Input::focus(form, "dbeTravado"); }, tk::refusal::Disabled,
         409},
        {"typing while browsing", [&] { return tk::Input::type(form, "dbeX", "b"); }, tk::refusal::NotEditing,
         409},
        {"a label takes no focus", [&] { return tk::Input::focus(form, "lblX"); }, tk::refusal::NotFocusable,
         409},
        {"typing into a label", [&] { return tk::Input::type(form, "lblX", "b"); }, tk::refusal::WrongKind,
         409},
        {"picking in an edit", [&] { return tk::Input::pick(form, "dbeX", 0); }, tk::refusal::WrongKind, 409},
        {"grid acts on an edit", [&] { return tk::Input::gridFocus(form, "dbeX", "X"); },
         tk::refusal::WrongKind, 409},
        {"a grid without editing", [&] { return tk::Input::gridType(form, "dbgX", "X", "b"); },
         tk::refusal::ReadOnly, 409},
        {"past the last record", [&] { return tk::Input::move(form, "cds", 2); }, tk::refusal::OutOfRange,
         409},
        {"a move while editing",
         [&] {
             set.edit();
             auto r = tk::Input::move(form, "cds", 1);
             set.cancel();
             return r;
         },
         tk::refusal::Editing, 409},
        {"a move on a closed dataset",
         [&] {
             set.close();
             return tk::Input::move(form, "cds", 1);
         },
         tk::refusal::DataSetClosed, 409},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const tk::InputResult r = c.act();
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.httpStatus(), c.status);
        EXPECT_FALSE(r.reason.empty());
    }
    EXPECT_TRUE(tk::Input::click(form, "dbgX").code.empty()) << "an accepted act has no code";
}

} // namespace
