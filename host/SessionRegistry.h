#pragma once

// The sessions of the host, by id. Ids are 128 random bits from the kernel's CSPRNG, and each session
// belongs to the login that opened it: asked for by any other (another user's, or another login of the
// same user), it is as unknown as an id never given. Sessions are limited per user and overall. Idle sessions are closed by a janitor thread within a second of
// their timeout; closed sessions are joined in the background so that a thread busy in a long call never
// blocks a request, and the memory they held is handed back to the system once they are gone.

#include "Identity.h"
#include "Session.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace host {

// 32 lowercase hex digits from getrandom(2).
std::string newSessionId();

class TooManySessions : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Makes the screen of a new session for its user; runs on the session's thread.
using ScreenMaker = std::function<std::unique_ptr<SessionScreen>(const Identity& who)>;

class TooManyUserSessions : public std::runtime_error {
public:
    explicit TooManyUserSessions(std::size_t limit)
        : std::runtime_error("limite de sessões por usuário"), limit_(limit) {}
    std::size_t limit() const { return limit_; }

private:
    std::size_t limit_;
};

struct RegistryOptions {
    std::chrono::seconds idleTimeout{30 * 60};
    std::size_t maxSessions = 1000;
    std::size_t maxSessionsPerUser = 20;
    std::chrono::milliseconds closeGrace{5000}; // how long DELETE waits for the clean-up
    SessionOptions session;
};

class SessionRegistry {
public:
    SessionRegistry(ScreenMaker maker, RegistryOptions options);
    ~SessionRegistry();
    SessionRegistry(const SessionRegistry&) = delete;
    SessionRegistry& operator=(const SessionRegistry&) = delete;

    // A session of `who`'s login. Throws TooManySessions at the overall limit and TooManyUserSessions
    // at the user's.
    std::shared_ptr<Session> create(const Identity& who);
    // The session, when it belongs to `login`.
    std::shared_ptr<Session> find(const std::string& id, const std::string& login) const;
    // Removes the session and ends it; false for an id unknown to `login`.
    bool close(const std::string& id, const std::string& login);
    // Ends every session of a login; returns how many.
    std::size_t closeLogin(const std::string& login);
    std::size_t size() const;
    std::size_t sizeOf(const std::string& user) const;

    // Closes the sessions idle for longer than the timeout; returns how many. The janitor calls it.
    std::size_t expireIdle(std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());
    // Joins the closed sessions that have ended and returns their memory; returns how many. The janitor
    // calls it.
    std::size_t reap();
    // Ends every session and waits for all of them (shutdown).
    void closeAll();

private:
    struct Entry {
        std::shared_ptr<Session> session; // null while it starts
        std::string user;
        std::string login;
    };
    void janitor();
    void bury(std::shared_ptr<Session> session);
    void end(std::shared_ptr<Session> session, const char* why);

    ScreenMaker maker_;
    RegistryOptions options_;
    mutable std::mutex mutex_;
    std::map<std::string, Entry> sessions_;
    std::vector<std::shared_ptr<Session>> closing_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread janitor_;
};

} // namespace host
