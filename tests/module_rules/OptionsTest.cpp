// The click rules between option flags, clicked as a user clicks them: what each option excludes,
// requires or unlocks, the cascades between the rules, and what reaches the database.

#include "RulesFixture.h"

namespace {

using rules_testing::RulesTest;
using testing_support::Row;

using OptionsTest = RulesTest;

TEST_F(OptionsTest, CheckingDueDatesEndsAReversalAndTheReversalRuleClearsBothImportFlags) {
    alter("E", {{"IDUTILVENC", "N"}, {"IDNFESTCANC", "S"}, {"IDNFIMPORTACAOIND", "S"}});
    ASSERT_TRUE(box("dckEstornoCanc").checked());
    ASSERT_TRUE(box("dckEstornoCanc").enabled());
    ASSERT_FALSE(box("dckIDNFIMPORTACAO").enabled()) << "a reversal shown keeps the import boxes closed";

    click("dckIdUtilVenc");

    EXPECT_EQ(field("IDUTILVENC"), "S");
    EXPECT_EQ(field("IDNFESTCANC"), "N");
    EXPECT_FALSE(box("dckEstornoCanc").checked());
    EXPECT_FALSE(box("dckEstornoCanc").enabled());
    // Raised in between by the reversal box losing its check.
    EXPECT_EQ(field("IDNFIMPORTACAO"), "N");
    EXPECT_EQ(field("IDNFIMPORTACAOIND"), "N");
    EXPECT_TRUE(box("dckIDNFIMPORTACAO").enabled());
    EXPECT_TRUE(box("dckIDNFIMPORTACAOIND").enabled());
    EXPECT_TRUE(box("dckNotaDevo").enabled());
    for (const char* name : {"dbcIdGeraVenNf", "dckVencObri", "dckIdGeraVenc"})
        EXPECT_TRUE(box(name).enabled()) << name;

    click("sbtConfirmar");
    EXPECT_EQ(
        dbValue(
            "SELECT IDUTILVENC || IDNFESTCANC || IDNFIMPORTACAOIND FROM TIPOOPERAC WHERE CDTIPOOPER='01'"),
        "SNN");
}

struct DueDatesOffCase {
    const char* label;
    Row flags;
    bool reversalOpen;
};
void PrintTo(const DueDatesOffCase& c, std::ostream* os) {
    *os << c.label;
}

class DueDatesOffTest : public RulesTest, public ::testing::WithParamInterface<DueDatesOffCase> {};

TEST_P(DueDatesOffTest, ClearingDueDatesReopensTheReversalOnlyWithoutGiftsOrAdjustment) {
    const auto& c = GetParam();
    Row flags = c.flags;
    flags.insert({{"IDUTILVENC", "S"}, {"IDGERAVENC", "S"}, {"IDUTILVENCOBR", "S"}, {"IDGERAVENCNFAP", "S"}});
    alter("S", flags);
    ASSERT_FALSE(box("dckEstornoCanc").enabled());

    click("dckIdUtilVenc");

    EXPECT_EQ(box("dckEstornoCanc").enabled(), c.reversalOpen);
    EXPECT_FALSE(box("dckEstornoCanc").checked());
    EXPECT_EQ(field("IDGERAVENC"), "N");
    EXPECT_EQ(field("IDUTILVENCOBR"), "N");
    for (const char* name : {"dckVencObri", "dckIdGeraVenc", "dbcIdGeraVenNf"}) {
        EXPECT_FALSE(box(name).checked()) << name;
        EXPECT_FALSE(box(name).enabled()) << name;
    }
    EXPECT_EQ(field("IDUTILVENC"), "S") << "the box's own field follows the toggle only when it is written";
}

INSTANTIATE_TEST_SUITE_P(Cases, DueDatesOffTest,
                         ::testing::Values(DueDatesOffCase{"sem brinde nem ajuste", {}, true},
                                           DueDatesOffCase{"brinde", {{"IDBRINDETPOPER", "S"}}, false},
                                           DueDatesOffCase{"ajuste", {{"IDNFAJUSTE", "S"}}, false}));

TEST_F(OptionsTest, AReversalOfAnExistingTypeRequiresItsOriginDocuments) {
    alter("E", {{"IDOPERDEVONF", "N"},
                {"IDNFORIGOBRI", "N"},
                {"IDNOTADEVO", "S"},
                {"IDNFIMPORTACAO", "N"},
                {"IDNFIMPORTACAOIND", "N"}});
    ASSERT_TRUE(box("dckEstornoCanc").enabled());

    click("dckEstornoCanc");

    EXPECT_EQ(field("IDNFORIGOBRI"), "S");
    EXPECT_EQ(field("IDOPERDEVONF"), "S");
    EXPECT_TRUE(box("dckDocDevo").checked());
    EXPECT_TRUE(box("dckOrigObrig").checked());
    EXPECT_TRUE(screen().rbtTodosF->checked());
    EXPECT_TRUE(screen().rbtListaF->enabled());
    EXPECT_TRUE(screen().grbDocOrigem->enabled()) << "the origin-document group opened through its own rule";
    EXPECT_FALSE(box("dckNotaDevo").checked());
    EXPECT_FALSE(box("dckNotaDevo").enabled());
    EXPECT_EQ(field("IDNOTADEVO"), "N");
    EXPECT_FALSE(box("dckPesqLista").enabled());
    EXPECT_FALSE(box("dckIDNFIMPORTACAO").enabled());
    EXPECT_FALSE(box("dckIDNFIMPORTACAOIND").enabled());

    click("sbtConfirmar");
    EXPECT_EQ(dbValue("SELECT IDNFESTCANC || IDOPERDEVONF || IDNFORIGOBRI || IDNOTADEVO || IDNFIMPORTACAO "
                      "FROM TIPOOPERAC WHERE CDTIPOOPER='01'"),
              "SSSNN");
}

TEST_F(OptionsTest, AReversalOfANewTypeLeavesTheOriginDocumentsToTheSaveChecks) {
    open();
    loadKind(0);
    click("sbtIncluir");
    type("dbeCdTipoOper", "02");
    focus("dbeNmTipoOper");
    type("dbeNmTipoOper", "Estorno de cancelamento");
    ASSERT_EQ(field("IDOPERDEVONF"), "N");
    ASSERT_EQ(field("IDNFORIGOBRI"), "N");

    click("dckEstornoCanc");

    EXPECT_EQ(field("IDOPERDEVONF"), "N");
    EXPECT_EQ(field("IDNFORIGOBRI"), "N");
    EXPECT_FALSE(box("dckDocDevo").checked());
    EXPECT_FALSE(box("dckOrigObrig").checked());
    EXPECT_EQ(field("IDNFIMPORTACAO"), "N");
    EXPECT_EQ(field("IDNFIMPORTACAOIND"), "N");
    EXPECT_FALSE(box("dckNotaDevo").enabled());

    EXPECT_THROW((void)tk::Input::click(screen(), "sbtConfirmar"), tk::SilentAbort);
    EXPECT_EQ(lastError(),
              "Atenção! Tipo de operação de estorno de cancelamento deve utilizar documento de origem.");
    EXPECT_EQ(screen().cdsTipOper.state(), tk::DataSetState::Insert);
}

TEST_F(OptionsTest, TheImportBoxesExcludeEachOtherWhileEditingAndWhileBrowsing) {
    insertTipOper("E", "01", "Sem importação", withCharges({}));
    insertTipOper("E", "02", "Importação direta", withCharges({{"IDNFIMPORTACAO", "S"}}));
    open();
    loadKind(0);
    auto& s = screen();
    EXPECT_TRUE(box("dckIDNFIMPORTACAOIND").enabled());
    expectOk(tk::Input::move(s, "cdsTipOper", 2));
    EXPECT_FALSE(box("dckIDNFIMPORTACAOIND").enabled()) << "a direct import shown closes the indirect one";
    expectOk(tk::Input::move(s, "cdsTipOper", 1));
    EXPECT_TRUE(box("dckIDNFIMPORTACAOIND").enabled());

    click("sbtAlterar");
    const std::pair<const char*, const char*> pairs[] = {{"dckIDNFIMPORTACAO", "dckIDNFIMPORTACAOIND"},
                                                         {"dckIDNFIMPORTACAOIND", "dckIDNFIMPORTACAO"}};
    for (const auto& [clicked, other] : pairs) {
        click(clicked);
        EXPECT_TRUE(box(clicked).checked()) << clicked;
        EXPECT_FALSE(box(other).checked()) << clicked;
        EXPECT_FALSE(box(other).enabled()) << clicked;
        click(clicked);
        EXPECT_TRUE(box(other).enabled()) << "clearing " << clicked << " reopens " << other;
    }
}

TEST_F(OptionsTest, TheAidfControlFollowsTheInvoiceNumberOnlyForExits) {
    alter("S", {{"IDPERNUMENF", "N"}, {"IDUTCTRLAIDF", "S"}});
    ASSERT_FALSE(box("dbcUtCtrlAIDF").enabled());

    click("dbcInfNumeNf");
    EXPECT_TRUE(box("dbcUtCtrlAIDF").enabled());

    // A click on the AIDF box itself rules nothing: every other box keeps its state.
    auto states = [this] {
        std::vector<std::pair<bool, tk::CheckState>> out;
        for (const auto& c : screen().controls())
            if (auto* b = dynamic_cast<tk::TDBCheckBox*>(c.get()); b && b->name() != "dbcUtCtrlAIDF")
                out.emplace_back(b->enabled(), b->state());
        return out;
    };
    const auto before = states();
    click("dbcUtCtrlAIDF");
    EXPECT_EQ(states(), before);
    click("dbcUtCtrlAIDF");
    EXPECT_EQ(states(), before);

    // Leaving the AIDF box wrote its check back as "S"; clearing the invoice number overrides it.
    click("dbcInfNumeNf");
    EXPECT_FALSE(box("dbcUtCtrlAIDF").enabled());
    EXPECT_EQ(field("IDUTCTRLAIDF"), "N");
}

TEST_F(OptionsTest, AReturnInvoiceAndAnAdjustmentInvoiceExcludeEachOther) {
    alter("E", {{"IDOPERDEVONF", "N"}, {"IDNOTADEVO", "N"}, {"IDNFAJUSTE", "N"}});

    click("dbcNfAjuste");
    EXPECT_FALSE(box("dckNotaDevo").enabled());
    EXPECT_FALSE(box("dckEstornoCanc").enabled());
    click("dbcNfAjuste");
    EXPECT_TRUE(box("dckNotaDevo").enabled());
    EXPECT_TRUE(box("dckEstornoCanc").enabled());

    click("dckNotaDevo");
    EXPECT_FALSE(box("dbcNfAjuste").enabled());
    EXPECT_FALSE(box("dckEstornoCanc").enabled());
    EXPECT_EQ(field("IDNFAJUSTE"), "N");
    ASSERT_TRUE(box("dckSugQtdTotDev").enabled());
    click("dckSugQtdTotDev");
    EXPECT_EQ(field("IDSUGQTDTOTDEV"), "S");

    click("dckNotaDevo");
    EXPECT_TRUE(box("dbcNfAjuste").enabled());
    EXPECT_TRUE(box("dckEstornoCanc").enabled());
    EXPECT_FALSE(box("dckSugQtdTotDev").enabled());
    EXPECT_TRUE(box("dckSugQtdTotDev").checked()) << "closing the suggestion keeps its check";
}

struct ReturnOffCase {
    const char* originDocuments; // IDOPERDEVONF; nullptr for null
    bool adjustmentOpen;
};
void PrintTo(const ReturnOffCase& c, std::ostream* os) {
    *os << (c.originDocuments ? c.originDocuments : "nulo");
}

class ReturnOffTest : public RulesTest, public ::testing::WithParamInterface<ReturnOffCase> {};

TEST_P(ReturnOffTest, ClearingAReturnReopensTheAdjustmentOnlyWhenTheStoredFlagSaysNo) {
    Row flags = {{"IDNOTADEVO", "N"}};
    if (GetParam().originDocuments) flags["IDOPERDEVONF"] = GetParam().originDocuments;
    alter("S", flags);
    click("dckNotaDevo");
    click("dckNotaDevo");
    EXPECT_EQ(box("dbcNfAjuste").enabled(), GetParam().adjustmentOpen);
}

INSTANTIATE_TEST_SUITE_P(StoredFlag, ReturnOffTest,
                         ::testing::Values(ReturnOffCase{"N", true}, ReturnOffCase{"S", false},
                                           ReturnOffCase{nullptr, false}));

TEST_F(OptionsTest, ClearingTheCpfOptionRemovesTheDefaultSupplier) {
    insertRow("FORNECEDOR", {{"CDFORNECED", "F001"},
                             {"NRINSJURFORN", "12345678901"},
                             {"NMRAZSOCFORN", "Fornecedor Um"},
                             {"IDTPIJURFORN", "F"}});
    alter("E", {{"IDORIGDESTOP", "F"},
                {"IDINFCPFCNPJNF", "S"},
                {"NRINSJURFORN", "12345678901"},
                {"IDTPIJURFORN", "F"},
                {"CDFORNECEDPADR", "F001"},
                {"DSOPERNFAVISTA", "Compra à vista"}});
    ASSERT_TRUE(control("dbeCdFornePadr").enabled());
    ASSERT_EQ(text("dbeNmRazsocForn"), "Fornecedor Um");

    click("dckInfCPF");

    EXPECT_EQ(text("dbeCdFornePadr"), "");
    EXPECT_EQ(text("dbeNmRazsocForn"), "");
    EXPECT_EQ(text("dbeNmOper"), "");
    EXPECT_EQ(field("NRINSJURFORN"), "<null>");
    EXPECT_EQ(field("DSOPERNFAVISTA"), "<null>");
    EXPECT_EQ(field("IDTPIJURFORN"), "<null>");
    EXPECT_EQ(field("CDFORNECEDPADR"), "");
    for (const tk::Control* c : screen().grbFornePadr->children())
        EXPECT_FALSE(c->enabled()) << c->name();

    click("dckInfCPF");
    for (const tk::Control* c : screen().grbFornePadr->children())
        EXPECT_EQ(c->enabled(), c->name() != "dbeNmRazsocForn") << c->name();
    click("dckInfCPF");

    click("sbtConfirmar");
    EXPECT_EQ(dbValue("SELECT IDINFCPFCNPJNF FROM TIPOOPERAC WHERE CDTIPOOPER='01'"), "N");
    for (const char* column : {"NRINSJURFORN", "CDFORNECEDPADR", "IDTPIJURFORN", "DSOPERNFAVISTA"})
        EXPECT_EQ(dbValue(std::string("SELECT ") + column + " FROM TIPOOPERAC WHERE CDTIPOOPER='01'"),
                  "<null>")
            << column;
}

TEST_F(OptionsTest, StockUpdatesOpenTheOriginCostOnlyForEntries) {
    alter("E", {{"IDOPERDEVONF", "S"}, {"IDATUESTTPOP", "N"}, {"IDUTCUSORIGEST", "N"}});
    ASSERT_FALSE(box("dckIDUtCusOrigEst").enabled());
    click("dckAtuaEst");
    EXPECT_TRUE(box("dckIDUtCusOrigEst").enabled());
    click("dckIDUtCusOrigEst");
    focus("dbeNmTipoOper");
    ASSERT_EQ(field("IDUTCUSORIGEST"), "S");
    click("dckAtuaEst");
    EXPECT_FALSE(box("dckIDUtCusOrigEst").enabled());
    EXPECT_FALSE(box("dckIDUtCusOrigEst").checked());
    EXPECT_EQ(field("IDUTCUSORIGEST"), "N");
}

TEST_F(OptionsTest, StockUpdatesInAnExitTouchNothing) {
    alter("S", {{"IDOPERDEVONF", "N"}, {"IDATUESTTPOP", "N"}, {"IDUTCUSORIGEST", "S"}});
    const bool wasEnabled = box("dckIDUtCusOrigEst").enabled();
    click("dckAtuaEst");
    EXPECT_EQ(field("IDUTCUSORIGEST"), "S");
    EXPECT_EQ(box("dckIDUtCusOrigEst").enabled(), wasEnabled);
}

struct UnlockCase {
    const char* kind;
    const char* option;
    const char* optionField;
    const char* dependent;
    const char* dependentField;
};
void PrintTo(const UnlockCase& c, std::ostream* os) {
    *os << c.option;
}

class UnlockTest : public RulesTest, public ::testing::WithParamInterface<UnlockCase> {};

TEST_P(UnlockTest, AnOptionOpensItsDependentAndClearingItStoresNo) {
    const auto& c = GetParam();
    alter(c.kind, {{c.optionField, "S"}, {c.dependentField, "S"}});
    ASSERT_TRUE(box(c.dependent).enabled());
    ASSERT_TRUE(box(c.dependent).checked());

    click(c.option);
    EXPECT_FALSE(box(c.dependent).enabled());
    EXPECT_EQ(field(c.dependentField), "N");
    EXPECT_FALSE(box(c.dependent).checked());

    click(c.option);
    EXPECT_TRUE(box(c.dependent).enabled());
}

INSTANTIATE_TEST_SUITE_P(Pairs, UnlockTest,
                         ::testing::Values(UnlockCase{"E", "dckNotaPrestServ", "IDNFPRESTSERV",
                                                      "dckUtLocPrestServ", "IDUTLOCPRESTSERV"},
                                           UnlockCase{"S", "dckUtlEmisNFSe", "IDUTILNFSE", "dckImpProdEmis",
                                                      "IDIMPDSPRODEMIS"}));

TEST_F(OptionsTest, BrowsingRecordsRunsTheRulesWithoutTouchingAnyRecord) {
    insertTipOper("E", "01", "Tudo marcado",
                  {{"IDUTILVENC", "S"},
                   {"IDNFESTCANC", "S"},
                   {"IDNFAJUSTE", "S"},
                   {"IDNOTADEVO", "S"},
                   {"IDBRINDETPOPER", "S"},
                   {"IDINFCPFCNPJNF", "S"},
                   {"IDNFPRESTSERV", "S"},
                   {"IDPERNUMENF", "S"},
                   {"IDSUGQTDTOTDEV", "S"},
                   {"IDATUESTTPOP", "S"},
                   {"IDNFIMPORTACAOIND", "S"}});
    insertTipOper("E", "02", "Nada marcado",
                  {{"IDUTILVENC", "N"},
                   {"IDNFESTCANC", "N"},
                   {"IDNFAJUSTE", "N"},
                   {"IDNOTADEVO", "N"},
                   {"IDBRINDETPOPER", "N"},
                   {"IDINFCPFCNPJNF", "N"},
                   {"IDNFPRESTSERV", "N"},
                   {"IDPERNUMENF", "N"}});
    open();
    loadKind(0);
    auto& s = screen();
    for (int recNo : {2, 1, 2}) {
        expectOk(tk::Input::move(s, "cdsTipOper", recNo));
        EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Browse);
        EXPECT_EQ(s.cdsTipOper.changeCount(), 0);
    }
    EXPECT_EQ(field("NMTIPOOPER"), "Nada marcado");
}

} // namespace
