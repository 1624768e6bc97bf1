// Event parsing and configuration precedence.

#include "host/Config.h"

#include "host/Event.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <unistd.h>

namespace hosttest {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

TEST(EventParsing, WellFormedEventsKeepEveryMember) {
    auto e = host::parseEvent(
        json::parse(R"({"type":"type","control":"dbgMensagem","column":"CDMENSAGEM","text":"12a"})"));
    EXPECT_EQ(e.type, host::EventType::Type);
    EXPECT_EQ(e.control, "dbgMensagem");
    EXPECT_EQ(e.column, "CDMENSAGEM");
    EXPECT_EQ(e.text, "12a");

    e = host::parseEvent(
        json::parse(R"({"type":"key","control":"dbgMensagem","key":"PageDown","shift":["alt"]})"));
    EXPECT_EQ(e.key, 34);
    EXPECT_TRUE(e.alt);
    EXPECT_FALSE(e.ctrl || e.shift);

    e = host::parseEvent(json::parse(R"({"type":"answer","value":{"keys":["E-01","S-02"]}})"));
    EXPECT_EQ(e.answerKeys, (std::vector<std::string>{"E-01", "S-02"}));
    e = host::parseEvent(json::parse(R"({"type":"move","dataset":"cdsTipOper","recNo":3})"));
    EXPECT_EQ(e.dataSet, "cdsTipOper");
    EXPECT_EQ(e.recNo, 3);
    e = host::parseEvent(json::parse(R"({"type":"focus","control":"dbeNome","column":null})"));
    EXPECT_FALSE(e.column.has_value());
}

TEST(EventParsing, KeyNames) {
    const std::map<std::string, int> names{{"s", 83},     {"S", 83},      {"n", 78},   {"7", 55},
                                           {"Enter", 13}, {"Escape", 27}, {"F2", 113}, {"F10", 121},
                                           {"F12", 123},  {"Delete", 46}};
    for (const auto& [name, code] : names)
        EXPECT_EQ(host::keyCodeFromName(name), code) << name;
    for (const char* bad : {"F0", "F13", "Fx", "", "ab", "Hyper"})
        EXPECT_FALSE(host::keyCodeFromName(bad)) << bad;
}

TEST(EventParsing, MalformedEventsNameTheFault) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {R"("click")", "objeto"},
        {R"({"type":3})", "\"type\""},
        {R"({"type":"hover"})", "hover"},
        {R"({"type":"click"})", "\"control\""},
        {R"({"type":"click","control":7})", "\"control\""},
        {R"({"type":"type","control":"a"})", "\"text\""},
        {R"({"type":"pick","control":"a","index":1.5})", "\"index\""},
        {R"({"type":"pick","control":"a","index":99999999999})", "\"index\""},
        {R"({"type":"key","control":"a","key":70000})", "65535"},
        {R"({"type":"key","control":"a","key":13,"shift":"alt"})", "\"shift\""},
        {R"({"type":"page"})", "\"page\""},
        {R"({"type":"move","dataset":"x"})", "\"recNo\""},
        {R"({"type":"answer","value":{}})", "\"keys\""},
        {R"({"type":"answer","value":{"keys":[1]}})", "\"keys\""},
        {R"({"type":"answer","value":7})", "\"value\""},
    };
    for (const auto& [body, mention] : cases) {
        try {
            host::parseEvent(json::parse(body));
            ADD_FAILURE() << "accepted " << body;
        } catch (const host::BadRequest& ex) {
            EXPECT_NE(std::string(ex.what()).find(mention), std::string::npos) << body << " -> " << ex.what();
        }
    }
}

class ConfigFixture : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tipoper-host-config-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        file = (dir / "tipoper.toml").string();
        std::ofstream(file) << "appserver = \"file-host:7001\"\ndb = \"sqlite:/tmp/file.db\"\n"
                               "listen = \"0.0.0.0\"\nport = 9090\n";
    }
    void TearDown() override { fs::remove_all(dir); }
    host::HostConfig resolve(const host::CommandLine& cli) {
        return host::resolveConfig(
            cli,
            [this](const char* name) -> std::optional<std::string> {
                auto it = env.find(name);
                if (it == env.end()) return std::nullopt;
                return it->second;
            },
            "/opt/tipoper/bin");
    }
    fs::path dir;
    std::string file;
    std::map<std::string, std::string> env;
};

TEST_F(ConfigFixture, FlagsThenEnvironmentThenFileThenDefaults) {
    host::CommandLine none;
    EXPECT_EQ(resolve(none).appServer, "127.0.0.1:7400");
    EXPECT_EQ(resolve(none).port, 8080);
    EXPECT_EQ(resolve(none).listen, "127.0.0.1");
    EXPECT_EQ(resolve(none).module, "/opt/tipoper/bin/libPKG_GER06600.so");

    host::CommandLine withFile;
    withFile.configFile = file;
    auto fromFile = resolve(withFile);
    EXPECT_EQ(fromFile.appServer, "file-host:7001");
    EXPECT_EQ(fromFile.db, "sqlite:/tmp/file.db");
    EXPECT_EQ(fromFile.listen, "0.0.0.0");
    EXPECT_EQ(fromFile.port, 9090);

    env["TIPOPER_APPSERVER"] = "env-host:7002";
    env["TIPOPER_DB"] = "postgresql://env/db";
    auto fromEnv = resolve(withFile);
    EXPECT_EQ(fromEnv.appServer, "env-host:7002");
    EXPECT_EQ(fromEnv.db, "postgresql://env/db");
    EXPECT_EQ(fromEnv.port, 9090); // the environment names no port

    host::CommandLine flags = withFile;
    flags.appServer = "flag-host:7003";
    flags.db = "sqlite:flag.db";
    flags.port = 0;
    flags.listen = "127.0.0.1";
    auto fromFlags = resolve(flags);
    EXPECT_EQ(fromFlags.appServer, "flag-host:7003");
    EXPECT_EQ(fromFlags.db, "sqlite:flag.db");
    EXPECT_EQ(fromFlags.port, 0);
    EXPECT_EQ(fromFlags.listen, "127.0.0.1");

    env.clear();
    env["TIPOPER_CONFIG"] = file; // the file may also be named by the environment
    EXPECT_EQ(resolve(none).appServer, "file-host:7001");
}

TEST_F(ConfigFixture, UnusableValuesAreRefused) {
    host::CommandLine cli;
    for (const char* bad : {"host", "host:", ":7400", "host:0", "host:70000", "host:74a0"}) {
        cli.appServer = bad;
        EXPECT_THROW(resolve(cli), host::ConfigError) << bad;
    }
    host::CommandLine broken;
    std::ofstream(file) << "port = \"oitenta\"\n";
    broken.configFile = file;
    EXPECT_THROW(resolve(broken), host::ConfigError);
    std::ofstream(file) << "appserver = [\n";
    EXPECT_THROW(resolve(broken), host::ConfigError);
    broken.configFile = (dir / "missing.toml").string();
    EXPECT_THROW(resolve(broken), host::ConfigError);
}

TEST_F(ConfigFixture, HttpFlagsReachTheConfiguration) {
    std::vector<std::string> args{"tipoper-host",      "--allowed-host",    "erp.example",  "--allowed-host",
                                  "10.0.0.5",          "--tls-cert",        "c.pem",        "--tls-key",
                                  "k.pem",             "--max-connections", "500",          "--keep-alive",
                                  "30",                "--request-timeout", "5"};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    auto cli = host::parseCommandLine(static_cast<int>(argv.size()), argv.data());
    ASSERT_TRUE(cli);
    auto config = resolve(*cli);
    EXPECT_EQ(config.allowedHosts, (std::vector<std::string>{"erp.example", "10.0.0.5"}));
    EXPECT_EQ(config.tlsCert, "c.pem");
    EXPECT_EQ(config.tlsKey, "k.pem");
    EXPECT_EQ(config.maxConnections, 500);
    EXPECT_EQ(config.keepAliveSeconds, 30);
    EXPECT_EQ(config.requestTimeoutSeconds, 5);

    // Without flags: the file, then the defaults (no TLS; the allowed names derive from the listen address).
    std::ofstream(file) << "allowed_hosts = [\"erp.example\", \"[::1]\"]\ntls_cert = \"f.pem\"\ntls_key = \"g.pem\"\n";
    host::CommandLine withFile;
    withFile.configFile = file;
    auto fromFile = resolve(withFile);
    EXPECT_EQ(fromFile.allowedHosts, (std::vector<std::string>{"erp.example", "[::1]"}));
    EXPECT_EQ(fromFile.tlsCert, "f.pem");
    auto defaults = resolve(host::CommandLine{});
    EXPECT_TRUE(defaults.allowedHosts.empty());
    EXPECT_TRUE(defaults.tlsCert.empty() && defaults.tlsKey.empty());
}

TEST_F(ConfigFixture, UnusableHttpSettingsAreRefused) {
    host::CommandLine certOnly;
    certOnly.tlsCert = "c.pem";
    EXPECT_THROW(resolve(certOnly), host::ConfigError);
    host::CommandLine keyOnly;
    keyOnly.tlsKey = "k.pem";
    EXPECT_THROW(resolve(keyOnly), host::ConfigError);
    for (const char* bad : {"bad name", "", "host/path", "a:b:c:z"}) {
        host::CommandLine cli;
        cli.allowedHosts = {"localhost", bad};
        EXPECT_THROW(resolve(cli), host::ConfigError) << bad;
    }
    std::ofstream(file) << "allowed_hosts = \"erp.example\"\n";
    host::CommandLine notAList;
    notAList.configFile = file;
    EXPECT_THROW(resolve(notAList), host::ConfigError);
}

} // namespace
} // namespace hosttest
