// The package as the host sees it: loaded with dlopen, entered through its exported procedures,
// with its unit state held per client.

#include "AppServerProcess.h"
#include "ScriptedDialogs.h"
#include "lib/Morvala.h"
#include "toolkit/Application.h"
#include "toolkit/Form.h"
#include "toolkit/Input.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <dlfcn.h>

namespace {

using testing_support::AppServerProcess;

struct Package {
    void* handle = dlopen(TIPOPER_PACKAGE, RTLD_NOW | RTLD_LOCAL);
    ~Package() {
        if (handle) dlclose(handle);
    }
    template <class F> F* symbol(const char* name) const { return reinterpret_cast<F*>(dlsym(handle, name)); }
};

nlohmann::json unitOf(tk::Application& app) {
    return nlohmann::json::parse(app.units().at("Cli_ger06600")->snapshotJson());
}

class PackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(pkg.handle, nullptr) << dlerror();
        iniProc = pkg.symbol<void()>("IniProc");
        initialize = pkg.symbol<void()>("Initialize");
        finalize = pkg.symbol<void()>("Finalize");
        Morvala::setHostConfig(server.hostConfig());
    }
    void TearDown() override { Morvala::setHostConfig({}); }

    Package pkg;
    AppServerProcess server;
    void (*iniProc)() = nullptr;
    void (*initialize)() = nullptr;
    void (*finalize)() = nullptr;
};

TEST_F(PackageTest, ExportsTheEntryProceduresUnderTheirNames) {
    EXPECT_NE(iniProc, nullptr);
    EXPECT_NE(initialize, nullptr);
    EXPECT_NE(finalize, nullptr);
    // CriaTipOper is exported under its unit-qualified name.
    EXPECT_NE(pkg.symbol<void()>("_ZN12Cli_ger0660011CriaTipOperEv"), nullptr);
    // Nothing of the screen's internals leaks out.
    EXPECT_EQ(pkg.symbol<void()>("_ZN12Cli_ger066007GlobalsEv"), nullptr);
}

TEST_F(PackageTest, IniProcTwiceShowsOneScreenAndClosingClearsTheCreationFlag) {
    tk::Application app;
    tk::Application::Scope scope(app);
    ScriptedDialogs dialogs;
    app.setDialogs(&dialogs);
    initialize();

    iniProc();
    ASSERT_EQ(app.forms().size(), 1u);
    tk::Form* first = app.forms().front().get();
    first->setWindowState(tk::WindowState::Minimized);
    iniProc();
    ASSERT_EQ(app.forms().size(), 1u) << "a second IniProc must not create another screen";
    EXPECT_EQ(app.forms().front().get(), first);
    EXPECT_EQ(first->windowState(), tk::WindowState::Normal);
    EXPECT_TRUE(unitOf(app)["boStCriado"].get<bool>());

    ASSERT_TRUE(tk::Input::close(*first).ok());
    app.collectReleased();
    EXPECT_FALSE(unitOf(app)["boStCriado"].get<bool>());
    EXPECT_TRUE(app.forms().empty());

    // The next IniProc creates a fresh screen and connects again.
    iniProc();
    ASSERT_EQ(app.forms().size(), 1u);
    EXPECT_TRUE(unitOf(app)["boStCriado"].get<bool>());
    ASSERT_TRUE(tk::Input::close(*app.forms().front()).ok());
    app.collectReleased();
    finalize();
}

TEST_F(PackageTest, EachClientHasItsOwnUnitState) {
    tk::Application a, b;
    ScriptedDialogs da, db;
    a.setDialogs(&da);
    b.setDialogs(&db);
    {
        tk::Application::Scope scope(a);
        initialize();
        iniProc();
    }
    {
        tk::Application::Scope scope(b);
        initialize();
        EXPECT_FALSE(unitOf(b)["boStCriado"].get<bool>()) << "client b must not see client a's screen";
        EXPECT_TRUE(b.forms().empty());
    }
    {
        tk::Application::Scope scope(a);
        EXPECT_TRUE(unitOf(a)["boStCriado"].get<bool>());
        ASSERT_TRUE(tk::Input::close(*a.forms().front()).ok());
        a.collectReleased();
        finalize();
    }
    {
        tk::Application::Scope scope(b);
        finalize();
    }
}

} // namespace
