#pragma once

// Who is behind a request: the user the application server vouched for, their role, and the credential
// that proved it. The credential is a secret: it travels to the application server and nowhere else
// (never into a log, a snapshot or an error).

#include <string>

namespace host {

struct Credential {
    // A ticket from a login (people, through the login page) or an API token (programs).
    enum class Kind { Ticket, Token };
    Kind kind = Kind::Ticket;
    std::string secret;
};

struct Identity {
    std::string user;
    std::string role; // "consulta", "manutencao" or "admin"
    Credential credential;
    // Names the login without holding its secret: a digest of the credential. Sessions remember the
    // login that opened them by it, and a logout ends them by it.
    std::string login;
};

// The digest Identity::login holds for a secret (SHA-256, hex).
std::string loginKeyOf(const std::string& secret);

} // namespace host
