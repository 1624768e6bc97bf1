// What the form page offers after a record is shown, for the codes and flags with rules of their own,
// and the toolbar rules of both page sets.

#include "ScreenFixture.h"

namespace {

using testing_support::Row;
using testing_support::ScreenTest;

struct DisplayCase {
    const char* label;
    const char* kind; // "E" or "S"
    const char* code;
    Row flags;
    std::vector<std::pair<const char*, bool>> enabled;
};

const DisplayCase kCases[] = {
    {"E-03 com documento origem", "E", "03", {{"IDOPERDEVONF", "S"}},
     {{"dckDocDevo", false}, {"dbcNfAjuste", false}, {"dckNotaDevo", false}, {"dckOrigObrig", true},
      {"grbDocOrigem", true}, {"rbtListaF", true}, {"dckIDUtCusOrigEst", false}, {"dckAtuaEst", true}}},
    {"E-04", "E", "04", {{"IDOPERDEVONF", "N"}},
     {{"dckDocDevo", false}, {"dbcNfAjuste", false}, {"dckNotaDevo", true}, {"dckOrigObrig", false}}},
    {"E-05 atualiza estoque bloqueado", "E", "05", {{"IDOPERDEVONF", "S"}, {"IDATUESTTPOP", "S"}},
     {{"dckDocDevo", false}, {"dckAtuaEst", false}, {"dckIDUtCusOrigEst", false}, {"dckNotaDevo", true}}},
    {"S-10", "S", "10", {{"IDOPERDEVONF", "N"}}, {{"dckDocDevo", false}, {"dbcNfAjuste", false}, {"dckAtuaEst", true}}},
    {"S-11", "S", "11", {}, {{"dckDocDevo", false}, {"dckAtuaEst", false}}},
    {"E-13", "E", "13", {{"IDOPERDEVONF", "S"}},
     {{"dckDocDevo", false}, {"dckOrigObrig", false}, {"dckPesqLista", false}, {"grbDocOrigem", true}}},
    {"S-06", "S", "06", {{"IDOPERDEVONF", "S"}},
     {{"dckDocDevo", false}, {"dckOrigObrig", false}, {"dckPesqLista", true}, {"dckDocOrigRelac", false}}},
    {"S-13 sem regra própria", "S", "13", {{"IDOPERDEVONF", "N"}},
     {{"dckDocDevo", true}, {"dbcNfAjuste", true}, {"dckOrigObrig", false}}},
    {"E-07 com documento origem", "E", "07", {{"IDOPERDEVONF", "S"}, {"IDATUESTTPOP", "S"}},
     {{"dckDocDevo", true}, {"dckDocOrigRelac", true}, {"dckIDUtCusOrigEst", true}, {"dbcNfAjuste", false}}},
    {"S-20 filial", "S", "20", {{"IDORIGDESTOP", "L"}}, {{"dckGeraNFTrans", true}, {"dckInfCPF", false}}},
    {"E-20 filial", "E", "20", {{"IDORIGDESTOP", "L"}}, {{"dckGeraNFTrans", false}, {"dckInfCPF", false}}},
    {"E-21 fornecedor", "E", "21", {{"IDORIGDESTOP", "F"}}, {{"dckInfCPF", true}, {"dbeNmOper", false}}},
    {"E-22 vencimento", "E", "22", {{"IDUTILVENC", "S"}},
     {{"dbcIdGeraVenNf", true}, {"dckEstornoCanc", false}, {"dckVencObri", true}, {"dckIdGeraVenc", true}}},
    {"E-23 sem vencimento", "E", "23", {{"IDUTILVENC", "N"}, {"IDGERAVENCNFAP", "S"}},
     {{"dbcIdGeraVenNf", false}, {"dckEstornoCanc", true}, {"dckVencObri", false}}},
    {"S-24 nota de serviço", "S", "24", {{"IDUTILNFSE", "S"}, {"IDPERNUMENF", "S"}},
     {{"dckImpProdEmis", true}, {"dbcUtCtrlAIDF", true}, {"dbcEmiss", false}}},
};

class DisplayTest : public ScreenTest, public ::testing::WithParamInterface<DisplayCase> {};

TEST_P(DisplayTest, EnablesWhatTheRecordAllows) {
    const DisplayCase& c = GetParam();
    // The record is shown by a move, as leaving the filter adapts some options to the kind itself.
    insertTipOper(c.kind, "00", "Primeiro");
    insertTipOper(c.kind, c.code, std::string(c.label).substr(0, 30), c.flags);
    open();
    loadKind(std::string(c.kind) == "E" ? 0 : 1);
    auto& s = screen();
    expectOk(tk::Input::move(s, "cdsTipOper", 2));
    ASSERT_EQ(s.cdsTipOper.fieldByName("CDTIPOOPER").asString(), c.code);
    for (const auto& [name, expected] : c.enabled) EXPECT_EQ(s.control(name)->enabled(), expected) << c.label << ": " << name;
}

INSTANTIATE_TEST_SUITE_P(Codes, DisplayTest, ::testing::ValuesIn(kCases));

TEST_F(ScreenTest, AdjustmentWithCancellationReversalClearsTheShownCheckButKeepsTheField) {
    insertTipOper("E", "30", "Ajuste", {{"IDNFAJUSTE", "S"}, {"IDNFESTCANC", "S"}, {"IDOPERDEVONF", "S"}});
    open();
    loadKind(0);
    auto& s = screen();
    EXPECT_FALSE(s.dckEstornoCanc->checked());
    EXPECT_FALSE(s.dckEstornoCanc->enabled());
    EXPECT_EQ(s.cdsTipOper.fieldByName("IDNFESTCANC").asString(), "S");
    // Decided while the box still showed checked.
    EXPECT_FALSE(s.dckPesqLista->enabled());
    EXPECT_FALSE(s.dckNotaDevo->enabled());
}

TEST_F(ScreenTest, TheListRadiosFollowTheStoredListsWithoutStartingAnEdit) {
    insertTipOper("E", "01", "Lista vazia");
    insertTipOper("E", "02", "Com listas", {{"DSOPERENCRATPL", "01,03"}, {"DSOPERNFORIG", "E-01,S-02"}, {"IDOPERDEVONF", "S"}});
    insertTipOper("E", "03", "Todos os encargos", {{"DSOPERENCRATPL", "T"}});
    open();
    loadKind(0);
    auto& s = screen();
    EXPECT_TRUE(s.rbtEncargo->checked()) << "an empty charge list shows as a list";
    EXPECT_EQ(unit().stListaEncRat, "");
    EXPECT_TRUE(s.rbtTodosF->checked());
    EXPECT_FALSE(s.btpDocOrigem->enabled());

    expectOk(tk::Input::move(s, "cdsTipOper", 2));
    EXPECT_TRUE(s.rbtEncargo->checked());
    EXPECT_EQ(unit().stListaEncRat, "01,03");
    EXPECT_TRUE(s.rbtListaF->checked());
    EXPECT_EQ(unit().stDocOrigem, "E-01,S-02");
    EXPECT_TRUE(s.btpDocOrigem->enabled());

    expectOk(tk::Input::move(s, "cdsTipOper", 3));
    EXPECT_TRUE(s.rbtTEncargo->checked());
    EXPECT_EQ(unit().stListaEncRat, "");
    EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Browse) << "showing a record never starts an edit";
    EXPECT_TRUE(unit().boControlEncRat);
    EXPECT_FALSE(unit().boControlDocOrig);
}

TEST_F(ScreenTest, TheMessagePageToolbarFollowsTheMessageLines) {
    insertTipOper("E", "01", "Sem mensagens");
    insertTipOper("E", "02", "Com mensagem");
    insertRow("MENSTIPOOPER", {{"NRMENSTPOPER", "1"}, {"CDTIPOOPER", "02"}, {"IDENTRSAIDOP", "E"},
                               {"CDMENSAGEM", "001"}, {"DSMENSAGEM", "Texto"}});
    open();
    loadKind(0);
    auto& s = screen();
    expectOk(tk::Input::page(s, "tshMensagem"));
    EXPECT_TRUE(s.sbtIncluir.enabled());
    for (auto* b : {&s.sbtAlterar, &s.sbtExcluir, &s.sbtProcurar, &s.sbtVerificar, &s.sbtConfirmar, &s.sbtCancelar})
        EXPECT_FALSE(b->enabled()) << b->name() << " sem mensagens";

    expectOk(tk::Input::page(s, "tshFolhaDados"));
    expectOk(tk::Input::move(s, "cdsTipOper", 2));
    expectOk(tk::Input::page(s, "tshMensagem"));
    for (auto* b : {&s.sbtIncluir, &s.sbtAlterar, &s.sbtExcluir, &s.sbtProcurar, &s.sbtVerificar})
        EXPECT_TRUE(b->enabled()) << b->name() << " com mensagem";

    expectOk(tk::Input::click(s, "sbtAlterar"));
    EXPECT_TRUE(s.sbtConfirmar.enabled());
    EXPECT_TRUE(s.sbtCancelar.enabled());
    EXPECT_FALSE(s.sbtIncluir.enabled());
    EXPECT_FALSE(s.tshFolhaDados.enabled());
    EXPECT_FALSE(s.cbbEntSaid->enabled()) << "the kind cannot change while a line is edited";
}

TEST_F(ScreenTest, WhileARecordIsEditedOnlyConfirmAndCancelAreAvailable) {
    insertTipOper("E", "01", "Compra");
    open();
    loadKind(0);
    auto& s = screen();
    expectOk(tk::Input::click(s, "sbtAlterar"));
    EXPECT_EQ(s.pgcPadrao.activePage(), &s.tshFormulario) << "alter from the grid shows the form page";
    EXPECT_TRUE(s.sbtConfirmar.enabled());
    EXPECT_TRUE(s.sbtCancelar.enabled());
    for (auto* b : {&s.sbtIncluir, &s.sbtAlterar, &s.sbtExcluir, &s.sbtProcurar, &s.sbtVerificar})
        EXPECT_FALSE(b->enabled()) << b->name();
    EXPECT_FALSE(s.tshFolhaDados.enabled());
    EXPECT_FALSE(s.tshMensagem->enabled());
    EXPECT_FALSE(s.cbbEntSaid->enabled());
    EXPECT_FALSE(s.dbeCdTipoOper->enabled()) << "the code is typed only for a new record";
}

} // namespace
