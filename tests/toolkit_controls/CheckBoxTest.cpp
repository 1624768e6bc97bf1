#include "ScreenFixture.h"
#include "toolkit/DBCheckBox.h"
#include "toolkit/GroupBox.h"
#include "toolkit/Input.h"
#include "toolkit/RadioButton.h"

namespace {

class CheckBoxTest : public ScreenFixture {
protected:
    tk::TDBCheckBox& box = form.add<tk::TDBCheckBox>("dckFlag");
    int clicks = 0;

    CheckBoxTest() {
        box.setDataSource(&dts);
        box.setDataField("FLAG");
        box.onClick = [this](tk::Control&) { ++clicks; };
    }
};

TEST_F(CheckBoxTest, RecordShownRunsClickOnlyWhenTheShownStateChanges) {
    // Each row moves from the state of the previous one; "" and "X" show grayed like null.
    struct Step {
        tk::Value flag;
        tk::CheckState shown;
        int clicks;
    };
    const std::vector<Step> steps = {
        {"S", tk::CheckState::Checked, 1},         {"N", tk::CheckState::Unchecked, 1},
        {std::nullopt, tk::CheckState::Grayed, 1}, {"", tk::CheckState::Grayed, 0},
        {"X", tk::CheckState::Grayed, 0},          {"S", tk::CheckState::Checked, 1},
        {"S", tk::CheckState::Checked, 0},
    };
    std::vector<std::vector<tk::Value>> rows;
    for (std::size_t i = 0; i < steps.size(); ++i)
        rows.push_back({std::to_string(i), "r", steps[i].flag, "F"});
    cds.setIndexFieldName("");
    load(rows);
    EXPECT_EQ(box.state(), tk::CheckState::Checked);
    for (std::size_t i = 1; i < steps.size(); ++i) {
        clicks = 0;
        cds.moveTo(static_cast<int>(i) + 1);
        EXPECT_EQ(box.state(), steps[i].shown) << "row " << i;
        EXPECT_EQ(clicks, steps[i].clicks) << "row " << i;
        EXPECT_FALSE(box.checked() && steps[i].shown != tk::CheckState::Checked);
    }
}

TEST_F(CheckBoxTest, InactiveShowsUncheckedAndAnEmptyDatasetGrayed) {
    EXPECT_EQ(box.state(), tk::CheckState::Unchecked);
    load({});
    EXPECT_EQ(box.state(), tk::CheckState::Grayed);
    EXPECT_EQ(clicks, 1);
    cds.close();
    EXPECT_EQ(box.state(), tk::CheckState::Unchecked);
    EXPECT_EQ(clicks, 2);
}

TEST_F(CheckBoxTest, CodeChangesTheShownStateWithoutWritingTheField) {
    load({{"01", "a", "N", "F"}});
    cds.edit();
    clicks = 0;
    box.setChecked(false); // already unchecked
    EXPECT_EQ(clicks, 0);
    box.setChecked(true);
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(box.checked());
    EXPECT_FALSE(box.marked());
    cds.post();
    EXPECT_EQ(field("FLAG"), "N");
}

TEST_F(CheckBoxTest, UserToggleCyclesGrayedToCheckedToUnchecked) {
    load({{"01", "a", std::nullopt, "F"}});
    cds.edit();
    const std::vector<tk::CheckState> expected = {tk::CheckState::Checked, tk::CheckState::Unchecked,
                                                  tk::CheckState::Checked};
    clicks = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_TRUE(tk::Input::click(form, "dckFlag").ok());
        EXPECT_EQ(box.state(), expected[i]);
        EXPECT_EQ(clicks, static_cast<int>(i) + 1);
        EXPECT_TRUE(box.marked());
    }
    // Not written until the record is written from the controls.
    EXPECT_EQ(field("FLAG"), std::nullopt);
}

TEST_F(CheckBoxTest, MarkedBoxWritesBeforeItsExitHandlerAndBeforeBeforePost) {
    auto& other = form.add<tk::TDBCheckBox>("dckOther");
    load({{"01", "a", "N", "F"}});
    cds.edit();
    box.onExit = [this](tk::Control&) { log.push_back("exit FLAG=" + field("FLAG").value_or("null")); };
    cds.beforePost = [this](tk::DataSet&) {
        log.push_back("beforePost FLAG=" + field("FLAG").value_or("null"));
    };

    ASSERT_TRUE(tk::Input::click(form, "dckFlag").ok()); // N -> checked
    form.setFocus(&other);
    ASSERT_TRUE(tk::Input::click(form, "dckFlag").ok()); // checked -> unchecked, focus stays
    cds.post();
    EXPECT_EQ(log, (std::vector<std::string>{"exit FLAG=S", "beforePost FLAG=N"}));
    EXPECT_EQ(field("FLAG"), "N");
    EXPECT_FALSE(box.marked());
}

TEST_F(CheckBoxTest, AssigningTheFieldDropsTheMarkAndShowsTheValue) {
    load({{"01", "a", std::nullopt, "F"}});
    cds.edit();
    ASSERT_TRUE(tk::Input::click(form, "dckFlag").ok()); // grayed -> checked, marked
    clicks = 0;
    cds.fieldByName("FLAG").setValue("N");
    EXPECT_FALSE(box.marked());
    EXPECT_EQ(box.state(), tk::CheckState::Unchecked);
    EXPECT_EQ(clicks, 1);
    // The same value again runs nothing.
    cds.fieldByName("FLAG").setValue("N");
    EXPECT_EQ(clicks, 1);
    // The post does not bring the user's toggle back over the assignment.
    cds.post();
    EXPECT_EQ(field("FLAG"), "N");
}

TEST_F(CheckBoxTest, AssignmentMatchingTheShownStateRunsNothing) {
    load({{"01", "a", "N", "F"}});
    cds.edit();
    ASSERT_TRUE(tk::Input::click(form, "dckFlag").ok()); // unchecked -> checked
    clicks = 0;
    cds.fieldByName("FLAG").setValue("S");
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(box.marked());
    EXPECT_TRUE(box.checked());
}

TEST_F(CheckBoxTest, ClickHandlerThatAssignsItsOwnFieldSettlesAfterOneMoreRun) {
    // A handler that clears its own flag when checked: the assignment unchecks the box and runs the
    // handler again, which finds nothing left to change.
    load({{"01", "a", std::nullopt, "F"}});
    cds.edit();
    clicks = 0;
    box.onClick = [this](tk::Control&) {
        ++clicks;
        if (box.checked()) cds.fieldByName("FLAG").setValue("N");
    };
    ASSERT_TRUE(tk::Input::click(form, "dckFlag").ok());
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(box.state(), tk::CheckState::Unchecked);
    EXPECT_EQ(field("FLAG"), "N");
}

class RadioTest : public ScreenFixture {
protected:
    tk::TGroupBox& group = form.add<tk::TGroupBox>("grbLista");
    tk::TRadioButton& todos = form.add<tk::TRadioButton>("rbtTodos", &group);
    tk::TRadioButton& lista = form.add<tk::TRadioButton>("rbtLista", &group);
    tk::TRadioButton& nenhum = form.add<tk::TRadioButton>("rbtNenhum", &group);
    tk::TGroupBox& otherGroup = form.add<tk::TGroupBox>("grbOutro");
    tk::TRadioButton& outro = form.add<tk::TRadioButton>("rbtOutro", &otherGroup);

    RadioTest() {
        for (auto* r : {&todos, &lista, &nenhum, &outro})
            r->onClick = record(r->name());
        outro.setChecked(true);
        todos.setChecked(true);
        log.clear();
    }
};

TEST_F(RadioTest, CheckingUnchecksSiblingsWithoutTheirHandlers) {
    lista.setChecked(true);
    EXPECT_EQ(log, std::vector<std::string>{"rbtLista"});
    EXPECT_FALSE(todos.checked());
    EXPECT_TRUE(lista.checked());
    EXPECT_TRUE(outro.checked()); // another group is not touched
}

TEST_F(RadioTest, SameStateRunsNothingAndClearingRunsTheHandler) {
    todos.setChecked(true);
    lista.setChecked(false);
    EXPECT_TRUE(log.empty());
    todos.setChecked(false);
    EXPECT_EQ(log, std::vector<std::string>{"rbtTodos"});
    EXPECT_FALSE(todos.checked() || lista.checked() || nenhum.checked());
}

TEST_F(RadioTest, UserClickChecksAndIsRefusedInsideADisabledGroup) {
    ASSERT_TRUE(tk::Input::click(form, "rbtNenhum").ok());
    EXPECT_TRUE(nenhum.checked());
    EXPECT_EQ(form.activeControl(), &nenhum);
    group.setEnabled(false);
    EXPECT_TRUE(todos.enabled());
    EXPECT_FALSE(todos.canOperate());
    const auto result = tk::Input::click(form, "rbtTodos");
    EXPECT_EQ(result.httpStatus(), 409);
    EXPECT_TRUE(nenhum.checked());
    EXPECT_EQ(log, std::vector<std::string>{"rbtNenhum"});
}

} // namespace
