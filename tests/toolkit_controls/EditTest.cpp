#include "ScreenFixture.h"
#include "toolkit/DBEdit.h"
#include "toolkit/DBText.h"
#include "toolkit/Input.h"

namespace {

class EditTest : public ScreenFixture {
protected:
    tk::TDBEdit& name = form.add<tk::TDBEdit>("dbeNome");
    int changes = 0;

    EditTest() {
        name.setDataSource(&dts);
        name.setDataField("NOME");
        name.onChange = [this](tk::Control&) { ++changes; };
        load({{"01", "alfa", "S", "F"}, {"02", "alfa", "N", "F"}, {"03", std::nullopt, "N", "F"}});
        changes = 0;
    }
};

TEST_F(EditTest, ShowingARecordRunsChangeOnlyWhenTheTextChanges) {
    cds.moveTo(2); // same name
    EXPECT_EQ(changes, 0);
    cds.moveTo(3); // null shows as ""
    EXPECT_EQ(name.text(), "");
    EXPECT_EQ(changes, 1);
    cds.close();
    EXPECT_EQ(changes, 1);
}

TEST_F(EditTest, TextFromCodeBehavesLikeTyping) {
    cds.edit();
    name.setText("alfa");
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(name.marked());
    name.setText("beta");
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(name.marked());
    EXPECT_EQ(field("NOME"), "alfa");
    cds.beforePost = [this](tk::DataSet&) { log.push_back(field("NOME").value_or("null")); };
    cds.post();
    EXPECT_EQ(log, std::vector<std::string>{"beta"});
    EXPECT_EQ(field("NOME"), "beta");
}

TEST_F(EditTest, EmptyTextIsWrittenAsEmptyNotNull) {
    cds.edit();
    name.setText("");
    cds.post();
    ASSERT_TRUE(field("NOME").has_value());
    EXPECT_EQ(*field("NOME"), "");
}

TEST_F(EditTest, AssigningTheFieldDropsWhatWasTyped) {
    cds.edit();
    name.setText("typed");
    changes = 0;
    cds.fieldByName("NOME").setValue("code");
    EXPECT_EQ(name.text(), "code");
    EXPECT_FALSE(name.marked());
    EXPECT_EQ(changes, 1);
    cds.post();
    EXPECT_EQ(field("NOME"), "code");
}

TEST_F(EditTest, TypingIsCutAtMaxLengthInCharacters) {
    cds.edit();
    name.setMaxLength(3);
    ASSERT_TRUE(tk::Input::type(form, "dbeNome", "Ação!").ok());
    EXPECT_EQ(name.text(), "Açã");
    EXPECT_EQ(changes, 1);
}

TEST_F(EditTest, DisplayTextGoesThroughTheFieldMask) {
    auto& flag = form.add<tk::TDBEdit>("dbeFlag");
    flag.setDataSource(&dts);
    flag.setDataField("CODIGO");
    cds.fieldByName("CODIGO").setEditMask("9-9;0;_");
    EXPECT_EQ(flag.text(), "01");
    EXPECT_EQ(flag.displayText(), "0-1");
    cds.edit();
    ASSERT_TRUE(tk::Input::type(form, "dbeFlag", "2-3").ok());
    EXPECT_EQ(flag.text(), "23");
}

TEST_F(EditTest, DBTextShowsTheDisplayTextThroughTheGetTextHandler) {
    auto& label = form.add<tk::TDBText>("dbtNome");
    label.setDataSource(&dts);
    label.setDataField("NOME");
    cds.fieldByName("NOME").onGetText = [](tk::Field&, std::string& text, bool display) {
        if (display) text = "[" + text + "]";
    };
    cds.moveTo(2);
    EXPECT_EQ(label.text(), "[alfa]");
    EXPECT_EQ(name.text(), "alfa");
}

} // namespace
