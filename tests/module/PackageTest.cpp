// The package as the host sees it: loaded with dlopen, entered through its exported procedures,
// with its unit state held per client.

#include "AppServerProcess.h"
#include "ScriptedDialogs.h"
#include "lib/Morvala.h"
#include "toolkit/Application.h"
#include "toolkit/Form.h"
#include "toolkit/Input.h"
#include "toolkit/ScreenPackage.h"
#include "toolkit/Snapshot.h"

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <nlohmann/json.hpp>

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
    tk::Snapshot snapshot;
    snapshot.record(nullptr, app.units().at("Cli_ger06600").get());
    std::string out;
    snapshot.write(out);
    return nlohmann::json::parse(out)["unit"];
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

// The symbols a shared library defines for others to use: its dynamic symbol table, read from the
// file, without those it only imports.
std::vector<std::string> exportedSymbols(const char* path) {
    std::ifstream in(path, std::ios::binary);
    const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto read = [&](auto& out, std::size_t offset) {
        if (offset + sizeof out > image.size()) throw std::runtime_error("arquivo ELF truncado");
        std::memcpy(&out, image.data() + offset, sizeof out);
    };
    Elf64_Ehdr header;
    read(header, 0);
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    for (std::size_t i = 0; i < sections.size(); ++i)
        read(sections[i], header.e_shoff + i * header.e_shentsize);
    std::vector<std::string> names;
    for (const Elf64_Shdr& section : sections) {
        if (section.sh_type != SHT_DYNSYM) continue;
        const Elf64_Shdr& strings = sections.at(section.sh_link);
        for (std::size_t at = 0; at + sizeof(Elf64_Sym) <= section.sh_size; at += sizeof(Elf64_Sym)) {
            Elf64_Sym symbol;
            read(symbol, section.sh_offset + at);
            const unsigned bind = ELF64_ST_BIND(symbol.st_info);
            if (symbol.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK) ||
                ELF64_ST_VISIBILITY(symbol.st_other) != STV_DEFAULT)
                continue;
            names.emplace_back(image.c_str() + strings.sh_offset + symbol.st_name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(PackageTest, ExportsExactlyItsEntryPoints) {
    EXPECT_NE(iniProc, nullptr);
    EXPECT_NE(initialize, nullptr);
    EXPECT_NE(finalize, nullptr);
    // CriaTipOper is exported under its unit-qualified name; the host reaches the rest (the screen of
    // a client, its unit's variables) through the one interface GetScreenPackage returns.
    EXPECT_EQ(exportedSymbols(TIPOPER_PACKAGE),
              (std::vector<std::string>{"Finalize", "GetScreenPackage", "IniProc", "Initialize",
                                        "_ZN12Cli_ger0660011CriaTipOperEv"}));
    EXPECT_EQ(pkg.symbol<void()>("_ZN12Cli_ger066007GlobalsEv"), nullptr);
}

TEST_F(PackageTest, TheInterfaceReachesTheClientsScreenAndUnit) {
    auto accessor = pkg.symbol<tk::ScreenPackage&()>(tk::kScreenPackageSymbol);
    ASSERT_NE(accessor, nullptr);
    tk::ScreenPackage& package = accessor();
    tk::Application app;
    tk::Application::Scope scope(app);
    ScriptedDialogs dialogs;
    app.setDialogs(&dialogs);
    EXPECT_EQ(package.unit(), nullptr) << "no unit before its initialization";
    EXPECT_EQ(package.screen(), nullptr);
    package.initialize();
    ASSERT_NE(package.unit(), nullptr);
    EXPECT_EQ(package.screen(), nullptr);
    package.open();
    ASSERT_NE(package.screen(), nullptr);
    EXPECT_EQ(package.screen(), app.forms().front().get());
    EXPECT_TRUE(unitOf(app)["boStCriado"].get<bool>());
    ASSERT_TRUE(tk::Input::close(*package.screen()).ok());
    EXPECT_NE(package.screen(), nullptr) << "a closed screen lives until the event has finished";
    app.collectReleased();
    EXPECT_EQ(package.screen(), nullptr);
    package.finalize();
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
