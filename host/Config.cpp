#include "Config.h"

#include "RequestPolicy.h"

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <toml++/toml.h>
#include <unistd.h>

namespace host {

namespace fs = std::filesystem;

std::optional<std::string> processEnv(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

std::pair<std::string, int> splitHostPort(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        throw ConfigError("endereço do servidor de aplicação inválido (esperado HOST:PORTA): \"" + text +
                          "\"");
    int port = 0;
    for (std::size_t i = colon + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9' || port > 65535)
            throw ConfigError("porta inválida em \"" + text + "\"");
        port = port * 10 + (text[i] - '0');
    }
    if (port < 1 || port > 65535) throw ConfigError("porta inválida em \"" + text + "\"");
    return {text.substr(0, colon), port};
}

std::string executableDir() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path().string() : exe.parent_path().string();
}

std::optional<CommandLine> parseCommandLine(int argc, char** argv) {
    CLI::App app{"Servidor web da tela Tipo de Operação (GER06600)", "tipoper-host"};
    CommandLine cli;
    std::string listen, appServer, db, config, module, web, definition, logLevel, tlsCert, tlsKey;
    int port = 0, idle = 0, maxSessions = 0, threads = 0, maxConnections = 0, keepAlive = 0, requestTimeout = 0,
        perUser = 0, authCache = 0;
    auto* oListen = app.add_option("--listen", listen, "Endereço de escuta (padrão 127.0.0.1)");
    auto* oPort = app.add_option("--port", port, "Porta HTTP (0 = uma porta livre; padrão 8080)")
                      ->check(CLI::Range(0, 65535));
    auto* oApp = app.add_option("--appserver", appServer, "Servidor de aplicação HOST:PORTA");
    auto* oDb = app.add_option("--db", db, "URL do banco de dados (sqlite:ARQUIVO ou postgresql://...)");
    auto* oConfig = app.add_option("--config", config, "Arquivo de configuração TOML");
    auto* oModule = app.add_option("--module", module, "Biblioteca do módulo da tela");
    auto* oWeb = app.add_option("--web", web, "Pasta dos arquivos do navegador");
    auto* oDef =
        app.add_option("--definition", definition, "Definição da tela (JSON) servida em /definition.json");
    auto* oIdle =
        app.add_option("--session-idle", idle, "Segundos de inatividade até a sessão expirar (padrão 1800)")
            ->check(CLI::Range(1, 7 * 24 * 3600));
    auto* oLog = app.add_option("--log-level", logLevel, "trace, debug, info, warn, error, critical ou off")
                     ->check(CLI::IsMember({"trace", "debug", "info", "warn", "error", "critical", "off"}));
    auto* oMax =
        app.add_option("--max-sessions", maxSessions, "Número máximo de sessões abertas (padrão 1000)")
            ->check(CLI::Range(1, 100000));
    auto* oThreads =
        app.add_option("--http-threads", threads, "Threads para as chamadas da API (padrão 256)")
            ->check(CLI::Range(2, 4096));
    app.add_option("--allowed-host", cli.allowedHosts,
                   "Nome pelo qual o servidor pode ser chamado (cabeçalho Host); repetível. Padrão: o endereço "
                   "de escuta, localhost e 127.0.0.1");
    auto* oCert = app.add_option("--tls-cert", tlsCert, "Certificado TLS (PEM, com a cadeia); pede --tls-key");
    auto* oKey = app.add_option("--tls-key", tlsKey, "Chave privada TLS (PEM); pede --tls-cert");
    auto* oMaxConn =
        app.add_option("--max-connections", maxConnections, "Conexões HTTP abertas ao mesmo tempo (padrão 10000)")
            ->check(CLI::Range(1, 1000000));
    auto* oKeepAlive =
        app.add_option("--keep-alive", keepAlive, "Segundos que uma conexão ociosa fica aberta (padrão 60)")
            ->check(CLI::Range(1, 3600));
    auto* oReqTimeout = app.add_option("--request-timeout", requestTimeout,
                                       "Segundos para receber o cabeçalho, e de novo o corpo, de uma requisição "
                                       "(padrão 10)")
                            ->check(CLI::Range(1, 600));
    auto* oPerUser = app.add_option("--max-sessions-per-user", perUser,
                                    "Número máximo de sessões abertas de um mesmo usuário (padrão 20)")
                         ->check(CLI::Range(1, 100000));
    auto* oAuthCache = app.add_option("--auth-cache", authCache,
                                      "Segundos em que uma credencial conferida vale sem nova consulta ao servidor "
                                      "de aplicação (padrão 10; 0 = consulta sempre)")
                           ->check(CLI::Range(0, 300));
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        app.exit(e);
        return std::nullopt;
    } catch (const CLI::ParseError& e) {
        throw ConfigError(std::string(e.what()) + "\n" + app.help());
    }
    if (*oListen) cli.listen = listen;
    if (*oPort) cli.port = port;
    if (*oApp) cli.appServer = appServer;
    if (*oDb) cli.db = db;
    if (*oConfig) cli.configFile = config;
    if (*oModule) cli.module = module;
    if (*oWeb) cli.web = web;
    if (*oDef) cli.definition = definition;
    if (*oIdle) cli.sessionIdleSeconds = idle;
    if (*oLog) cli.logLevel = logLevel;
    if (*oMax) cli.maxSessions = maxSessions;
    if (*oThreads) cli.httpThreads = threads;
    if (*oCert) cli.tlsCert = tlsCert;
    if (*oKey) cli.tlsKey = tlsKey;
    if (*oMaxConn) cli.maxConnections = maxConnections;
    if (*oKeepAlive) cli.keepAliveSeconds = keepAlive;
    if (*oReqTimeout) cli.requestTimeoutSeconds = requestTimeout;
    if (*oPerUser) cli.maxSessionsPerUser = perUser;
    if (*oAuthCache) cli.authCacheSeconds = authCache;
    return cli;
}

namespace {

// The first existing candidate, or the first candidate when none exists (so the error names it).
std::string firstExisting(std::initializer_list<fs::path> candidates) {
    for (const auto& c : candidates) {
        std::error_code ec;
        if (fs::exists(c, ec)) return fs::weakly_canonical(c, ec).string();
    }
    return candidates.begin()->lexically_normal().string();
}

} // namespace

HostConfig resolveConfig(const CommandLine& cli, const EnvLookup& env, const std::string& exeDir) {
    HostConfig config;
    const fs::path bin(exeDir);

    std::optional<std::string> fileName = cli.configFile;
    if (!fileName) fileName = env("TIPOPER_CONFIG");
    toml::table file;
    if (fileName) {
        try {
            file = toml::parse_file(*fileName);
        } catch (const toml::parse_error& e) {
            throw ConfigError("arquivo de configuração \"" + *fileName +
                              "\" inválido: " + std::string(e.description()));
        }
    } else if (std::error_code ec; fs::exists("tipoper.toml", ec)) {
        try {
            file = toml::parse_file("tipoper.toml");
        } catch (const toml::parse_error& e) {
            throw ConfigError("arquivo de configuração \"tipoper.toml\" inválido: " +
                              std::string(e.description()));
        }
    }
    auto fileString = [&](const char* key) -> std::optional<std::string> {
        if (auto node = file[key]; node) {
            if (auto s = node.value<std::string>()) return s;
            throw ConfigError(std::string("no arquivo de configuração, \"") + key + "\" deve ser um texto");
        }
        return std::nullopt;
    };

    if (cli.listen)
        config.listen = *cli.listen;
    else if (auto v = fileString("listen"))
        config.listen = *v;

    if (cli.port)
        config.port = *cli.port;
    else if (auto node = file["port"]; node) {
        auto v = node.value<int64_t>();
        if (!v || *v < 0 || *v > 65535)
            throw ConfigError("no arquivo de configuração, \"port\" deve ser de 0 a 65535");
        config.port = static_cast<int>(*v);
    }

    if (cli.appServer)
        config.appServer = *cli.appServer;
    else if (auto v = env("TIPOPER_APPSERVER"))
        config.appServer = *v;
    else if (auto f = fileString("appserver"))
        config.appServer = *f;
    splitHostPort(config.appServer); // validates

    if (cli.db)
        config.db = *cli.db;
    else if (auto v = env("TIPOPER_DB"))
        config.db = *v;
    else if (auto f = fileString("db"))
        config.db = *f;

    config.module = cli.module ? *cli.module : (bin / "libPKG_GER06600.so").string();
    config.web =
        cli.web ? *cli.web : firstExisting({bin / "../../web", bin / "../web", bin / "../share/tipoper/web"});
    config.definition = cli.definition ? *cli.definition
                                       : firstExisting({bin / "../../module/screen/GER06600.json",
                                                        bin / "../share/tipoper/GER06600.json"});
    if (cli.sessionIdleSeconds) config.sessionIdleSeconds = *cli.sessionIdleSeconds;
    if (cli.logLevel) config.logLevel = *cli.logLevel;
    if (cli.maxSessions) config.maxSessions = *cli.maxSessions;
    if (cli.httpThreads) config.httpThreads = *cli.httpThreads;

    if (!cli.allowedHosts.empty()) {
        config.allowedHosts = cli.allowedHosts;
    } else if (auto node = file["allowed_hosts"]; node) {
        const auto* names = node.as_array();
        if (!names) throw ConfigError("no arquivo de configuração, \"allowed_hosts\" deve ser uma lista de textos");
        for (const auto& name : *names) {
            auto text = name.value<std::string>();
            if (!text)
                throw ConfigError("no arquivo de configuração, \"allowed_hosts\" deve ser uma lista de textos");
            config.allowedHosts.push_back(*text);
        }
    }
    for (const auto& name : config.allowedHosts)
        if (!hostNameOf(name)) throw ConfigError("nome de servidor permitido inválido: \"" + name + "\"");

    if (cli.tlsCert)
        config.tlsCert = *cli.tlsCert;
    else if (auto f = fileString("tls_cert"))
        config.tlsCert = *f;
    if (cli.tlsKey)
        config.tlsKey = *cli.tlsKey;
    else if (auto f = fileString("tls_key"))
        config.tlsKey = *f;
    if (config.tlsCert.empty() != config.tlsKey.empty())
        throw ConfigError("TLS pede o certificado e a chave: dê --tls-cert e --tls-key juntos");

    if (cli.maxConnections) config.maxConnections = *cli.maxConnections;
    if (cli.keepAliveSeconds) config.keepAliveSeconds = *cli.keepAliveSeconds;
    if (cli.requestTimeoutSeconds) config.requestTimeoutSeconds = *cli.requestTimeoutSeconds;
    if (cli.maxSessionsPerUser) config.maxSessionsPerUser = *cli.maxSessionsPerUser;
    if (cli.authCacheSeconds) config.authCacheSeconds = *cli.authCacheSeconds;
    return config;
}

} // namespace host
