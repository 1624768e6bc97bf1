#pragma once

#include "Harness.h"

#include <gtest/gtest.h>
#include <memory>
#include <optional>

// A server started with --demo on a fresh database of the test's backend; PostgreSQL cases are skipped
// unless TIPOPER_TEST_PG names a server.
class ServerTest : public ::testing::TestWithParam<harness::Backend> {
protected:
    void SetUp() override {
        auto db = harness::TestDatabase::create(GetParam());
        if (!db) GTEST_SKIP() << "TIPOPER_TEST_PG não definido: casos em PostgreSQL pulados";
        db_.emplace(std::move(*db));
        start();
    }

    void start(std::vector<std::string> extra = {"--demo"}) {
        // Each database gets its user and token once, before its first server starts.
        if (tokenDb_ != db_->url()) {
            token_ = harness::provisionToken(db_->url(), "manutencao", "manutencao");
            tokenDb_ = db_->url();
        }
        std::vector<std::string> args{"--db", db_->url()};
        args.insert(args.end(), extra.begin(), extra.end());
        server_ = std::make_unique<harness::ServerProcess>(args);
    }

    // A client connected as a user who may read and write.
    std::unique_ptr<harness::RpcClient> client() { return clientWith(token_); }
    std::unique_ptr<harness::RpcClient> clientWith(const std::string& token) {
        auto c = std::make_unique<harness::RpcClient>(server_->port(), token);
        const auto answer = c->connect();
        EXPECT_TRUE(answer.contains("result")) << answer.dump();
        return c;
    }

    // The result of a call expected to succeed; a failure shows the whole answer.
    static harness::json ok(const harness::json& answer) {
        EXPECT_TRUE(answer.contains("result") && !answer.contains("error")) << answer.dump();
        return answer.value("result", harness::json());
    }

    // The error code of a call expected to fail (0 when it did not fail).
    static int refused(const harness::json& answer) {
        EXPECT_TRUE(answer.contains("error")) << "era esperada uma recusa: " << answer.dump().substr(0, 400);
        if (!answer.contains("error")) return 0;
        EXPECT_FALSE(answer["error"]["message"].get<std::string>().empty());
        return answer["error"]["code"].get<int>();
    }

    static harness::json record(harness::RpcClient& c, const std::string& kind, const std::string& code) {
        return harness::findRecord(ok(c.call("GetTipOper", {kind})), "CDTIPOOPER", code);
    }

    const std::string& token() const { return token_; }

    std::optional<harness::TestDatabase> db_;
    std::unique_ptr<harness::ServerProcess> server_;
    std::string token_;
    std::string tokenDb_;
};

inline std::string backendName(const ::testing::TestParamInfo<harness::Backend>& info) {
    return info.param == harness::Backend::Sqlite ? "SQLite" : "PostgreSQL";
}

#define TIPOPER_ALL_BACKENDS(Suite)                                                                          \
    INSTANTIATE_TEST_SUITE_P(Backends, Suite,                                                                \
                             ::testing::Values(harness::Backend::Sqlite, harness::Backend::Postgresql),      \
                             backendName)
