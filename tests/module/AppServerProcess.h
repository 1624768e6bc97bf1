#pragma once

// Starts the real application server as a child process on a free loopback port, over a fresh
// SQLite file, and stops it by its pid. Tests of the screen run against it as a user's screen does,
// connected as a user who may read and write (an API token made with the server's user commands).

#include "lib/Morvala.h"

#include <string>
#include <vector>
#include <sys/types.h>

namespace testing_support {

class AppServerProcess {
public:
    // `dbPath` empty: a fresh file in a new temporary folder. `port` 0: a free port.
    explicit AppServerProcess(bool demo = false, std::string dbPath = {}, int port = 0);
    ~AppServerProcess();
    AppServerProcess(const AppServerProcess&) = delete;
    AppServerProcess& operator=(const AppServerProcess&) = delete;

    int port() const { return port_; }
    const std::string& dbPath() const { return dbPath_; }
    std::string dbUrl() const { return "sqlite:" + dbPath_; }
    const std::string& tracePath() const { return tracePath_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    const std::string& token() const { return token_; }
    Morvala::Credential credential() const { return {Morvala::Credential::Kind::Token, token_}; }
    // What a host sets to point its screens at this server.
    Morvala::HostConfig hostConfig() const { return {.appServer = address(), .databaseURL = dbUrl(), .credential = credential()}; }

    void stop();              // SIGTERM and wait
    void kill();              // SIGKILL and wait
    void restart();           // same database and port
    bool running() const { return pid_ > 0; }

private:
    void start();
    void provision();
    std::string executable() const;

    bool demo_;
    std::string dir_;
    std::string dbPath_;
    std::string tracePath_;
    int port_;
    std::string token_;
    pid_t pid_ = -1;
};

// The operations the server received, in order, from its trace file.
std::vector<std::string> tracedOperations(const std::string& tracePath);

} // namespace testing_support
