#pragma once

// The screen open on one kind with one operation type, and the small helpers the rule tests share.

#include "ScreenFixture.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace rules_testing {

using testing_support::Row;

class RulesTest : public testing_support::ScreenTest {
protected:
    // Stores operation type `code` of `kind` ("E" or "S") with `flags`, opens the screen on that kind
    // and leaves the first record shown, in browse.
    void show(const std::string& kind, Row flags = {}, const std::string& code = "01") {
        insertTipOper(kind, code, "Operação " + code, withCharges(std::move(flags)));
        open();
        loadKind(kind == "E" ? 0 : 1);
    }
    // As show, then alter: the record in edit on the form page.
    void alter(const std::string& kind, Row flags = {}) {
        show(kind, std::move(flags));
        click("sbtAlterar");
        ASSERT_EQ(screen().cdsTipOper.state(), tk::DataSetState::Edit);
    }

    // A click the test expects to go through; an abort reports the message the user saw.
    // A stored operation type always holds its charge choice; "N" (none) unless the test says otherwise.
    static Row withCharges(Row flags) {
        flags.insert({"DSOPERENCRATPL", "N"});
        return flags;
    }

    void click(const char* control) {
        try {
            expectOk(tk::Input::click(screen(), control));
        } catch (const tk::SilentAbort&) {
            FAIL() << control << " abortou: \"" << lastError() << "\"";
        }
    }
    void focus(const char* control) { expectOk(tk::Input::focus(screen(), control)); }
    void type(const char* control, const std::string& text) {
        expectOk(tk::Input::type(screen(), control, text));
    }

    tk::TDBCheckBox& box(const char* name) { return screen().get<tk::TDBCheckBox>(name); }
    tk::Control& control(const char* name) { return screen().get<tk::Control>(name); }
    std::string text(const char* control) { return screen().get<tk::Control>(control).text(); }
    // A field of the record shown; "<null>" for null.
    std::string field(const char* name) {
        const tk::Field& f = screen().cdsTipOper.fieldByName(name);
        return f.isNull() ? "<null>" : f.asString();
    }

    // The arguments of every call of `op` the server received, in order.
    std::vector<nlohmann::json> callsOf(const std::string& op) {
        std::vector<nlohmann::json> calls;
        std::ifstream in(server->tracePath());
        std::string line;
        while (std::getline(in, line)) {
            const auto j = nlohmann::json::parse(line, nullptr, false);
            if (j.is_object() && j.value("operation", nlohmann::json()) == op)
                calls.push_back(j["arguments"]);
        }
        return calls;
    }

    // The text of the last error box shown, or "" when none was.
    std::string lastError() {
        for (auto it = dialogs.asked.rbegin(); it != dialogs.asked.rend(); ++it)
            if (it->kind == "error") return it->text;
        return {};
    }
};

} // namespace rules_testing
