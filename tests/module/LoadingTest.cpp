// Choosing the kind, loading its operation types, reloading and the coded displays.

#include "ScreenFixture.h"

#include <algorithm>

namespace {

using testing_support::ScreenTest;
using testing_support::tracedOperations;

// The operations after the connection handshake.
std::vector<std::string> operationsAfterConnect(const std::string& trace) {
    auto ops = tracedOperations(trace);
    auto it = std::find(ops.begin(), ops.end(), "connect");
    if (it != ops.end()) ops.erase(ops.begin(), it + 1);
    return ops;
}

TEST_F(ScreenTest, LeavingTheFilterAsksForTheRecordsTwiceAndReloadsTheMessagesForEachPacket) {
    insertTipOper("S", "02", "Venda de mercadoria");
    insertTipOper("S", "01", "Venda para entrega futura");
    open();
    loadKind(1);
    EXPECT_EQ(operationsAfterConnect(server->tracePath()),
              (std::vector<std::string>{"GetTipOper", "GetMensTipoOper", "GetFiltro", "GetMensTipoOper"}));
    auto& s = screen();
    EXPECT_EQ(s.cdsTipOper.recordCount(), 2);
    EXPECT_EQ(s.cdsTipOper.fieldByName("CDTIPOOPER").asString(), "01") << "first record in code order";
    EXPECT_EQ(s.lblOrigDest->caption(), "Destino");
    EXPECT_TRUE(s.tshFormulario.enabled());
    EXPECT_TRUE(s.tshMensagem->enabled());
}

TEST_F(ScreenTest, EachKindShowsItsOwnOptions) {
    open();
    loadKind(1);
    auto& s = screen();
    for (const char* hidden : {"grbFornePadr", "dckInfCPF", "dckSugQtdTotDev", "dckNotaPrestServ", "dckIDUtCusOrigEst",
                               "dckRealAprovAuto", "dckUtLocPrestServ", "Bevel2", "dbeNmOper"})
        EXPECT_FALSE(s.control(hidden)->visible()) << hidden << " em Saída";
    for (const char* shown : {"dbcAltDsEmis", "dckGeraDup", "dckSerieAuto", "dbcUtCtrlAIDF", "dckPortCatSP",
                              "dckImpProdEmis", "dckContabNFOrigem", "dckIdBloqNfFechDia"})
        EXPECT_TRUE(s.control(shown)->visible()) << shown << " em Saída";
    EXPECT_TRUE(s.dbcInfNumeNf->enabled());

    loadKind(0);
    EXPECT_EQ(s.lblOrigDest->caption(), "Origem");
    for (const char* shown : {"grbFornePadr", "dckInfCPF", "dckSugQtdTotDev", "dckNotaPrestServ", "dckIDUtCusOrigEst",
                              "dckRealAprovAuto", "Bevel2", "dbeNmOper", "dckContabImpProd"})
        EXPECT_TRUE(s.control(shown)->visible()) << shown << " em Entrada";
    for (const char* hidden : {"dbcAltDsEmis", "dckGeraDup", "dckSerieAuto", "dbcUtCtrlAIDF", "dckPortCatSP",
                               "dckImpProdEmis", "dckContabNFOrigem"})
        EXPECT_FALSE(s.control(hidden)->visible()) << hidden << " em Entrada";
    EXPECT_FALSE(s.dbcInfNumeNf->enabled());
    EXPECT_FALSE(s.dbcUtCtrlAIDF->enabled());
}

TEST_F(ScreenTest, AnEmptyKindOpensEmptyAndStillAcceptsItsFirstOperationType) {
    open();
    loadKind(0);
    auto& s = screen();
    EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Browse);
    EXPECT_TRUE(s.cdsTipOper.isEmpty());
    EXPECT_EQ(s.cdsTipOper.fieldByName("NRINSJURFORN").editMask(), "") << "mask of an empty person kind";
    EXPECT_EQ(s.pgcPadrao.activePage(), &s.tshFolhaDados);
    // Include must stay available, or a kind without operation types could never get its first.
    EXPECT_TRUE(s.sbtIncluir.enabled());
    EXPECT_TRUE(s.mnuIncluir.enabled());
    for (auto* b : {&s.sbtAlterar, &s.sbtExcluir, &s.sbtProcurar, &s.sbtVerificar}) EXPECT_FALSE(b->enabled()) << b->name();
    EXPECT_TRUE(tk::Input::click(s, "sbtIncluir").ok());
    EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Insert);
}

TEST_F(ScreenTest, EnteringTheFilterAgainClosesTheRecordsAndLocksThePages) {
    insertTipOper("E", "01", "Compra para revenda");
    open();
    loadKind(0);
    auto& s = screen();
    ASSERT_EQ(s.cdsTipOper.recordCount(), 1);
    expectOk(tk::Input::focus(s, "cbbEntSaid"));
    EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Inactive);
    EXPECT_FALSE(s.tshFormulario.enabled());
    EXPECT_FALSE(s.tshMensagem->enabled());
    EXPECT_EQ(s.pgcPadrao.activePage(), &s.tshFolhaDados);
    // Search does nothing while the records are closed.
    s.sbtProcurarClick(s);
    EXPECT_TRUE(dialogs.asked.empty());
}

TEST_F(ScreenTest, VerifyReloadsMessagesOnTheMessagePageAndRecordsElsewhere) {
    insertTipOper("E", "01", "Compra para revenda");
    insertRow("MENSTIPOOPER", {{"NRMENSTPOPER", "1"}, {"CDTIPOOPER", "01"}, {"IDENTRSAIDOP", "E"},
                               {"CDMENSAGEM", "001"}, {"DSMENSAGEM", "Mercadoria para revenda"}});
    open();
    loadKind(0);
    auto& s = screen();
    const auto before = operationsAfterConnect(server->tracePath()).size();
    expectOk(tk::Input::click(s, "sbtVerificar"));
    auto ops = operationsAfterConnect(server->tracePath());
    ASSERT_GT(ops.size(), before);
    EXPECT_EQ(ops[before], "GetTipOper");
    EXPECT_EQ(std::count(ops.begin() + static_cast<long>(before), ops.end(), "GetFiltro"), 0);

    expectOk(tk::Input::page(s, "tshMensagem"));
    const auto onMessages = operationsAfterConnect(server->tracePath()).size();
    insertRow("MENSTIPOOPER", {{"NRMENSTPOPER", "2"}, {"CDTIPOOPER", "01"}, {"IDENTRSAIDOP", "E"},
                               {"CDMENSAGEM", "002"}, {"DSMENSAGEM", "Outra mensagem"}});
    expectOk(tk::Input::click(s, "sbtVerificar"));
    ops = operationsAfterConnect(server->tracePath());
    EXPECT_EQ(std::vector<std::string>(ops.begin() + static_cast<long>(onMessages), ops.end()),
              std::vector<std::string>{"GetMensTipoOper"});
    EXPECT_EQ(s.cdsMensTipoOper.recordCount(), 2);
    EXPECT_EQ(s.cdsTipOper.recordCount(), 1);
}

TEST_F(ScreenTest, ALoadThatFailsLeavesThePagesLockedAndLeavingTheFilterAgainRetries) {
    insertTipOper("E", "01", "Compra para revenda");
    open();
    auto& s = screen();
    server->stop();
    expectOk(tk::Input::focus(s, "cbbEntSaid"));
    EXPECT_ANY_THROW((void)tk::Input::focus(s, "dbgPadrao"));
    EXPECT_FALSE(s.tshFormulario.enabled());
    EXPECT_EQ(app.wait(), std::nullopt) << "the wait indicator is hidden after a failure";
    server->restart();
    expectOk(tk::Input::focus(s, "cbbEntSaid"));
    expectOk(tk::Input::focus(s, "dbgPadrao"));
    EXPECT_EQ(s.cdsTipOper.recordCount(), 1);
    EXPECT_TRUE(s.tshFormulario.enabled());
}

TEST_F(ScreenTest, CodedFieldsShowTheirCatalogueWords) {
    insertTipOper("E", "01", "Compra para revenda", {{"IDGERANFCMP", "S"}, {"IDORIGDESTOP", "L"}});
    insertTipOper("E", "02", "Compra de uso e consumo");
    open();
    loadKind(0);
    auto& s = screen();
    auto& geraNf = s.get<tk::TDBComboBox>("dbcIdGeraNFCmp");
    EXPECT_EQ(geraNf.text(), "Sim");
    EXPECT_EQ(s.dcbIdOrigDestOp->text(), "Filial");
    EXPECT_EQ(s.dcbIdOrigDestOp->itemIndex(), 2);

    expectOk(tk::Input::move(s, "cdsTipOper", 2));
    EXPECT_EQ(geraNf.itemIndex(), -1) << "an empty flag shows no item";
    EXPECT_EQ(s.dcbIdOrigDestOp->text(), "Fornecedor") << "an empty origin shows the supplier in Entrada";
    EXPECT_TRUE(s.cdsTipOper.fieldByName("IDORIGDESTOP").isNull()) << "the field itself stays empty";

    // Picking in the lists stores the codes; a word that is not in the catalogue changes nothing.
    expectOk(tk::Input::click(s, "sbtAlterar"));
    expectOk(tk::Input::pick(s, "dbcIdGeraNFCmp", 1));
    EXPECT_EQ(s.cdsTipOper.fieldByName("IDGERANFCMP").asString(), "N");
    expectOk(tk::Input::pick(s, "dcbIdOrigDestOp", 1));
    EXPECT_EQ(s.cdsTipOper.fieldByName("IDORIGDESTOP").asString(), "C");
    s.cdsTipOper.fieldByName("IDORIGDESTOP").setText("Outro");
    EXPECT_EQ(s.cdsTipOper.fieldByName("IDORIGDESTOP").asString(), "C");
    EXPECT_EQ(s.GetEntSaid(), "E");
}

} // namespace
