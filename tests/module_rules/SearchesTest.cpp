// The code edits of the referenced entities and their search buttons: codes adjusted and checked
// against the application server, names shown beside them, searches that fill the edits, and the
// default supplier checked against the supplier table.

#include "RulesFixture.h"

namespace {

using rules_testing::RulesTest;
using testing_support::Row;

// ---- cost type, price table and bonus operation type -------------------------------------------

struct CodeLookup {
    const char* label;
    const char* edit;
    const char* nameEdit;
    const char* codeField;
    const char* operation;
    const char* table;
    Row row; // the entity with code "05"
    const char* name;
    const char* notFound;
};
void PrintTo(const CodeLookup& c, std::ostream* os) {
    *os << c.label;
}

const CodeLookup kCodeLookups[] = {
    {"tipo de custo",
     "dbeSetor",
     "dbeNmSetor",
     "CDTIPOCUSTO",
     "GetVdCusto",
     "TIPOCUSTO",
     {{"CDTIPOCUSTO", "05"}, {"NMTIPOCUSTO", "Custo médio"}},
     "Custo médio",
     "Tipo de Custo não cadastrado."},
    {"tabela de preço",
     "dbePreco",
     "dbeValor",
     "CDPRECOBASE",
     "GetVdPreco",
     "TABPRECO",
     {{"CDPRECOBASE", "05"}, {"DSPRECOBASE", "Tabela de varejo"}},
     "Tabela de varejo",
     "Tabela de Preço não cadastrada."},
    {"bonificação",
     "dbeBonificacao",
     "dbeBonif",
     "CDTIPOOPERBONIF",
     "GetVdBonif",
     "TIPOOPERAC",
     {{"IDENTRSAIDOP", "S"}, {"CDTIPOOPER", "05"}, {"NMTIPOOPER", "Bonificação de venda"}},
     "Bonificação de venda",
     "Tipo de operação para bonificação não cadastrada."},
};

class CodeLookupTest : public RulesTest, public ::testing::WithParamInterface<CodeLookup> {
protected:
    void SetUp() override {
        RulesTest::SetUp();
        insertRow(GetParam().table, GetParam().row);
    }
};

TEST_P(CodeLookupTest, AOneCharacterCodeIsAdjustedBeforeTheServerIsAskedAndItsNameShown) {
    const auto& c = GetParam();
    alter("S");
    type(c.edit, "5");
    EXPECT_EQ(text(c.nameEdit), "");
    focus("dbeNmTipoOper");

    EXPECT_EQ(text(c.edit), "05");
    EXPECT_EQ(field(c.codeField), "05");
    EXPECT_EQ(text(c.nameEdit), c.name);
    const auto calls = callsOf(c.operation);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0][0], "05");
    if (std::string(c.operation) == "GetVdBonif") {
        EXPECT_EQ(calls[0][1], "S") << "the kind listed";
    }

    // A changed code empties the name until the next check.
    type(c.edit, "0");
    EXPECT_EQ(text(c.nameEdit), "");
}

TEST_P(CodeLookupTest, AnUnknownCodeIsRefusedAndTheFocusReturnsToIt) {
    const auto& c = GetParam();
    alter("S");
    type(c.edit, "9");
    EXPECT_THROW((void)tk::Input::focus(screen(), "dbeNmTipoOper"), tk::SilentAbort);
    EXPECT_EQ(lastError(), c.notFound);
    EXPECT_EQ(screen().activeControl(), &control(c.edit));
    EXPECT_EQ(screen().pgcPadrao.activePage(), &screen().tshFormulario);
    EXPECT_EQ(text(c.edit), "09") << "the adjusted code stays for correction";
    EXPECT_EQ(screen().cdsTipOper.state(), tk::DataSetState::Edit);
}

TEST_P(CodeLookupTest, AnEmptyCodeAsksNothingAndTheSaveGoesOn) {
    const auto& c = GetParam();
    alter("S");
    focus(c.edit);
    focus("dbeNmTipoOper");
    click("sbtConfirmar");
    EXPECT_EQ(screen().cdsTipOper.state(), tk::DataSetState::Browse);
    EXPECT_TRUE(callsOf(c.operation).empty());
    EXPECT_EQ(lastError(), "");
}

INSTANTIATE_TEST_SUITE_P(Codes, CodeLookupTest, ::testing::ValuesIn(kCodeLookups));

using LookupTest = RulesTest;

TEST_F(LookupTest, WhileBrowsingOnlyThePriceTableIsChecked) {
    show("S", {{"CDTIPOCUSTO", "07"}, {"CDPRECOBASE", "07"}, {"CDTIPOOPERBONIF", "07"}});
    expectOk(tk::Input::page(screen(), "tshFormulario"));
    focus("dbeSetor");
    focus("dbeBonificacao");
    focus("dbePreco");
    EXPECT_THROW((void)tk::Input::focus(screen(), "dbeNmTipoOper"), tk::SilentAbort);
    EXPECT_EQ(lastError(), "Tabela de Preço não cadastrada.");
    EXPECT_EQ(screen().activeControl(), &control("dbePreco"));
    EXPECT_TRUE(callsOf("GetVdCusto").empty());
    EXPECT_TRUE(callsOf("GetVdBonif").empty());
    EXPECT_EQ(screen().cdsTipOper.state(), tk::DataSetState::Browse);
}

struct SearchCase {
    const char* label;
    const char* button;
    const char* edit;
    const char* nameEdit;
    const char* codeField;
    const char* table;
    std::vector<Row> rows;
    Row stored; // the record's reference before the search
    int pick;   // 0-based row of the list, in code order (the record itself heads the bonus list)
    const char* code;
    const char* nameAtOnce; // the name shown right after the choice
    const char* nameChecked;
};
void PrintTo(const SearchCase& c, std::ostream* os) {
    *os << c.label;
}

const SearchCase kSearches[] = {
    {"custo diferente",
     "btpPesqSetor",
     "dbeSetor",
     "dbeNmSetor",
     "CDTIPOCUSTO",
     "TIPOCUSTO",
     {{{"CDTIPOCUSTO", "01"}, {"NMTIPOCUSTO", "Custo médio"}},
      {{"CDTIPOCUSTO", "02"}, {"NMTIPOCUSTO", "Custo de reposição"}}},
     {{"CDTIPOCUSTO", "01"}},
     1,
     "02",
     "",
     "Custo de reposição"},
    {"mesmo custo",
     "btpPesqSetor",
     "dbeSetor",
     "dbeNmSetor",
     "CDTIPOCUSTO",
     "TIPOCUSTO",
     {{{"CDTIPOCUSTO", "01"}, {"NMTIPOCUSTO", "Custo médio"}},
      {{"CDTIPOCUSTO", "02"}, {"NMTIPOCUSTO", "Custo de reposição"}}},
     {{"CDTIPOCUSTO", "01"}},
     0,
     "01",
     "Custo médio",
     "Custo médio"},
    {"tabela de preço",
     "btnPesqPreco",
     "dbePreco",
     "dbeValor",
     "CDPRECOBASE",
     "TABPRECO",
     {{{"CDPRECOBASE", "01"}, {"DSPRECOBASE", "Varejo"}},
      {{"CDPRECOBASE", "02"}, {"DSPRECOBASE", "Atacado"}}},
     {},
     1,
     "02",
     "Atacado",
     "Atacado"},
    {"bonificação",
     "btnPesqTpBonif",
     "dbeBonificacao",
     "dbeBonif",
     "CDTIPOOPERBONIF",
     "TIPOOPERAC",
     {{{"IDENTRSAIDOP", "S"}, {"CDTIPOOPER", "05"}, {"NMTIPOOPER", "Bonificação A"}},
      {{"IDENTRSAIDOP", "S"}, {"CDTIPOOPER", "06"}, {"NMTIPOOPER", "Bonificação B"}},
      {{"IDENTRSAIDOP", "E"}, {"CDTIPOOPER", "07"}, {"NMTIPOOPER", "Bonificação de compra"}}},
     {},
     2,
     "06",
     "Bonificação B",
     "Bonificação B"},
};

class SearchTest : public RulesTest, public ::testing::WithParamInterface<SearchCase> {};

TEST_P(SearchTest, ASearchPutsTheRecordInEditAndFillsTheEdits) {
    const auto& c = GetParam();
    for (const auto& row : c.rows)
        insertRow(c.table, row);
    show("S", c.stored);
    expectOk(tk::Input::page(screen(), "tshFormulario"));
    dialogs.rowAnswers.push_back(c.pick);

    click(c.button);

    EXPECT_EQ(screen().cdsTipOper.state(), tk::DataSetState::Edit);
    EXPECT_EQ(text(c.edit), c.code);
    EXPECT_EQ(text(c.nameEdit), c.nameAtOnce);
    // Leaving the code checks it and shows the name; the save stores the code.
    focus(c.edit);
    focus("dbeNmTipoOper");
    EXPECT_EQ(text(c.nameEdit), c.nameChecked);
    click("sbtConfirmar");
    EXPECT_EQ(dbValue(std::string("SELECT ") + c.codeField +
                      " FROM TIPOOPERAC WHERE IDENTRSAIDOP='S' AND CDTIPOOPER='01'"),
              c.code);
}

INSTANTIATE_TEST_SUITE_P(Buttons, SearchTest, ::testing::ValuesIn(kSearches));

TEST_F(LookupTest, AClosedSearchListStillLeavesTheRecordInEdit) {
    insertRow("TABPRECO", {{"CDPRECOBASE", "01"}, {"DSPRECOBASE", "Varejo"}});
    show("S");
    expectOk(tk::Input::page(screen(), "tshFormulario"));
    dialogs.rowAnswers.push_back(std::nullopt);
    click("btnPesqPreco");
    EXPECT_EQ(screen().cdsTipOper.state(), tk::DataSetState::Edit);
    EXPECT_EQ(text("dbePreco"), "");
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].title, "Tabela Preço");
    EXPECT_EQ(dialogs.asked[0].rows.rows, (std::vector<std::vector<std::string>>{{"01", "Varejo"}}));
}

TEST_F(LookupTest, TheBonusSearchAndCheckAskForTheKindShownNow) {
    insertTipOper("S", "01", "Venda");
    insertTipOper("E", "01", "Compra");
    insertTipOper("S", "06", "Bonificação de venda");
    insertTipOper("E", "07", "Bonificação de compra");
    open();
    loadKind(1);
    auto& s = screen();
    expectOk(tk::Input::page(s, "tshFormulario"));
    dialogs.rowAnswers.push_back(std::nullopt);
    click("btnPesqTpBonif");
    dialogs.confirmAnswers.push_back(tk::kAnswerYes);
    click("sbtCancelar");

    loadKind(0);
    expectOk(tk::Input::page(s, "tshFormulario"));
    dialogs.rowAnswers.push_back(std::nullopt);
    click("btnPesqTpBonif");
    using nlohmann::json;
    ASSERT_EQ(callsOf("GetBonificacao"), (std::vector<json>{json::array({"S"}), json::array({"E"})}));
    const auto firstColumn = [&](std::size_t asked) {
        std::vector<std::string> codes;
        for (const auto& row : dialogs.asked.at(asked).rows.rows)
            codes.push_back(row.at(0));
        return codes;
    };
    EXPECT_EQ(firstColumn(0), (std::vector<std::string>{"01", "06"}));
    EXPECT_EQ(firstColumn(2), (std::vector<std::string>{"01", "07"})) << "after the cancel question";

    // A code of the other kind is not a bonus type of this one.
    type("dbeBonificacao", "6");
    EXPECT_THROW((void)tk::Input::focus(s, "dbeNmTipoOper"), tk::SilentAbort);
    EXPECT_EQ(lastError(), "Tipo de operação para bonificação não cadastrada.");
    EXPECT_EQ(callsOf("GetVdBonif"), (std::vector<json>{json::array({"06", "E"})}));
}

// ---- default supplier --------------------------------------------------------------------------

class SupplierTest : public RulesTest {
protected:
    void SetUp() override {
        RulesTest::SetUp();
        insertRow("FORNECEDOR", {{"CDFORNECED", "F001"},
                                 {"NRINSJURFORN", "12345678901"},
                                 {"NMRAZSOCFORN", "João da Silva"},
                                 {"IDTPIJURFORN", "F"}});
        insertRow("FORNECEDOR", {{"CDFORNECED", "J001"},
                                 {"NRINSJURFORN", "11222333000181"},
                                 {"NMRAZSOCFORN", "Empresa Brasileira SA"},
                                 {"IDTPIJURFORN", "J"}});
    }
    static Row withSupplierOption(Row flags = {}) {
        flags.insert({{"IDORIGDESTOP", "F"}, {"IDINFCPFCNPJNF", "S"}});
        return flags;
    }
    std::string mask() { return screen().cdsTipOper.fieldByName("NRINSJURFORN").editMask(); }
    static constexpr const char* kCnpj = "99.999.999/9999-99;0;_";
    static constexpr const char* kCpf = "999.999.999-99;0;_";
};

TEST_F(SupplierTest, AKnownNumberFillsTheSupplierAndTakesTheMaskOfItsPersonType) {
    alter("E", withSupplierOption());
    type("dbeCdFornePadr", "11222333000181");
    focus("dbeNmOper");

    EXPECT_EQ(mask(), kCnpj);
    EXPECT_EQ(screen().get<tk::TDBEdit>("dbeCdFornePadr").displayText(), "11.222.333/0001-81");
    EXPECT_EQ(text("dbeNmRazsocForn"), "Empresa Brasileira SA");
    EXPECT_EQ(field("IDTPIJURFORN"), "J");
    EXPECT_EQ(field("CDFORNECEDPADR"), "J001");

    type("dbeNmOper", "Compra à vista");
    click("sbtConfirmar");
    EXPECT_EQ(dbValue("SELECT CDFORNECEDPADR || '/' || NRINSJURFORN || '/' || IDTPIJURFORN FROM TIPOOPERAC "
                      "WHERE CDTIPOOPER='01'"),
              "J001/11222333000181/J");
}

TEST_F(SupplierTest, AnUnknownNumberIsRefusedAndFillsNothing) {
    alter("E", withSupplierOption(
                   {{"NRINSJURFORN", "12345678901"}, {"IDTPIJURFORN", "F"}, {"CDFORNECEDPADR", "F001"}}));
    type("dbeCdFornePadr", "99999999999");
    EXPECT_THROW((void)tk::Input::focus(screen(), "dbeNmOper"), tk::SilentAbort);
    EXPECT_EQ(lastError(), "Fornecedor não cadastrado.");
    EXPECT_EQ(screen().activeControl(), &control("dbeCdFornePadr"));
    EXPECT_EQ(field("IDTPIJURFORN"), "F");
    EXPECT_EQ(field("CDFORNECEDPADR"), "F001");
    EXPECT_EQ(text("dbeNmRazsocForn"), "") << "emptied by the change of number";
}

TEST_F(SupplierTest, AnEmptyNumberPassesTheEditButNotTheSave) {
    alter("E", withSupplierOption());
    focus("dbeCdFornePadr");
    focus("dbeNmOper");
    EXPECT_EQ(lastError(), "");
    type("dbeNmOper", "Compra à vista");
    EXPECT_THROW((void)tk::Input::click(screen(), "sbtConfirmar"), tk::SilentAbort);
    EXPECT_EQ(lastError(), "Fornecedor padrão deve ser informado.");
    EXPECT_EQ(screen().activeControl(), &control("dbeCdFornePadr"));
    EXPECT_EQ(screen().cdsTipOper.state(), tk::DataSetState::Edit);
}

TEST_F(SupplierTest, WhileBrowsingTheNumberIsCheckedButNothingChanges) {
    insertTipOper("E", "01", "Fornecedor conhecido",
                  withSupplierOption(
                      {{"NRINSJURFORN", "12345678901"}, {"IDTPIJURFORN", "F"}, {"CDFORNECEDPADR", "OUTRO"}}));
    insertTipOper("E", "02", "Fornecedor excluído",
                  withSupplierOption({{"NRINSJURFORN", "00000000000"}, {"IDTPIJURFORN", "F"}}));
    open();
    loadKind(0);
    auto& s = screen();
    expectOk(tk::Input::page(s, "tshFormulario"));
    ASSERT_EQ(mask(), kCpf);

    focus("dbeCdFornePadr");
    EXPECT_EQ(mask(), "") << "entering while browsing takes the mask away";
    focus("dbeNmOper");
    EXPECT_EQ(field("CDFORNECEDPADR"), "OUTRO");
    EXPECT_EQ(mask(), "");
    EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Browse);

    expectOk(tk::Input::move(s, "cdsTipOper", 2));
    focus("dbeCdFornePadr");
    EXPECT_THROW((void)tk::Input::focus(s, "dbeNmOper"), tk::SilentAbort);
    EXPECT_EQ(lastError(), "Fornecedor não cadastrado.");
}

TEST_F(SupplierTest, EnteringTheNumberWhileEditingKeepsItsMask) {
    alter("E", withSupplierOption({{"NRINSJURFORN", "12345678901"}, {"IDTPIJURFORN", "F"}}));
    ASSERT_EQ(mask(), kCpf);
    focus("dbeCdFornePadr");
    EXPECT_EQ(mask(), kCpf);
}

TEST_F(SupplierTest, TheListShowsEverySupplierInItsOwnMaskAndTheChoiceFillsTheRecord) {
    show("E", withSupplierOption({{"NRINSJURFORN", "11222333000181"}, {"IDTPIJURFORN", "J"}}));
    auto& s = screen();
    expectOk(tk::Input::page(s, "tshFormulario"));
    dialogs.rowAnswers.push_back(1);

    click("btpFornecedor");

    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].title, "Fornecedor");
    EXPECT_EQ(dialogs.asked[0].rows.rows,
              (std::vector<std::vector<std::string>>{{"11.222.333/0001-81", "Empresa Brasileira SA"},
                                                     {"123.456.789-01", "João da Silva"}}));
    EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Edit);
    EXPECT_EQ(field("NRINSJURFORN"), "12345678901");
    EXPECT_EQ(field("NMRAZSOCFORN"), "João da Silva");
    EXPECT_EQ(field("IDTPIJURFORN"), "F");
    EXPECT_EQ(field("CDFORNECEDPADR"), "F001");
    EXPECT_EQ(text("dbeNmRazsocForn"), "João da Silva");
    EXPECT_EQ(mask(), kCnpj) << "the mask follows only at the next check";

    focus("dbeCdFornePadr");
    focus("dbeNmOper");
    EXPECT_EQ(mask(), kCpf);
}

} // namespace
