#pragma once

// Users, their logins (tickets) and their API tokens, kept in the ERP database (USUARIO,
// TICKETUSUARIO, TOKENUSUARIO) and reached through one database session. The command line
// administers them; the server authenticates connections with them. Only hashes of secrets are
// stored or compared here; the secrets themselves are returned once, to whoever asked for them.

#include "Database.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace appserver {

// consulta reads; manutencao also writes operation types and message lines; admin also manages users.
enum class Role { Consulta, Manutencao, Admin };

std::optional<Role> roleFromName(std::string_view name);
std::string_view roleName(Role role);
bool canWrite(Role role);

// Letters in lower case, digits, ".", "_", "-" and "@", 1 to 64 of them, starting with a letter or a digit.
bool validUserName(std::string_view name);

struct Identity {
    std::string user;
    Role role = Role::Consulta;
    bool operator==(const Identity&) const = default;
};

struct UserInfo {
    std::string name;
    Role role = Role::Consulta;
    bool active = true;
    bool hasPassword = false;
    int tokens = 0;
};

// Seconds since 1970 (UTC): ticket ages are counted in these.
std::int64_t unixNow();

class Accounts {
public:
    explicit Accounts(Database& db);
    ~Accounts();
    Accounts(const Accounts&) = delete;
    Accounts& operator=(const Accounts&) = delete;

    // --- administration ---
    // False when the name is taken. A user without a password hash reaches the server with tokens only.
    bool addUser(std::string_view name, Role role, const std::optional<std::string>& passwordHash);
    std::vector<UserInfo> users();
    // Each returns false when there is no such user.
    bool setRole(std::string_view name, Role role);
    // Disabling also ends the user's tickets and tokens at once.
    bool setActive(std::string_view name, bool active);
    bool setPassword(std::string_view name, const std::string& passwordHash);
    // A new API token (the secret, shown once); nullopt when there is no such user.
    std::optional<std::string> newToken(std::string_view name);
    // How many tokens were revoked; nullopt when there is no such user.
    std::optional<int> revokeTokens(std::string_view name);

    // --- authentication ---
    struct Login {
        Identity who;
        std::optional<std::string> passwordHash;
        bool active = false;
    };
    std::optional<Login> loginOf(std::string_view name);
    // A new ticket (the secret) for the user, last used `now`; expired tickets are swept on the way.
    std::string newTicket(std::string_view name, std::int64_t now, std::int64_t expiredBefore);
    // The owner of a ticket used at or after `expiredBefore`, if the owner is active; its last use becomes
    // `now`. nullopt for an unknown, expired or revoked ticket and for a disabled user.
    std::optional<Identity> ticketOwner(std::string_view ticketHash, std::int64_t now, std::int64_t expiredBefore);
    // The owner of a token, if the owner is active.
    std::optional<Identity> tokenOwner(std::string_view tokenHash);
    bool dropTicket(std::string_view ticketHash);

private:
    enum class Query { User, Users, TicketOwner, TokenOwner, Count };
    enum class Write {
        InsertUser,
        SetRole,
        SetActive,
        SetPassword,
        InsertToken,
        DeleteTokens,
        InsertTicket,
        TouchTicket,
        DeleteTicket,
        DeleteTicketsOf,
        PurgeTickets,
        Count
    };
    Reader& reader(Query query);
    Command& command(Write write);
    bool exists(std::string_view name);
    std::optional<Identity> owner(Query query, std::span<const std::string_view> params);

    Database& db_;
    std::array<std::unique_ptr<Reader>, static_cast<std::size_t>(Query::Count)> readers_;
    std::array<std::unique_ptr<Command>, static_cast<std::size_t>(Write::Count)> commands_;
};

} // namespace appserver
