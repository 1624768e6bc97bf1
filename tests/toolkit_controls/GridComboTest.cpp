#include "ScreenFixture.h"
#include "toolkit/DBComboBox.h"
#include "toolkit/DBGrid.h"
#include "toolkit/Input.h"
#include "toolkit/PageControl.h"
#include "toolkit/TabSheet.h"

#include <cctype>
#include <stdexcept>

namespace {

class GridTest : public ScreenFixture {
protected:
    tk::TDBGrid& grid = form.add<tk::TDBGrid>("dbgLinhas");

    GridTest() {
        grid.setDataSource(&dts);
        grid.setColumns({{"CODIGO", "Código", 54}, {"NOME", "Descrição", 500}});
        grid.setOption("dgEditing", true);
        // The code column takes digits and backspace only.
        grid.onKeyPress = [this](tk::Control&, char& key) {
            if (grid.selectedField() == "CODIGO" && !std::isdigit(static_cast<unsigned char>(key)) &&
                key != '\b')
                key = 0;
        };
        load({{"01", "um", "S", "F"}});
        cds.edit();
    }
};

TEST_F(GridTest, KeyPressFiltersBackspaceDeletesAndTheFieldSizeCuts) {
    ASSERT_TRUE(tk::Input::gridType(form, "dbgLinhas", "CODIGO", "a7b").ok());
    EXPECT_EQ(grid.cellText("CODIGO"), "7");
    EXPECT_EQ(field("CODIGO"), "01"); // nothing written yet
    ASSERT_TRUE(tk::Input::gridType(form, "dbgLinhas", "CODIGO", "\b45x6").ok());
    EXPECT_EQ(grid.cellText("CODIGO"), "45"); // size 2
    EXPECT_EQ(grid.cellText("NOME"), "um");
}

TEST_F(GridTest, ColumnExitSeesTheTypedValueInTheField) {
    grid.onColExit = [this](tk::Control&) {
        log.push_back("colExit " + grid.selectedField() + " CODIGO=" + field("CODIGO").value_or("null"));
    };
    ASSERT_TRUE(tk::Input::gridType(form, "dbgLinhas", "CODIGO", "5").ok());
    ASSERT_TRUE(tk::Input::gridFocus(form, "dbgLinhas", "NOME").ok());
    EXPECT_EQ(log, std::vector<std::string>{"colExit CODIGO CODIGO=5"});
    EXPECT_FALSE(grid.cellEditing());
    EXPECT_EQ(grid.selectedField(), "NOME");
    // Selecting the column already selected runs nothing.
    ASSERT_TRUE(tk::Input::gridFocus(form, "dbgLinhas", "NOME").ok());
    EXPECT_EQ(log.size(), 1u);
}

TEST_F(GridTest, ColumnExitExceptionKeepsTheColumn) {
    grid.onColExit = [](tk::Control&) { throw std::runtime_error("inválido"); };
    EXPECT_THROW(tk::Input::gridFocus(form, "dbgLinhas", "NOME"), std::runtime_error);
    EXPECT_EQ(grid.selectedField(), "CODIGO");
}

TEST_F(GridTest, PendingCellIsWrittenBeforeBeforePostAndDroppedOnCancel) {
    cds.beforePost = [this](tk::DataSet&) {
        log.push_back("beforePost NOME=" + field("NOME").value_or("null"));
    };
    ASSERT_TRUE(tk::Input::gridType(form, "dbgLinhas", "NOME", "dois").ok());
    cds.post();
    EXPECT_EQ(log, std::vector<std::string>{"beforePost NOME=dois"});

    cds.edit();
    ASSERT_TRUE(tk::Input::gridType(form, "dbgLinhas", "NOME", "tres").ok());
    cds.cancel();
    EXPECT_FALSE(grid.cellEditing());
    EXPECT_EQ(grid.cellText("NOME"), "dois");
}

TEST_F(GridTest, TypingNeedsEditingOptionAndAnEditedRecord) {
    grid.setOption("dgEditing", false);
    EXPECT_EQ(tk::Input::gridType(form, "dbgLinhas", "NOME", "x").httpStatus(), 409);
    grid.setOption("dgEditing", true);
    cds.cancel();
    EXPECT_EQ(tk::Input::gridType(form, "dbgLinhas", "NOME", "x").httpStatus(), 409);
    EXPECT_EQ(tk::Input::gridType(form, "dbgLinhas", "SEM", "x").httpStatus(), 404);
    EXPECT_FALSE(grid.cellEditing());
}

TEST_F(GridTest, FocusControlOfAFieldSelectsItsColumn) {
    cds.fieldByName("NOME").focusControl();
    EXPECT_EQ(form.activeControl(), &grid);
    EXPECT_EQ(grid.selectedField(), "NOME");
}

class ComboTest : public ScreenFixture {
protected:
    tk::TDBComboBox& combo = form.add<tk::TDBComboBox>("dcbOrigem");
    int getTexts = 0;

    ComboTest() {
        combo.setItems({"Fornecedor", "Cliente", "Filial"});
        combo.setDataSource(&dts);
        combo.setDataField("ORIGEM");
        auto& origem = cds.fieldByName("ORIGEM");
        origem.onGetText = [this](tk::Field& f, std::string& text, bool) {
            ++getTexts;
            log.push_back("getText");
            const std::string v = f.asString();
            text = v == "F" ? "Fornecedor" : v == "C" ? "Cliente" : v == "L" ? "Filial" : "";
        };
        origem.onSetText = [this](tk::Field& f, const std::string& text) {
            log.push_back("setText " + text);
            if (text == "Cliente") f.setValue("C");
            if (text == "Filial") f.setValue("L");
        };
        combo.onChange = record("change");
    }
};

TEST_F(ComboTest, AsksTheFieldForItsTextOnEveryShow) {
    load({{"01", "a", "S", "F"}, {"02", "b", "S", "F"}, {"03", "c", "S", "X"}});
    EXPECT_EQ(combo.itemIndex(), 0);
    const int afterLoad = getTexts;
    EXPECT_GE(afterLoad, 1);
    cds.moveTo(2); // same text, still asked
    EXPECT_EQ(getTexts, afterLoad + 1);
    cds.moveTo(3);
    EXPECT_EQ(combo.itemIndex(), -1);
    cds.edit();
    cds.fieldByName("ORIGEM").setValue("L");
    EXPECT_EQ(getTexts, afterLoad + 3);
    EXPECT_EQ(combo.itemIndex(), 2);
}

TEST_F(ComboTest, UserPickSetsTheTextThenRunsChange) {
    load({{"01", "a", "S", "F"}});
    EXPECT_EQ(tk::Input::pick(form, "dcbOrigem", 1).httpStatus(), 409); // browsing
    cds.edit();
    log.clear();
    ASSERT_TRUE(tk::Input::pick(form, "dcbOrigem", 1).ok());
    EXPECT_EQ(log, (std::vector<std::string>{"setText Cliente", "getText", "change"}));
    EXPECT_EQ(field("ORIGEM"), "C");
    EXPECT_EQ(combo.itemIndex(), 1);
    EXPECT_EQ(tk::Input::pick(form, "dcbOrigem", 3).httpStatus(), 409);
}

TEST(PageControlTest, CodeSwitchRaisesNothingUserSwitchRunsChange) {
    tk::Form form("frm");
    auto& pages = form.add<tk::TPageControl>("pgc");
    auto& first = form.add<tk::TTabSheet>("tsh1", &pages);
    auto& second = form.add<tk::TTabSheet>("tsh2", &pages);
    int changes = 0;
    pages.onChange = [&](tk::Control&) { ++changes; };
    pages.setActivePage(&second);
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(tk::Input::page(form, "tsh2").ok()); // already shown
    EXPECT_EQ(changes, 0);
    first.setEnabled(false);
    EXPECT_EQ(tk::Input::page(form, "tsh1").httpStatus(), 409);
    first.setEnabled(true);
    EXPECT_TRUE(tk::Input::page(form, "tsh1").ok());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(pages.activePage(), &first);
    EXPECT_EQ(tk::Input::page(form, "tsh9").httpStatus(), 404);
}

} // namespace
