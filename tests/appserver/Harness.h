#pragma once

// Test support: the server as a real child process, a JSON-line client over loopback, and a throwaway
// database (a temporary SQLite file, or a fresh PostgreSQL schema when TIPOPER_TEST_PG names a server).

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <sys/types.h>
#include <vector>

namespace harness {

using nlohmann::json;

enum class Backend { Sqlite, Postgresql };
inline void PrintTo(Backend backend, std::ostream* os) {
    *os << (backend == Backend::Sqlite ? "SQLite" : "PostgreSQL");
}

class TestDatabase {
public:
    // nullopt when the backend is not available here (PostgreSQL without TIPOPER_TEST_PG).
    static std::optional<TestDatabase> create(Backend backend);
    TestDatabase(TestDatabase&&) noexcept;
    ~TestDatabase();

    Backend backend() const { return backend_; }
    const std::string& url() const { return url_; }
    const std::filesystem::path& dir() const { return dir_; }

private:
    TestDatabase() = default;
    Backend backend_ = Backend::Sqlite;
    std::string url_;
    std::filesystem::path dir_;
    bool owner_ = false;
};

class ServerProcess {
public:
    // Starts the server on a free port and waits for its "ouvindo em" line; throws when it does not come.
    // `executable` empty: the server of this build.
    explicit ServerProcess(std::vector<std::string> args, std::string executable = {});
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    const std::string& banner() const { return banner_; }
    int stop();  // SIGTERM; the exit status
    void kill(); // SIGKILL, no clean-up of any kind
    std::string log() const;

    // Runs the server expecting it to fail at start; returns its exit status and fills `log`.
    static int runToFailure(std::vector<std::string> args, std::string& log);

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string banner_;
    std::filesystem::path logFile_;
};

// Runs the server executable with `args` and `input` on its standard input (the user commands).
struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;
};
CommandResult runCommand(std::vector<std::string> args, const std::string& input = {});

// A user of the role, without a password, and a new API token of it; throws when a command fails.
std::string provisionToken(const std::string& dbUrl, const std::string& user, const std::string& role);

class RpcClient {
public:
    // `token` is the credential connect() presents; empty: none.
    explicit RpcClient(int port, std::string token = {});
    ~RpcClient();
    RpcClient(const RpcClient&) = delete;
    RpcClient& operator=(const RpcClient&) = delete;

    json call(const std::string& method, json params = json::array());
    json connect(); // names the server object with the client's token; the answer of connect
    json login(const std::string& user, const std::string& password);
    void send(std::string_view bytes);
    json readResponse();
    std::string readLine(); // one answer line, unparsed
    void close();

private:
    int fd_ = -1;
    std::string token_;
    std::string buffer_;
    long long nextId_ = 1;
};

// Rows of a data packet as objects field -> value.
std::vector<json> records(const json& packet);
// The record of a packet whose field `field` holds `value`; null json when absent.
json findRecord(const json& packet, const std::string& field, const std::string& value);
json changes(std::initializer_list<json> list);
json modify(const json& oldRow, const json& newRow);
json insert(const json& newRow);
json remove(const json& oldRow);

} // namespace harness
