#include "lib/Morvala.h"

#include "ScriptedDialogs.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// Each test starts with no host settings, no variables and an empty private configuration file.
class MorvalaTest : public ::testing::Test {
protected:
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("lib-morvala-" + std::to_string(::getpid()));
    std::filesystem::path file = dir / "tipoper.toml";

    void SetUp() override {
        std::filesystem::create_directories(dir);
        for (const char* name : {"TIPOPER_APPSERVER", "TIPOPER_DB", "TIPOPER_DB_POOL", "TIPOPER_APPSERVER_TOKEN"})
            ::unsetenv(name);
        ::setenv("TIPOPER_CONFIG", file.c_str(), 1);
        write("");
        Morvala::setHostConfig({});
    }
    void TearDown() override {
        for (const char* name : {"TIPOPER_APPSERVER", "TIPOPER_DB", "TIPOPER_DB_POOL", "TIPOPER_CONFIG",
                                 "TIPOPER_APPSERVER_TOKEN"})
            ::unsetenv(name);
        Morvala::setHostConfig({});
        std::filesystem::remove_all(dir);
    }
    void write(const std::string& text) { std::ofstream(file) << text; }
};

} // namespace

TEST_F(MorvalaTest, EveryCallRereadsTheSourcesInOrder) {
    EXPECT_EQ(Morvala::AppServerAddress(), (Morvala::Address{"127.0.0.1", 7400}));
    EXPECT_EQ(Morvala::DatabaseURL(), "sqlite:var/tipoper.db");

    write("appserver = \"10.0.0.5:7500\"\ndb = \"postgresql://erp@db:5432/erp\"\n");
    EXPECT_EQ(Morvala::WebURL(), "10.0.0.5");
    EXPECT_EQ(Morvala::WebPort(), 7500);
    EXPECT_EQ(Morvala::DatabaseURL(), "postgresql://erp@db:5432/erp");
    write("appserver = \"servidor:7600\"\n");
    EXPECT_EQ(Morvala::WebURL(), "servidor");
    EXPECT_EQ(Morvala::DatabaseURL(), "sqlite:var/tipoper.db");

    ::setenv("TIPOPER_APPSERVER", "127.0.0.2:8000", 1); // the environment outranks the file
    ::setenv("TIPOPER_DB", "sqlite:env.db", 1);
    EXPECT_EQ(Morvala::WebPort(), 8000);
    ::setenv("TIPOPER_APPSERVER", "127.0.0.3:8001", 1);
    EXPECT_EQ(Morvala::WebPort(), 8001);

    Morvala::setHostConfig({"localhost:9000", std::nullopt, std::nullopt}); // the host outranks the environment
    EXPECT_EQ(Morvala::AppServerAddress(), (Morvala::Address{"localhost", 9000}));
    EXPECT_EQ(Morvala::DatabaseURL(), "sqlite:env.db"); // not set by the host: falls through
    EXPECT_THROW(Morvala::setHostConfig({"host:porta", "sqlite:x.db", std::nullopt}), lib::ConfigError);
    EXPECT_EQ(Morvala::WebPort(), 9000); // a refused setting changes nothing

    Morvala::setHostConfig({});
    ::unsetenv("TIPOPER_APPSERVER");
    EXPECT_EQ(Morvala::WebPort(), 7600);
}

TEST_F(MorvalaTest, DatabasePoolSizeFromHostThenEnvironment) {
    EXPECT_EQ(Morvala::DatabasePoolSize(), 8);
    ::setenv("TIPOPER_DB_POOL", "20", 1);
    EXPECT_EQ(Morvala::DatabasePoolSize(), 20);
    Morvala::HostConfig config;
    config.databasePoolSize = 3;
    Morvala::setHostConfig(config);
    EXPECT_EQ(Morvala::DatabasePoolSize(), 3);

    for (int bad : {0, -1, Morvala::kMaxDatabasePoolSize + 1}) {
        config.databasePoolSize = bad;
        EXPECT_THROW(Morvala::setHostConfig(config), lib::ConfigError) << bad;
    }
    EXPECT_EQ(Morvala::DatabasePoolSize(), 3); // a refused setting changes nothing
    Morvala::setHostConfig({});
    // A value that cannot be used is an error, never a silent default.
    for (const char* bad : {"0", "oito", "8 ", "-2", "1001", "99999999999"}) {
        ::setenv("TIPOPER_DB_POOL", bad, 1);
        EXPECT_THROW(Morvala::DatabasePoolSize(), lib::ConfigError) << bad;
    }
}

TEST_F(MorvalaTest, AddressForms) {
    struct Case {
        const char* text;
        Morvala::Address expected;
    } good[] = {{"h:1", {"h", 1}},
                {"servidor", {"servidor", 7400}},
                {"[::1]:7401", {"::1", 7401}},
                {"[::1]", {"::1", 7400}}};
    for (const auto& c : good)
        EXPECT_EQ(Morvala::parseAddress(c.text, "teste"), c.expected) << c.text;
    for (const char* bad : {"", ":7400", "h:", "h:0", "h:65536", "h:74a", "::1", "[::1", "[::1]x", "h:-1"})
        EXPECT_THROW(Morvala::parseAddress(bad, "teste"), lib::ConfigError) << bad;
}

TEST_F(MorvalaTest, UnusableConfigurationIsAnErrorNotAFallback) {
    ::setenv("TIPOPER_APPSERVER", "servidor:abc", 1);
    EXPECT_THROW(Morvala::WebPort(), lib::ConfigError);
    ::unsetenv("TIPOPER_APPSERVER");
    for (const char* text : {"appserver = ", "appserver = 7400\n"}) {
        write(text);
        EXPECT_THROW(Morvala::WebURL(), lib::ConfigError) << text;
    }
    std::filesystem::remove(file);
    EXPECT_THROW(Morvala::DatabaseURL(), lib::ConfigError); // named by TIPOPER_CONFIG but missing
    ::unsetenv("TIPOPER_CONFIG");                           // the default file may be absent
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    EXPECT_EQ(Morvala::WebPort(), 7400);
    std::filesystem::current_path(cwd);
}

TEST_F(MorvalaTest, CredentialComesFromTheClientThenTheHostThenTheEnvironmentThenTheFile) {
    using Morvala::Credential;
    const auto token = [](const char* secret) { return Credential{Credential::Kind::Token, secret}; };
    const auto ticket = [](const char* secret) { return Credential{Credential::Kind::Ticket, secret}; };
    EXPECT_EQ(Morvala::AppServerCredential(), std::nullopt);
    write("appserver_token = \"do-arquivo\"\n");
    EXPECT_EQ(Morvala::AppServerCredential(), token("do-arquivo"));
    ::setenv("TIPOPER_APPSERVER_TOKEN", "do-ambiente", 1);
    EXPECT_EQ(Morvala::AppServerCredential(), token("do-ambiente"));
    Morvala::setHostConfig({.credential = token("do-host")});
    EXPECT_EQ(Morvala::AppServerCredential(), token("do-host"));
    {
        AppFixture ana; // two clients of two users in one process
        Morvala::setClientCredential(ana.app, ticket("da-ana"));
        EXPECT_EQ(Morvala::AppServerCredential(), ticket("da-ana"));
        {
            tk::Application bia;
            tk::Application::Scope scope(bia);
            EXPECT_EQ(Morvala::AppServerCredential(), token("do-host")) << "a client without its own";
            Morvala::setClientCredential(bia, ticket("da-bia"));
            EXPECT_EQ(Morvala::AppServerCredential(), ticket("da-bia"));
        }
        EXPECT_EQ(Morvala::AppServerCredential(), ticket("da-ana"));
        Morvala::setClientCredential(ana.app, std::nullopt);
        EXPECT_EQ(Morvala::AppServerCredential(), token("do-host"));
    }
    Morvala::setHostConfig({});
    ::unsetenv("TIPOPER_APPSERVER_TOKEN");
    write("appserver_token = 7\n");
    EXPECT_THROW(Morvala::AppServerCredential(), lib::ConfigError);
}

TEST_F(MorvalaTest, AtualizaLocalCacheNotifiesTheHost) {
    AppFixture f;
    Morvala::AtualizaLocalCache({"TIPOOPERAC"});
    Morvala::AtualizaLocalCache({"A", "B"});
    EXPECT_EQ(f.app.cacheNotified(), (std::vector<std::string>{"TIPOOPERAC", "A", "B"}));
}
