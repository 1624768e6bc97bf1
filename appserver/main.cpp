// tipoper-appserver: the application server "Ger06600.rdmTipOper" of the operation-type screen, and the
// administration of its users (`tipoper-appserver --db URL user ...`).

#include "ClientSession.h"
#include "Database.h"
#include "DatabaseUrl.h"
#include "Migrations.h"
#include "Secrets.h"
#include "Server.h"
#include "SessionPool.h"
#include "Trace.h"
#include "UserCommands.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <malloc.h>
#include <memory>
#include <pthread.h>
#include <semaphore>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

// Every connection is a descriptor; the soft limit is often far below what the system allows.
void raiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char** argv) {
    // Large buffers (a request line of megabytes) are mapped on their own and go back to the system when
    // freed, instead of raising the allocator's threshold and staying in its free lists.
    ::mallopt(M_MMAP_THRESHOLD, 1024 * 1024);

    std::string databaseUrl = "sqlite:var/tipoper.db";
    appserver::ListenOptions listen;
    std::string tracePath;
    bool demo = false;
    std::string logLevel = "info";
    int poolSize = 16;
    int ticketIdle = 1800;
    int recheck = 30;
    int connectDeadline = 30;

    CLI::App app{"Servidor de aplicação do cadastro de tipos de operação (objeto Ger06600.rdmTipOper): "
                 "JSON-RPC 2.0 sobre TCP, um objeto JSON por linha.",
                 "tipoper-appserver"};
    app.fallthrough();
    app.add_option("--db", databaseUrl, "Base de dados: sqlite:CAMINHO ou postgresql://usuário@máquina:porta/base")
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
    app.add_option("--pool", poolSize, "Sessões da base de dados compartilhadas por todas as conexões")
        ->check(CLI::Range(1, 1000))
        ->capture_default_str();
    app.add_option("--workers", listen.workers, "Threads que atendem as conexões")
        ->check(CLI::Range(1, 256))
        ->capture_default_str();
    app.add_option("--max-connections", listen.maxConnections, "Máximo de conexões simultâneas")
        ->check(CLI::Range(1, 100000))
        ->capture_default_str();
    app.add_option("--ticket-idle", ticketIdle, "Segundos sem uso após os quais um ticket de Login expira")
        ->check(CLI::Range(1, 30 * 24 * 3600))
        ->capture_default_str();
    app.add_option("--auth-recheck", recheck,
                   "Segundos entre as verificações da credencial de uma conexão (0: a cada chamada)")
        ->check(CLI::Range(0, 24 * 3600))
        ->capture_default_str();
    app.add_option("--connect-timeout", connectDeadline,
                   "Segundos que uma conexão tem para se autenticar com connect")
        ->check(CLI::Range(1, 3600))
        ->capture_default_str();

    appserver::UserCommand userCommand;
    auto* user = app.add_subcommand("user", "Administra os usuários (a base é criada ou atualizada se preciso)");
    user->require_subcommand(1);
    auto* add = user->add_subcommand("add", "Cria um usuário; a senha vem numa linha da entrada padrão");
    add->add_option("nome", userCommand.name, "Nome do usuário")->required();
    add->add_option("--role", userCommand.role, "Papel: consulta, manutencao ou admin")->required();
    add->add_flag("--no-password", userCommand.noPassword, "Usuário sem senha, que só acessa com tokens");
    user->add_subcommand("list", "Lista os usuários: nome, papel, situação, senha e número de tokens");
    auto* role = user->add_subcommand("role", "Muda o papel de um usuário");
    role->add_option("nome", userCommand.name, "Nome do usuário")->required();
    role->add_option("papel", userCommand.role, "consulta, manutencao ou admin")->required();
    for (const char* action : {"disable", "enable", "password", "token", "revoke"}) {
        const char* help = std::string_view(action) == "disable"    ? "Desativa um usuário e encerra seus acessos"
                           : std::string_view(action) == "enable"   ? "Reativa um usuário"
                           : std::string_view(action) == "password" ? "Troca a senha (uma linha da entrada padrão)"
                           : std::string_view(action) == "token"    ? "Cria um token de acesso e o imprime"
                                                                    : "Revoga todos os tokens do usuário";
        user->add_subcommand(action, help)->add_option("nome", userCommand.name, "Nome do usuário")->required();
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "tipoper-appserver: opção inválida: %s\nUse --help para ver as opções.\n", e.what());
        return 2;
    }

    // Logs go to stderr: stdout carries only what scripts read (the listening line, a token, a list).
    auto logger = spdlog::stderr_color_mt("tipoper-appserver");
    spdlog::set_default_logger(logger);
    spdlog::set_pattern("%Y-%m-%d %H:%M:%S.%e [%^%l%$] %v");
    spdlog::set_level(spdlog::level::from_str(logLevel));

    if (user->parsed()) {
        userCommand.action = user->get_subcommands().front()->get_name();
        spdlog::set_level(spdlog::level::warn);
        try {
            return appserver::runUserCommand(userCommand, appserver::parseDatabaseUrl(databaseUrl), std::cin,
                                             std::cout, std::cerr);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tipoper-appserver: %s\n", e.what());
            return 1;
        }
    }

    raiseDescriptorLimit();
    appserver::ServerContext context;
    context.auth.ticketIdle = std::chrono::seconds(ticketIdle);
    // A ticket in use must be refreshed before it could expire between two checks.
    context.auth.recheck = std::chrono::seconds(std::min(recheck, ticketIdle / 2));
    listen.connectDeadline = std::chrono::seconds(connectDeadline);
    std::unique_ptr<appserver::Trace> trace;
    std::unique_ptr<appserver::SessionPool> pool;
    const auto hashingSlots = static_cast<std::ptrdiff_t>(std::max(1u, std::thread::hardware_concurrency()));
    std::counting_semaphore<> passwordSlots(hashingSlots);
    context.passwordSlots = &passwordSlots;
    std::counting_semaphore<> loginSlots(std::max(1, listen.workers / 2));
    context.loginSlots = &loginSlots;
    try {
        appserver::secrets::initialize();
        context.database = appserver::parseDatabaseUrl(databaseUrl);
        {
            appserver::Database db(context.database);
            const auto state = appserver::migrate(db, context.database.schema);
            if (state.before == state.after)
                spdlog::info("Base de dados {} na versão {} do esquema", context.database.display, state.after);
            else
                spdlog::info("Base de dados {}: esquema atualizado da versão {} para a {}", context.database.display,
                             state.before, state.after);
            if (demo) {
                if (appserver::loadDemo(db))
                    spdlog::info("Dados de demonstração carregados");
                else
                    spdlog::info("A base já tem dados: os dados de demonstração não foram carregados");
            }
        }
        pool = std::make_unique<appserver::SessionPool>(context.database, static_cast<std::size_t>(poolSize),
                                                         std::chrono::seconds(10));
        context.pool = pool.get();
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
    const bool v6 = server->host().find(':') != std::string::npos;
    std::printf("tipoper-appserver ouvindo em %s%s%s:%d\n", v6 ? "[" : "", server->host().c_str(), v6 ? "]" : "",
                server->port());
    std::fflush(stdout);
    spdlog::info("Ouvindo em {}:{} (objeto Ger06600.rdmTipOper; {} sessões de base no máximo, {} trabalhadores, "
                 "{} conexões no máximo)",
                 server->host(), server->port(), poolSize, listen.workers, listen.maxConnections);

    std::thread waiter([&] {
        int received = 0;
        sigwait(&signals, &received);
        if (received == SIGINT || received == SIGTERM) spdlog::info("Sinal {} recebido: encerrando", received);
        server->stop();
    });
    server->run();
    // run() returns once stopped; wake the waiter if something else ended it, so it can be joined.
    ::kill(::getpid(), SIGTERM);
    waiter.join();
    server.reset();
    pool.reset();
    spdlog::info("Servidor encerrado");
    return 0;
}
