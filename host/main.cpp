// tipoper-host: serves the operation-type screen to browsers and to the automation API.

#include "Api.h"
#include "Authenticator.h"
#include "Config.h"
#include "CredentialAuthority.h"
#include "HttpServer.h"
#include "ModuleScreen.h"
#include "ScreenModule.h"
#include "SessionRegistry.h"
#include "StaticFiles.h"

#ifdef TIPOPER_HOST_HAS_LIB
#include "lib/Morvala.h"
#endif

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <pthread.h>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>
#include <sys/resource.h>
#include <thread>

namespace {

// Each connection is a descriptor: take every one the system grants (the soft limit is often 1024).
// Returns the limit now in force.
rlim_t raiseFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) return raised.rlim_cur;
        spdlog::warn("não foi possível elevar o limite de arquivos abertos de {} para {}", limit.rlim_cur,
                     limit.rlim_max);
    }
    return limit.rlim_cur;
}

int serve(const host::HostConfig& config) {
    spdlog::set_level(spdlog::level::from_str(config.logLevel));

#ifdef TIPOPER_HOST_HAS_LIB
    Morvala::HostConfig library;
    library.appServer = config.appServer;
    library.databaseURL = config.db;
    Morvala::setHostConfig(library);
#endif

    const host::ScreenModule module = host::loadScreenModule(config.module);
    host::StaticFiles webFiles(config.web);
    if (!config.definition.empty() && std::filesystem::exists(config.definition))
        webFiles.alias("/definition.json", config.definition);
    else
        spdlog::warn("definição da tela não encontrada ({}); /definition.json não será servido",
                     config.definition);

    host::RegistryOptions registryOptions;
    registryOptions.idleTimeout = std::chrono::seconds(config.sessionIdleSeconds);
    registryOptions.maxSessions = static_cast<std::size_t>(config.maxSessions);
    registryOptions.maxSessionsPerUser = static_cast<std::size_t>(config.maxSessionsPerUser);
    host::SessionRegistry sessions(
        [module](const host::Identity& who) { return std::make_unique<host::ModuleScreen>(module, who); },
        registryOptions);

    // Every user logs in through the application server, and each screen connects with its user's
    // credential: the host has no credential of its own.
    host::AppServerAuthorityOptions authorityOptions;
    std::tie(authorityOptions.host, authorityOptions.port) = host::splitHostPort(config.appServer);
    host::AppServerAuthority authority(authorityOptions);
    host::CsrfTokens csrf;
    host::AuthenticatorOptions authOptions;
    authOptions.cacheLifetime = std::chrono::seconds(config.authCacheSeconds);
    host::Authenticator authenticator(authority, csrf, authOptions);
    authenticator.onRejected([&sessions](const std::string& login) { sessions.closeLogin(login); });
    host::Api api(sessions, authenticator, csrf);

    host::HttpOptions httpOptions;
    httpOptions.listen = config.listen;
    httpOptions.port = config.port;
    httpOptions.threads = static_cast<std::size_t>(config.httpThreads);
    httpOptions.allowedHosts = config.allowedHosts;
    httpOptions.tlsCertificate = config.tlsCert;
    httpOptions.tlsKey = config.tlsKey;
    httpOptions.keepAliveTimeout = std::chrono::seconds(config.keepAliveSeconds);
    httpOptions.requestTimeout = std::chrono::seconds(config.requestTimeoutSeconds);
    httpOptions.maxConnections = static_cast<std::size_t>(config.maxConnections);
    // Sessions, the application server's connections and the log need descriptors of their own.
    const rlim_t fileLimit = raiseFileLimit();
    const rlim_t reserve = 256 + 2 * static_cast<rlim_t>(config.maxSessions);
    if (fileLimit != RLIM_INFINITY && httpOptions.maxConnections + reserve > fileLimit) {
        const std::size_t fitting = fileLimit > reserve + 16 ? static_cast<std::size_t>(fileLimit - reserve) : 16;
        spdlog::warn("limite de {} arquivos abertos: no máximo {} conexões HTTP em vez de {}", fileLimit, fitting,
                     httpOptions.maxConnections);
        httpOptions.maxConnections = fitting;
    }
    host::HttpServer server(api, &webFiles, httpOptions);
    const int port = server.bind();

    // SIGINT and SIGTERM end the server cleanly; they are handled on a thread of their own.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    std::thread waiter([&server, signals] {
        int received = 0;
        sigwait(&signals, &received);
        spdlog::info("sinal {} recebido; encerrando", received);
        server.stop();
    });

    const std::string shownHost =
        config.listen.find(':') != std::string::npos ? "[" + config.listen + "]" : config.listen;
    std::printf("tipoper-host ouvindo em %s://%s:%d/\n", server.secure() ? "https" : "http", shownHost.c_str(),
                port);
    std::fflush(stdout);
    spdlog::info("servidor de aplicação {}, banco {}, módulo {}, arquivos {}", config.appServer, config.db,
                 config.module, webFiles.root().string());

    server.run();
    // run() also returns when the server fails; wake the signal thread so it can be joined.
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    sessions.closeAll();
    spdlog::info("encerrado");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // Block the stop signals in every thread; the waiter thread takes them with sigwait.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    spdlog::set_default_logger(spdlog::stderr_color_mt("host"));
    try {
        auto cli = host::parseCommandLine(argc, argv);
        if (!cli) return 0;
        return serve(host::resolveConfig(*cli, host::processEnv, host::executableDir()));
    } catch (const std::exception& ex) {
        std::fprintf(stderr, "tipoper-host: %s\n", ex.what());
        return 1;
    }
}
