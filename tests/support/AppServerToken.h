#pragma once

// Test support shared by every harness that starts the application server: a user and an API token
// made with the server's own user commands, as an administrator's script makes them. Connections
// need a credential, and tests connect as a user who may read and write.

#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace testing_support {

// Runs `exe args...` and returns its standard output (and its standard error, when `withErrors`);
// `status` receives its exit status.
inline std::string runAppServerCommand(const std::string& exe, const std::vector<std::string>& args, int& status,
                                       bool withErrors = false) {
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe falhou");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (withErrors) posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", 0, 0);
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; spawned == 0 && (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    if (spawned != 0) throw std::runtime_error("não foi possível executar " + exe);
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return text;
}

// A user of `role` without a password (created unless the database has it already) and a new API
// token of it.
inline std::string appServerToken(const std::string& exe, const std::string& dbUrl, const std::string& user = "teste",
                                  const std::string& role = "manutencao") {
    int status = 0;
    const std::string said =
        runAppServerCommand(exe, {"--db", dbUrl, "user", "add", user, "--role", role, "--no-password"}, status, true);
    if (status != 0 && status != 1) throw std::runtime_error("não foi possível criar o usuário " + user + ": " + said);
    std::string token = runAppServerCommand(exe, {"--db", dbUrl, "user", "token", user}, status);
    if (status != 0 || token.find('\n') == std::string::npos)
        throw std::runtime_error("não foi possível criar um token para " + user);
    token.erase(token.find('\n'));
    return token;
}

} // namespace testing_support
