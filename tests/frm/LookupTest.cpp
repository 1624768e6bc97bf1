#include "ScriptedDialogs.h"
#include "frm/BtnPesquisa.h"
#include "frm/PesquisaLista.h"
#include "frm/Procura.h"
#include "toolkit/DataSet.h"
#include "toolkit/Form.h"
#include "toolkit/Input.h"

#include <gtest/gtest.h>

namespace {

class LookupTest : public ::testing::Test {
protected:
    tk::Application app;
    tk::Application::Scope scope{app};
    ScriptedDialogs dialogs;
    tk::Form form{"frmTeste"};
    tk::DataSet& qry = form.addDataSet("qryPesqDocOrigem");
    tk::DataSource& dts = form.addDataSource("dtsPesqDocOrigem", &qry);
    std::vector<std::string> log;

    LookupTest() {
        app.setDialogs(&dialogs);
        qry.addField("OPERACAO", 4, "", false);
        qry.addField("CDTIPOOPER", 2, "Código");
        qry.addField("NMTIPOOPER", 30, "Nome");
    }

    void load(std::vector<std::vector<tk::Value>> rows) {
        wire::DataPacket packet;
        packet.fields = {
            {"OPERACAO", "string", 4}, {"CDTIPOOPER", "string", 2}, {"NMTIPOOPER", "string", 30}};
        packet.rows = std::move(rows);
        qry.setData(packet);
    }

    void loadSeven() {
        load({{"E-01", "01", "Compra"},
              {"E-02", "02", "Devolução"},
              {"E-05", "05", "Bonificação"},
              {"S-01", "01", "Venda"},
              {"S-02", "02", "Remessa"},
              {"S-03", "03", "Transferência"},
              {"S-04", "04", "Estorno"}});
    }
};

TEST_F(LookupTest, PesquisaListaOffersVisibleFieldsAndTheCurrentSelection) {
    loadSeven();
    dialogs.pickManyAnswers.push_back(std::vector<std::string>{"S-02", "E-01"});
    std::string list = "E-01,X-99";
    PesquisaLista(dts, "OPERACAO", "Tipo de Operação|Não há tipo de operação cadastrado.", false, list);
    ASSERT_EQ(dialogs.asked.size(), 1u);
    const auto& asked = dialogs.asked[0];
    EXPECT_EQ(asked.title, "Tipo de Operação");
    EXPECT_EQ(asked.text, "Não há tipo de operação cadastrado.");
    EXPECT_EQ(asked.rows.fields, (std::vector<std::string>{"CDTIPOOPER", "NMTIPOOPER"}));
    EXPECT_EQ(asked.rows.labels, (std::vector<std::string>{"Código", "Nome"}));
    EXPECT_EQ(asked.rows.rows.size(), 7u);
    EXPECT_EQ(asked.rows.keys.front(), "E-01");
    EXPECT_EQ(asked.selected, (std::vector<std::string>{"E-01", "X-99"}));
    // Keys in the order of the rows, whatever order the user picked them in.
    EXPECT_EQ(list, "E-01,S-02");
}

TEST_F(LookupTest, PesquisaListaSixItemsFitThirtyCharactersSevenDoNot) {
    loadSeven();
    std::vector<std::string> all = {"E-01", "E-02", "E-05", "S-01", "S-02", "S-03", "S-04"};
    dialogs.pickManyAnswers.push_back(std::vector<std::string>(all.begin(), all.begin() + 6));
    dialogs.pickManyAnswers.push_back(all);
    std::string list;
    PesquisaLista(dts, "OPERACAO", "T|V", false, list);
    EXPECT_EQ(list, "E-01,E-02,E-05,S-01,S-02,S-03");
    EXPECT_EQ(list.size(), 29u);
    PesquisaLista(dts, "OPERACAO", "T|V", false, list);
    EXPECT_EQ(list.size(), 34u);
}

TEST_F(LookupTest, PesquisaListaNothingPickedCancelAndEmptyDataset) {
    loadSeven();
    dialogs.pickManyAnswers.push_back(std::vector<std::string>{});
    dialogs.pickManyAnswers.push_back(std::nullopt);
    std::string list = "E-01";
    PesquisaLista(dts, "OPERACAO", "T|V", false, list);
    EXPECT_EQ(list, "");
    list = "E-02";
    PesquisaLista(dts, "OPERACAO", "T|V", false, list);
    EXPECT_EQ(list, "E-02");

    load({});
    dialogs.asked.clear();
    PesquisaLista(dts, "OPERACAO", "Encargo|Encargo não cadastrado", false, list);
    EXPECT_EQ(list, "E-02");
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].kind, "error");
    EXPECT_EQ(dialogs.asked[0].text, "Encargo não cadastrado");
    EXPECT_EQ(app.shown().back(), "Encargo não cadastrado");
}

class BtnPesquisaTest : public LookupTest {
protected:
    frm::TBtnPesquisa& button = form.add<frm::TBtnPesquisa>("btpDocOrigem");

    BtnPesquisaTest() {
        button.Title = "Tipo de Operação";
        button.DataSource = &dts;
        button.EmptyError = "Não há tipo de operação cadastrado.";
        button.onBeforePesq = [this](tk::Component&, bool&) { log.push_back("before"); };
        button.onAfterPesq = [this](tk::Component&) {
            log.push_back("after " + qry.fieldByName("OPERACAO").asString());
        };
    }
};

TEST_F(BtnPesquisaTest, PickedRowBecomesCurrentThenAfterPesqRuns) {
    loadSeven();
    dialogs.rowAnswers.push_back(3);
    ASSERT_TRUE(tk::Input::click(form, "btpDocOrigem").ok());
    EXPECT_EQ(log, (std::vector<std::string>{"before", "after S-01"}));
    EXPECT_EQ(dialogs.asked.at(0).kind, "pickOne");
    EXPECT_EQ(dialogs.asked.at(0).title, "Tipo de Operação");
}

TEST_F(BtnPesquisaTest, CancelRefusalAndEmptyListDoNothingMore) {
    loadSeven();
    dialogs.rowAnswers.push_back(std::nullopt);
    button.click();
    EXPECT_EQ(log, std::vector<std::string>{"before"});
    EXPECT_EQ(qry.recNo(), 1);

    log.clear();
    button.onBeforePesq = [this](tk::Component&, bool& allow) {
        log.push_back("before");
        allow = false;
    };
    button.click();
    EXPECT_EQ(dialogs.asked.size(), 1u);

    button.onBeforePesq = [this](tk::Component&, bool&) { load({}); };
    button.click();
    ASSERT_EQ(dialogs.asked.size(), 2u);
    EXPECT_EQ(dialogs.asked[1].kind, "error");
    EXPECT_EQ(dialogs.asked[1].text, "Não há tipo de operação cadastrado.");
}

TEST_F(BtnPesquisaTest, ClickHandlerReplacesTheSearch) {
    loadSeven();
    button.onClick = [this](tk::Control&) { log.push_back("click"); };
    button.click();
    EXPECT_EQ(log, std::vector<std::string>{"click"});
    EXPECT_TRUE(dialogs.asked.empty());
}

TEST_F(BtnPesquisaTest, RowsShowEachValueThroughItsGetTextWithoutScrollEvents) {
    // As a supplier list shows each registration number in the mask of its own row's kind.
    loadSeven();
    qry.fieldByName("NMTIPOOPER").onGetText = [this](tk::Field&, std::string& text, bool) {
        text = qry.fieldByName("OPERACAO").asString() + " " + text;
    };
    int scrolls = 0;
    qry.afterScroll = [&](tk::DataSet&) { ++scrolls; };
    qry.moveTo(2);
    scrolls = 0;
    dialogs.rowAnswers.push_back(std::nullopt);
    button.click();
    EXPECT_EQ(dialogs.asked.at(0).rows.rows.at(5).at(1), "S-03 Transferência");
    EXPECT_EQ(scrolls, 0);
    EXPECT_EQ(qry.recNo(), 2);
}

TEST_F(LookupTest, ProcuraLeavesTheDatasetOnTheRowFound) {
    loadSeven();
    int scrolls = 0;
    qry.afterScroll = [&](tk::DataSet&) { ++scrolls; };
    dialogs.rowAnswers.push_back(4);
    dialogs.rowAnswers.push_back(std::nullopt);
    Procura(qry);
    EXPECT_EQ(qry.recNo(), 5);
    EXPECT_EQ(scrolls, 1);
    Procura(qry);
    EXPECT_EQ(qry.recNo(), 5);
    qry.edit();
    Procura(qry); // a record being edited is not left
    EXPECT_EQ(dialogs.asked.size(), 2u);
}

} // namespace
