#pragma once

// Where the host checks credentials: the application server, which keeps the users, their passwords,
// tickets and tokens. The host stores no password and decides no login by itself; it asks:
// - `Login` with a user and password, for a ticket;
// - `connect` with a ticket or a token, to learn whether it still holds and for whom;
// - `Logout` with a ticket, to end it.
// Each question uses a connection of its own, closed after the answer: questions are rare (a login,
// or a credential the host has not seen for a while), and a connection that gave a wrong password
// carries no state into the next one.

#include "Identity.h"

#include <chrono>
#include <optional>
#include <string>

namespace host {

struct AuthAnswer {
    enum class Status {
        Ok,         // the server vouched for the user
        Refused,    // wrong password, unknown or disabled user; an unknown, expired or revoked credential
        Unavailable // the server could not be asked (down, too slow, a broken answer)
    };
    Status status = Status::Unavailable;
    std::string user;
    std::string role;
    Credential credential; // login: the new ticket; check: the credential as it proved to be
};

class CredentialAuthority {
public:
    virtual ~CredentialAuthority() = default;
    virtual AuthAnswer login(const std::string& user, const std::string& password) = 0;
    // Tickets and tokens look alike: `hint` is the kind to try first (the other is tried after it).
    virtual AuthAnswer check(const std::string& secret, std::optional<Credential::Kind> hint) = 0;
    // Ends a ticket; false when the server could not be told.
    virtual bool logout(const std::string& ticket) = 0;
};

struct AppServerAuthorityOptions {
    std::string host = "127.0.0.1";
    int port = 7400;
    std::chrono::milliseconds connectTimeout{3000};
    // A login hashes the password on the server, which takes a while on a busy machine.
    std::chrono::milliseconds answerTimeout{15000};
};

class AppServerAuthority final : public CredentialAuthority {
public:
    explicit AppServerAuthority(AppServerAuthorityOptions options) : options_(std::move(options)) {}

    AuthAnswer login(const std::string& user, const std::string& password) override;
    AuthAnswer check(const std::string& secret, std::optional<Credential::Kind> hint) override;
    bool logout(const std::string& ticket) override;

private:
    AppServerAuthorityOptions options_;
};

} // namespace host
