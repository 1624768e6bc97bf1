#pragma once

// A host client with the operation-type screen open against a real application server over a
// fresh SQLite database: what a user's session has, minus the browser.

#include "AppServerProcess.h"
#include "ScriptedDialogs.h"
#include "lib/Database.h"
#include "lib/Morvala.h"
#include "shell/TfrmTipOper.h"
#include "shell/Toolkit.h"
#include "toolkit/Application.h"
#include "toolkit/Input.h"

#include <gtest/gtest.h>
#include <soci/soci.h>

#include <map>
#include <memory>
#include <string>

extern "C" void IniProc();
extern "C" void Initialize();
extern "C" void Finalize();

namespace testing_support {

using Row = std::map<std::string, std::string>;

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = std::make_unique<AppServerProcess>(demo());
        Morvala::setHostConfig(server->hostConfig());
        scope = std::make_unique<tk::Application::Scope>(app);
        app.setDialogs(&dialogs);
        Initialize();
    }

    void TearDown() override {
        if (!scope) return; // SetUp failed before the client existed
        // Ends the client as the host does: an edit left open by a test is not asked about.
        if (screenOpen()) (void)tk::Input::close(screen(), tk::CloseQuery::Skip);
        app.collectReleased();
        Finalize();
        scope.reset();
        Morvala::setHostConfig({});
    }

    virtual bool demo() const { return false; }

    Cli_ger06600::UnitGlobals& unit() { return Cli_ger06600::Globals(); }
    bool screenOpen() { return unit().boStCriado && unit().frmTipOper; }
    Cli_ger06600::TfrmTipOper& screen() { return *unit().frmTipOper; }

    void open() {
        IniProc();
        ASSERT_TRUE(screenOpen());
    }

    // Picks the kind (0 Entrada, 1 Saída) and leaves the filter panel for the grid.
    void loadKind(int index) {
        expectOk(tk::Input::focus(screen(), "cbbEntSaid"));
        if (screen().cbbEntSaid->itemIndex() != index) expectOk(tk::Input::pick(screen(), "cbbEntSaid", index));
        expectOk(tk::Input::focus(screen(), "dbgPadrao"));
    }

    static void expectOk(const tk::InputResult& r) { ASSERT_TRUE(r.ok()) << r.reason; }

    // Inserts an operation type straight into the database, as another program would.
    void insertTipOper(const std::string& kind, const std::string& code, const std::string& name, Row extra = {}) {
        extra["IDENTRSAIDOP"] = kind;
        extra["CDTIPOOPER"] = code;
        extra["NMTIPOOPER"] = name;
        insertRow("TIPOOPERAC", extra);
    }
    void insertRow(const std::string& table, const Row& row) {
        std::string cols, marks;
        std::vector<std::string> values;
        for (const auto& [c, v] : row) {
            cols += (cols.empty() ? "" : ",") + c;
            marks += std::string(marks.empty() ? "" : ",") + ":v" + std::to_string(values.size());
            values.push_back(v);
        }
        soci::session& s = db().session();
        soci::statement st = (s.prepare << "INSERT INTO " + table + " (" + cols + ") VALUES (" + marks + ")");
        for (std::size_t i = 0; i < values.size(); ++i) st.exchange(soci::use(values[i], "v" + std::to_string(i)));
        st.define_and_bind();
        st.execute(true);
    }
    // One value of the database, "<null>" for NULL, "<none>" when no row matches.
    std::string dbValue(const std::string& sql) {
        soci::indicator ind = soci::i_ok;
        std::string value;
        db().session() << sql, soci::into(value, ind);
        if (!db().session().got_data()) return "<none>";
        return ind == soci::i_null ? "<null>" : value;
    }
    long long dbCount(const std::string& sql) {
        long long n = 0;
        db().session() << sql, soci::into(n);
        return n;
    }
    lib::Database& db() {
        if (!database) database = std::make_unique<lib::Database>(server->dbUrl());
        return *database;
    }

    std::unique_ptr<AppServerProcess> server;
    tk::Application app;
    std::unique_ptr<tk::Application::Scope> scope;
    ScriptedDialogs dialogs;
    std::unique_ptr<lib::Database> database;
};

} // namespace testing_support
