#include "ScreenFixture.h"
#include "toolkit/DBEdit.h"
#include "toolkit/Edit.h"
#include "toolkit/GroupBox.h"
#include "toolkit/Input.h"
#include "toolkit/Label.h"
#include "toolkit/PageControl.h"
#include "toolkit/Panel.h"
#include "toolkit/TabSheet.h"

#include <stdexcept>

namespace {

// panFiltro > cbb (an edit here) ; grbForm > grbInner > edtA, edtB ; edtTop at the top level.
class FocusTest : public ScreenFixture {
protected:
    tk::TPanel& panFiltro = form.add<tk::TPanel>("panFiltro");
    tk::TEdit& edtFiltro = form.add<tk::TEdit>("edtFiltro", &panFiltro);
    tk::TGroupBox& grbForm = form.add<tk::TGroupBox>("grbForm");
    tk::TGroupBox& grbInner = form.add<tk::TGroupBox>("grbInner", &grbForm);
    tk::TEdit& edtA = form.add<tk::TEdit>("edtA", &grbInner);
    tk::TEdit& edtB = form.add<tk::TEdit>("edtB", &grbInner);
    tk::TEdit& edtTop = form.add<tk::TEdit>("edtTop");

    FocusTest() {
        for (tk::Control* c : std::initializer_list<tk::Control*>{&panFiltro, &edtFiltro, &grbForm, &grbInner,
                                                                  &edtA, &edtB, &edtTop}) {
            c->onEnter = record(c->name() + ".enter");
            c->onExit = record(c->name() + ".exit");
        }
    }
};

TEST_F(FocusTest, ExitInnermostFirstThenEnterOutermostFirst) {
    form.setFocus(&edtFiltro);
    EXPECT_EQ(log, (std::vector<std::string>{"panFiltro.enter", "edtFiltro.enter"}));
    log.clear();
    form.setFocus(&edtA);
    EXPECT_EQ(log, (std::vector<std::string>{"edtFiltro.exit", "panFiltro.exit", "grbForm.enter",
                                             "grbInner.enter", "edtA.enter"}));
    log.clear();
    form.setFocus(&edtB); // same containers: only the controls
    EXPECT_EQ(log, (std::vector<std::string>{"edtA.exit", "edtB.enter"}));
    log.clear();
    form.setFocus(&edtTop);
    EXPECT_EQ(log, (std::vector<std::string>{"edtB.exit", "grbInner.exit", "grbForm.exit", "edtTop.enter"}));
    log.clear();
    form.setFocus(&edtTop);
    EXPECT_TRUE(log.empty());
}

TEST_F(FocusTest, ExceptionInAContainerExitCancelsTheMove) {
    form.setFocus(&edtFiltro);
    log.clear();
    panFiltro.onExit = [this](tk::Control&) {
        log.push_back("panFiltro.exit");
        throw std::runtime_error("servidor indisponível");
    };
    EXPECT_THROW(form.setFocus(&edtA), std::runtime_error);
    EXPECT_EQ(form.activeControl(), &edtFiltro);
    EXPECT_EQ(log, (std::vector<std::string>{"edtFiltro.exit", "panFiltro.exit"}));
}

TEST_F(FocusTest, ExitHandlerPuttingTheFocusBackKeepsIt) {
    form.setFocus(&edtA);
    log.clear();
    edtA.onExit = [this](tk::Control&) {
        log.push_back("edtA.exit");
        form.setFocus(&edtA);
        throw tk::SilentAbort();
    };
    EXPECT_THROW(form.setFocus(&edtTop), tk::SilentAbort);
    EXPECT_EQ(form.activeControl(), &edtA);
    EXPECT_EQ(log, std::vector<std::string>{"edtA.exit"});
}

TEST_F(FocusTest, FocusOnAControlThatCannotTakeItIsANoOp) {
    form.setFocus(&edtA);
    log.clear();
    edtTop.setVisible(false);
    form.setFocus(&edtTop);
    grbForm.setEnabled(false);
    form.setFocus(&edtB);
    auto& label = form.add<tk::TLabel>("lblX");
    form.setFocus(&label);
    EXPECT_EQ(form.activeControl(), &edtA);
    EXPECT_TRUE(log.empty());
}

TEST_F(FocusTest, TabOrderFollowsContainersAndSkipsWhatCannotFocus) {
    grbForm.setTabOrder(0);
    edtTop.setTabOrder(1);
    panFiltro.setTabOrder(2);
    edtA.setTabOrder(1);
    edtB.setTabOrder(0);
    EXPECT_EQ(form.tabOrderList(), (std::vector<tk::Control*>{&edtB, &edtA, &edtTop, &edtFiltro}));
    form.setFocus(&edtTop);
    form.focusNext();
    EXPECT_EQ(form.activeControl(), &edtFiltro);
    form.focusNext(); // wraps around
    EXPECT_EQ(form.activeControl(), &edtB);
    form.focusNext(true);
    EXPECT_EQ(form.activeControl(), &edtFiltro);
    edtTop.setEnabled(false);
    form.focusNext(true);
    EXPECT_EQ(form.activeControl(), &edtA);
}

TEST_F(FocusTest, OnlyTheActivePageShowsItsControls) {
    auto& pages = form.add<tk::TPageControl>("pgc");
    auto& grid = form.add<tk::TTabSheet>("tshGrade", &pages);
    auto& sheet = form.add<tk::TTabSheet>("tshForm", &pages);
    auto& edit = form.add<tk::TEdit>("edtPagina", &sheet);
    EXPECT_EQ(pages.activePage(), &grid);
    EXPECT_TRUE(edit.visible());
    EXPECT_FALSE(edit.canOperate());
    form.setFocus(&edit);
    EXPECT_EQ(form.activeControl(), nullptr);
    pages.setActivePage(&sheet);
    form.setFocus(&edit);
    EXPECT_EQ(form.activeControl(), &edit);
}

TEST_F(FocusTest, TypedTextIsInTheFieldWhenTheExitHandlerRuns) {
    auto& code = form.add<tk::TDBEdit>("dbeCodigo");
    code.setDataSource(&dts);
    code.setDataField("CODIGO");
    load({{"01", "a", "S", "F"}});
    cds.edit();
    code.onExit = [this](tk::Control&) { log.push_back("exit CODIGO=" + field("CODIGO").value_or("null")); };
    ASSERT_TRUE(tk::Input::type(form, "dbeCodigo", "7").ok());
    EXPECT_EQ(field("CODIGO"), "01");
    form.setFocus(&edtTop);
    EXPECT_EQ(log.front(), "exit CODIGO=7");
}

} // namespace
