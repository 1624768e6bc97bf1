// Creation, connection and closing of the screen.

#include "ScreenFixture.h"

#include <cstdlib>

namespace {

using testing_support::ScreenTest;

TEST_F(ScreenTest, RightAfterCreationTheFilterWaitsAndTheOriginDocumentControlsAreLocked) {
    open();
    auto& s = screen();
    EXPECT_TRUE(s.rbtTodosF->checked());
    EXPECT_FALSE(s.rbtTodosF->enabled());
    EXPECT_FALSE(s.rbtListaF->enabled());
    EXPECT_FALSE(s.grbDocOrigem->enabled());
    EXPECT_FALSE(s.dckDocDevo->checked());
    EXPECT_EQ(s.cbbEntSaid->itemIndex(), 0);
    EXPECT_EQ(s.cbbEntSaid->text(), "Entrada");
    EXPECT_EQ(s.activeControl(), s.cbbEntSaid);
    EXPECT_EQ(s.cdsTipOper.state(), tk::DataSetState::Inactive);
    EXPECT_TRUE(s.netTipOper.Connected());
    EXPECT_EQ(s.netTipOper.Port(), server->port());
    EXPECT_EQ(s.caption(), "Tipo de Operação");
    EXPECT_EQ(s.lblCodTela.caption(), "GER06600");
    EXPECT_FALSE(s.sbtImprimir.enabled());
    EXPECT_FALSE(s.mnuListagem.enabled());
}

TEST_F(ScreenTest, TheServerAddressIsReadAtEachConnect) {
    open();
    const int firstPort = screen().netTipOper.Port();
    ASSERT_TRUE(tk::Input::close(screen()).ok());
    app.collectReleased();
    EXPECT_FALSE(unit().boStCriado);

    // The host's configuration changes: the next screen connects to the new address.
    testing_support::AppServerProcess other(false, server->dbPath());
    Morvala::setHostConfig(other.hostConfig());
    open();
    EXPECT_EQ(screen().netTipOper.Port(), other.port());
    EXPECT_NE(screen().netTipOper.Port(), firstPort);
    EXPECT_TRUE(screen().netTipOper.Connected());
}

TEST_F(ScreenTest, ClosingDisconnectsAndTheNextOpenCreatesAFreshScreen) {
    open();
    auto* first = unit().frmTipOper;
    ASSERT_TRUE(tk::Input::close(screen()).ok());
    EXPECT_FALSE(unit().boStCriado);
    EXPECT_FALSE(first->netTipOper.Connected());
    app.collectReleased();
    EXPECT_TRUE(app.forms().empty());
    open();
    EXPECT_TRUE(screen().netTipOper.Connected());
    EXPECT_EQ(app.forms().size(), 1u);
}

TEST_F(ScreenTest, AFailedCreationLeavesTheFlagFalseSoTheNextCallRetries) {
    // A configuration that cannot be read fails the connect inside the screen's creation.
    Morvala::setHostConfig({.databaseURL = server->dbUrl(), .credential = server->credential()});
    ::setenv("TIPOPER_APPSERVER", "127.0.0.1:porta", 1);
    EXPECT_ANY_THROW(IniProc());
    ::unsetenv("TIPOPER_APPSERVER");
    EXPECT_FALSE(unit().boStCriado);
    EXPECT_TRUE(app.forms().empty());
    Morvala::setHostConfig(server->hostConfig());
    open();
    EXPECT_TRUE(screen().netTipOper.Connected());
}

TEST_F(ScreenTest, NestedUnitInitializationRunsOnceAndTheLastFinalizationReleasesTheLists) {
    Initialize(); // a second, nested initialization
    unit().stDocOrigem = "E-01,E-05";
    unit().stListaEncRat = "01,02";
    Finalize();
    EXPECT_EQ(unit().stDocOrigem, "E-01,E-05") << "an inner finalization must not release the lists";
    Finalize();
    EXPECT_EQ(unit().stDocOrigem, "");
    EXPECT_EQ(unit().stListaEncRat, "");
    Initialize(); // balance the fixture's TearDown
}

} // namespace
