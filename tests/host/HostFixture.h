#pragma once

#include "ApiRequest.h"
#include "FakeAuthority.h"
#include "TestScreen.h"
#include "host/Api.h"
#include "host/ModuleScreen.h"
#include "host/SessionRegistry.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace hosttest {

using nlohmann::json;

// A registry of sessions over the test screen, driven through the automation API by a program with
// the test token (FakeAuthority stands for the application server's users).
class HostFixture : public ::testing::Test {
protected:
    void SetUp() override { start(host::RegistryOptions{}); }
    void TearDown() override {
        api.reset();
        authenticator.reset();
        registry.reset();
    }

    void start(host::RegistryOptions options, host::AuthenticatorOptions auth = {}) {
        api.reset();
        authenticator.reset();
        registry.reset();
        auto module = testModule(journal);
        registry = std::make_unique<host::SessionRegistry>(
            [module](const host::Identity& who) { return std::make_unique<host::ModuleScreen>(module, who); },
            options);
        authenticator = std::make_unique<host::Authenticator>(authority, csrf, auth);
        authenticator->onRejected([this](const std::string& login) { registry->closeLogin(login); });
        api = std::make_unique<host::Api>(*registry, *authenticator, csrf);
    }

    struct Response {
        int status = 0;
        json body;
    };
    Response call(const std::string& method, const std::string& path, const std::string& body = "",
                  bool rows = false, std::optional<std::uint64_t> since = std::nullopt) {
        const host::Reply reply = api->handle(apiRequest(method, path, body, rows, since));
        return {reply.status, reply.body.empty() ? json() : json::parse(reply.body)};
    }

    std::string newSession() {
        auto r = call("POST", "/api/sessions");
        EXPECT_EQ(r.status, 201);
        return r.body.at("id").get<std::string>();
    }
    // Posts an event and checks the status; returns the body (snapshot or error).
    json send(const std::string& id, const json& event, int status = 200, bool rows = false) {
        auto r = call("POST", "/api/sessions/" + id + "/events", event.dump(), rows);
        EXPECT_EQ(r.status, status) << event.dump() << " -> " << r.body.dump();
        return r.body;
    }
    json snapshot(const std::string& id, bool rows = false) {
        auto r = call("GET", "/api/sessions/" + id, "", rows);
        EXPECT_EQ(r.status, 200) << r.body.dump();
        return r.body;
    }
    std::string openSession() {
        const std::string id = newSession();
        send(id, {{"type", "open"}});
        return id;
    }
    static json click(const std::string& control) { return {{"type", "click"}, {"control", control}}; }
    static json answer(const json& value) { return {{"type", "answer"}, {"value", value}}; }
    static std::string result(const json& snap) {
        return snap.at("controls").at("lblResultado").at("caption");
    }

    std::shared_ptr<Journal> journal = std::make_shared<Journal>();
    FakeAuthority authority;
    host::CsrfTokens csrf;
    std::unique_ptr<host::SessionRegistry> registry;
    std::unique_ptr<host::Authenticator> authenticator;
    std::unique_ptr<host::Api> api;
};

} // namespace hosttest
