// tipoper-appserver: the application server "Ger06600.rdmTipOper" of the operation-type screen.

#include "ClientSession.h"
#include "Database.h"
#include "DatabaseUrl.h"
#include "Migrations.h"
#include "Server.h"
#include "Trace.h"

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <memory>
#include <pthread.h>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>
#include <thread>
#include <unistd.h>

int main(int argc, char** argv) {
    std::string databaseUrl = "sqlite:var/tipoper.db";
    appserver::ListenOptions listen;
    std::string tracePath;
    bool demo = false;
    std::string logLevel = "info";

    CLI::App app{"Servidor de aplicação do cadastro de tipos de operação (objeto Ger06600.rdmTipOper): "
                 "JSON-RPC 2.0 sobre TCP, um objeto JSON por linha.",
                 "tipoper-appserver"};
    app.add_option("--db", databaseUrl,
                   "Base de dados: sqlite:CAMINHO ou postgresql://usuário@máquina:porta/base")
        ->capture_default_str();
    app.add_option("--listen", listen.address, "Endereço em que ouvir")->capture_default_str();
    app.add_option("--port", listen.port, "Porta TCP (0 escolhe uma porta livre e a informa)")
        ->check(CLI::Range(0, 65535))
        ->capture_default_str();
    app.add_option("--trace", tracePath, "Arquivo de rastreamento: uma linha JSON por chamada");
    app.add_flag("--demo", demo, "Preenche uma base vazia com dados de demonstração");
    app.add_option("--log-level", logLevel, "Nível de log: trace, debug, info, warn, error, critical, off")
        ->check(CLI::IsMember({"trace", "debug", "info", "warn", "error", "critical", "off"}))
        ->capture_default_str();
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "tipoper-appserver: opção inválida: %s\nUse --help para ver as opções.\n",
                     e.what());
        return 2;
    }

    // Logs go to stderr: stdout carries only the line that tells scripts where the server listens.
    auto logger = spdlog::stderr_color_mt("tipoper-appserver");
    spdlog::set_default_logger(logger);
    spdlog::set_pattern("%Y-%m-%d %H:%M:%S.%e [%^%l%$] %v");
    spdlog::set_level(spdlog::level::from_str(logLevel));

    appserver::ServerContext context;
    std::unique_ptr<appserver::Trace> trace;
    try {
        context.database = appserver::parseDatabaseUrl(databaseUrl);
        {
            appserver::Database db(context.database);
            const auto state = appserver::migrate(db, context.database.schema);
            if (state.before == state.after)
                spdlog::info("Base de dados {} na versão {} do esquema", context.database.display,
                             state.after);
            else
                spdlog::info("Base de dados {}: esquema atualizado da versão {} para a {}",
                             context.database.display, state.before, state.after);
            if (demo) {
                if (appserver::loadDemo(db))
                    spdlog::info("Dados de demonstração carregados");
                else
                    spdlog::info("A base já tem dados: os dados de demonstração não foram carregados");
            }
        }
        if (!tracePath.empty()) {
            trace = std::make_unique<appserver::Trace>(tracePath);
            context.trace = trace.get();
        }
    } catch (const std::exception& e) {
        spdlog::critical("Falha ao preparar a base de dados: {}", e.what());
        return 1;
    }

    // Every thread inherits the blocked signals; one thread waits for them and stops the server cleanly.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::unique_ptr<appserver::Server> server;
    try {
        server = std::make_unique<appserver::Server>(context, listen);
    } catch (const std::exception& e) {
        spdlog::critical("{}", e.what());
        return 1;
    }
    const bool v6 = server->host().find(':') != std::string::npos && server->host().front() != '[';
    std::printf("tipoper-appserver ouvindo em %s%s%s:%d\n", v6 ? "[" : "", server->host().c_str(),
                v6 ? "]" : "", server->port());
    std::fflush(stdout);
    spdlog::info("Ouvindo em {}:{} (objeto Ger06600.rdmTipOper)", server->host(), server->port());

    std::thread waiter([&] {
        int received = 0;
        sigwait(&signals, &received);
        spdlog::info("Sinal {} recebido: encerrando", received);
        server->stop();
    });
    server->run();
    // run() also ends on a fatal accept failure; wake the waiter so it can be joined.
    ::kill(::getpid(), SIGTERM);
    waiter.join();
    server.reset();
    spdlog::info("Servidor encerrado");
    return 0;
}
