#pragma once

// Where the application server and the database are, as the host is configured, with which credential
// a client's connections reach the server, and the host's table cache. Every read consults the
// configuration again, so a changed address or credential takes effect at the next connect without
// restarting the host.
//
// Sources, first one that sets a value wins:
//   1. the host process's own settings (setHostConfig; the web host installs its command-line flags);
//   2. the environment: TIPOPER_APPSERVER ("host:port"), TIPOPER_DB (database URL), TIPOPER_DB_POOL
//      (sessions in the process's database pool);
//   3. the configuration file named by TIPOPER_CONFIG, default ./tipoper.toml, with the keys
//      appserver = "host:port" and db = "URL" (a missing default file is no error; a missing file
//      that TIPOPER_CONFIG names is);
//   4. the defaults 127.0.0.1, 7400, sqlite:var/tipoper.db and a pool of 8 sessions.
// A value that cannot be used (a port that is not a number from 1 to 65535, a file that does not
// parse) raises lib::ConfigError instead of silently falling back: connecting somewhere else than
// configured would look like a working system pointed at the wrong data.
//
// All functions may be called from any thread.

#include "lib/Errors.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tk {
class Application;
}

namespace Morvala {

inline constexpr const char* kDefaultHost = "127.0.0.1";
inline constexpr int kDefaultPort = 7400;
inline constexpr const char* kDefaultDatabaseURL = "sqlite:var/tipoper.db";
inline constexpr int kDefaultDatabasePoolSize = 8;
inline constexpr int kMaxDatabasePoolSize = 1000;

// What a connection presents to the application server on connect: a ticket from Login (a user who
// logged in) or an API token (a program). A secret: never logged, never shown, never in an error.
struct Credential {
    enum class Kind { Ticket, Token };
    Kind kind = Kind::Token;
    std::string secret;
    bool operator==(const Credential&) const = default;
};

struct HostConfig {
    std::optional<std::string> appServer = std::nullopt;   // "host:port"
    std::optional<std::string> databaseURL = std::nullopt; // "sqlite:PATH" or "postgresql://..."
    // 1 to kMaxDatabasePoolSize. Initialized so that braced lists naming only the members above stay valid.
    std::optional<int> databasePoolSize = std::nullopt;
    std::optional<Credential> credential = std::nullopt; // the host process's own, for clients without theirs
};

// Installs the host process's settings; values left empty fall through to the environment. Checked
// at once: an unusable appserver address or pool size raises lib::ConfigError and leaves the settings
// unchanged.
void setHostConfig(HostConfig config);
HostConfig hostConfig();

struct Address {
    std::string host;
    int port = kDefaultPort;
    bool operator==(const Address&) const = default;
};

// "host:port", "host" (default port) or "[v6-address]:port". `origin` names the source in the error.
Address parseAddress(std::string_view text, std::string_view origin);

// The application server's address from one consistent read of the sources.
Address AppServerAddress();
std::string WebURL();
int WebPort();
std::string DatabaseURL();
// How many sessions the process's pool on the database may open at most: keep the sum over every
// host and server well under the database's own limit.
int DatabasePoolSize();

// The credential of one client (one tk::Application per browser session), set by the host for the
// user logged into it; nullopt clears it. Clients of different users live in one process, so this
// belongs to the client, not to the process.
void setClientCredential(tk::Application& client, std::optional<Credential> credential);

// The user the host logged into one client and their role (as the application server named it:
// "consulta", "manutencao", "admin"), so that the screen can tell what the user may do before it asks
// the server; nullopt clears it. Set before the client's screen starts.
struct ClientUser {
    std::string name;
    std::string role;
    bool operator==(const ClientUser&) const = default;
};
void setClientUser(tk::Application& client, std::optional<ClientUser> user);
// The current client's user; nullopt when the host set none (a client not tied to a user).
std::optional<ClientUser> CurrentUser();

// The role that may read but not change records.
inline constexpr const char* kReadOnlyRole = "consulta";

// The credential the current client's connections present, first source that has one:
//   1. the current client's own (setClientCredential);
//   2. the host process's settings (HostConfig::credential);
//   3. the environment: TIPOPER_APPSERVER_TOKEN (an API token);
//   4. the configuration file's key appserver_token (an API token).
// nullopt when none has one: the server then refuses the connect.
std::optional<Credential> AppServerCredential();

// Tells the host that its cached copy of these tables is stale.
void AtualizaLocalCache(const std::vector<std::string>& tables);

} // namespace Morvala
