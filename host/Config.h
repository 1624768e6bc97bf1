#pragma once

// The host's configuration. Each setting comes from the first of: the command line, the environment
// (TIPOPER_APPSERVER, TIPOPER_DB), the configuration file (TOML: appserver, db, listen, port,
// allowed_hosts, tls_cert, tls_key), the default. The resolved application server and database are installed for the component library, so
// the screen's connection reads them at each connect.

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace host {

class ConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the command line gave; unset members were not given.
struct CommandLine {
    std::optional<std::string> listen;
    std::optional<int> port;
    std::optional<std::string> appServer;
    std::optional<std::string> db;
    std::optional<std::string> configFile;
    std::optional<std::string> module;
    std::optional<std::string> web;
    std::optional<std::string> definition;
    std::optional<int> sessionIdleSeconds;
    std::optional<std::string> logLevel;
    std::optional<int> maxSessions;
    std::optional<int> httpThreads;
    std::vector<std::string> allowedHosts; // empty: not given
    std::optional<std::string> tlsCert;
    std::optional<std::string> tlsKey;
    std::optional<int> maxConnections;
    std::optional<int> keepAliveSeconds;
    std::optional<int> requestTimeoutSeconds;
    std::optional<int> maxSessionsPerUser;
    std::optional<int> authCacheSeconds;
};

struct HostConfig {
    std::string listen = "127.0.0.1";
    int port = 8080;
    std::string appServer = "127.0.0.1:7400"; // host:port
    std::string db = "sqlite:var/tipoper.db";
    std::string module;     // the screen module's shared library
    std::string web;        // the renderer's folder
    std::string definition; // the screen definition served at /definition.json ("" = none)
    int sessionIdleSeconds = 30 * 60;
    std::string logLevel = "info";
    int maxSessions = 1000;
    int httpThreads = 256;
    std::vector<std::string> allowedHosts; // names the Host header may give; empty = the defaults
    std::string tlsCert;                   // both or neither
    std::string tlsKey;
    int maxConnections = 10000;
    int keepAliveSeconds = 60;
    int requestTimeoutSeconds = 10;
    int maxSessionsPerUser = 20;
    // How long a credential the application server vouched for is taken without asking again; also the
    // longest a ticket ended or a token revoked at the server still opens the host (0: ask every time).
    int authCacheSeconds = 10;
};

using EnvLookup = std::function<std::optional<std::string>(const char* name)>;
std::optional<std::string> processEnv(const char* name);

// Parses the command line (CLI11); throws ConfigError with the usage text on a bad flag. Returns
// nullopt when --help was asked (the help text is printed).
std::optional<CommandLine> parseCommandLine(int argc, char** argv);

// Applies the precedence above. `exeDir` is where the executable lies, for the default paths.
HostConfig resolveConfig(const CommandLine& cli, const EnvLookup& env, const std::string& exeDir);

// "host:port" split; throws ConfigError when malformed.
std::pair<std::string, int> splitHostPort(const std::string& text);

// The folder of the running executable.
std::string executableDir();

} // namespace host
