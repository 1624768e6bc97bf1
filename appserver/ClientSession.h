#pragma once

// One client connection's conversation: JSON-RPC 2.0 requests in, responses out, one line each.
//
// A connection starts unauthenticated: it may call Login (user and password for a ticket), Logout and
// connect, which names the server object and presents a ticket or an API token. A line that is not a
// JSON object in this state ends the connection without an answer: whatever sent it is not a client
// of this protocol (an HTTP request from a web page, in particular), and nothing after it may run.
// Once connected, the connection knows its user and role; the twelve operations run on a database
// session borrowed from the pool for each call, and writes are refused to a role that only reads.
// The credential is checked again now and then, so an expired ticket, a revoked token or a disabled
// user stops working on live connections too.

#include "Accounts.h"
#include "DatabaseUrl.h"

#include <chrono>
#include <memory>
#include <optional>
#include <semaphore>
#include <string>
#include <string_view>

namespace appserver {

class SessionPool;
class Trace;
struct Request;

struct AuthSettings {
    // A ticket unused for this long expires; use pushes it forward.
    std::chrono::seconds ticketIdle{std::chrono::minutes(30)};
    // How often a live connection checks that its credential still holds (and refreshes its ticket).
    std::chrono::seconds recheck{30};
};

struct ServerContext {
    DatabaseUrl database;
    Trace* trace = nullptr; // null without --trace
    SessionPool* pool = nullptr;
    AuthSettings auth;
    // Password hashing is the one expensive step anyone may start before authenticating. These bound
    // how many hashes run at once (each takes its memory cost), and how many workers may be busy with
    // logins at all, so that logins sent by the thousand never hold every worker away from connected
    // screens: a login past that is told the server is busy.
    std::counting_semaphore<>* passwordSlots = nullptr;
    std::counting_semaphore<>* loginSlots = nullptr;
};

class ClientSession {
public:
    ClientSession(const ServerContext& context, std::string peer);
    ~ClientSession();
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    struct Answer {
        std::string line;   // without its newline; empty when nothing is to be sent
        bool close = false; // end the connection after sending `line`
    };
    // Answers one request line (without its newline); never throws.
    Answer handle(std::string_view line);
    // The answer to a request line longer than maxLineBytes(), which is never parsed.
    Answer refuseOversized(std::size_t bytes);

    bool connected() const { return connected_; }
    const std::optional<Identity>& identity() const { return identity_; }
    // Lines before connect are small; a longer one closes the connection unanswered.
    std::size_t maxLineBytes() const;

private:
    enum class CredentialKind { Ticket, Token };
    struct Call;

    std::string dispatch(Call& call);
    std::string connect(Call& call);
    std::string login(Call& call);
    std::string logout(Call& call);
    void authFailed();
    void recheck(Accounts& accounts);
    void writeTrace(const Call& call, int code, const std::string& message,
                    std::chrono::system_clock::time_point wall, long long micros);

    const ServerContext& context_;
    std::string peer_;
    bool connected_ = false;
    bool expired_ = false; // the credential stopped holding while connected
    std::optional<Identity> identity_;
    CredentialKind kind_ = CredentialKind::Ticket;
    std::string credentialHash_;
    std::chrono::steady_clock::time_point checkedAt_{};
    int failedAttempts_ = 0;
    bool closing_ = false;
};

} // namespace appserver
