#pragma once

#include "toolkit/Application.h"

#include <string>
#include <vector>

// An application installed as the thread's current one, whose dialogs are logged; questions answer
// `answer`.
struct AppFixture : tk::DialogPort {
    tk::Application app;
    tk::Application::Scope scope{app};
    std::vector<std::string> log;
    int answer = tk::kAnswerYes;

    AppFixture() { app.setDialogs(this); }
    int confirm(const std::string& key, const std::string& text, int /*defaultAnswer*/) override {
        log.push_back("confirm:" + key + ":" + text);
        return answer;
    }
    void error(const std::string& text) override { log.push_back("error:" + text); }
    std::optional<std::vector<std::string>> pickMany(const std::string&, const std::string&,
                                                     const tk::DialogRows&,
                                                     const std::vector<std::string>&) override {
        return std::nullopt;
    }
    std::optional<int> pickOne(const std::string&, const std::string&, const tk::DialogRows&) override {
        return {};
    }
    std::optional<int> search(const std::string&, const tk::DialogRows&) override { return {}; }
};
