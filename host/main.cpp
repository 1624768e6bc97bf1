// tipoper-host: serves the operation-type screen to browsers and to the automation API.

#include "Api.h"
#include "Config.h"
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
#include <thread>

namespace {

int serve(const host::HostConfig& config) {
    spdlog::set_level(spdlog::level::from_str(config.logLevel));

#ifdef TIPOPER_HOST_HAS_LIB
    Morvala::HostConfig library;
    library.appServer = config.appServer;
    library.databaseURL = config.db;
    Morvala::setHostConfig(library);
#endif

    const host::ScreenModule module = host::loadScreenModule(config.module);
    host::StaticFiles files(config.web);
    if (!config.definition.empty() && std::filesystem::exists(config.definition))
        files.alias("/definition.json", config.definition);
    else
        spdlog::warn("definição da tela não encontrada ({}); /definition.json não será servido",
                     config.definition);

    host::RegistryOptions registryOptions;
    registryOptions.idleTimeout = std::chrono::seconds(config.sessionIdleSeconds);
    registryOptions.maxSessions = static_cast<std::size_t>(config.maxSessions);
    host::SessionRegistry sessions([module] { return std::make_unique<host::ModuleScreen>(module); },
                                   registryOptions);
    host::Api api(sessions);

    host::HttpOptions httpOptions;
    httpOptions.listen = config.listen;
    httpOptions.port = config.port;
    httpOptions.threads = static_cast<std::size_t>(config.httpThreads);
    host::HttpServer server(api, &files, httpOptions);
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
    std::printf("tipoper-host ouvindo em http://%s:%d/\n", shownHost.c_str(), port);
    std::fflush(stdout);
    spdlog::info("servidor de aplicação {}, banco {}, módulo {}, arquivos {}", config.appServer, config.db,
                 config.module, files.root().string());

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
