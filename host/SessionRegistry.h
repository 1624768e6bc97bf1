#pragma once

// The sessions of the host, by id. Ids are 128 random bits from the kernel's CSPRNG, so a session is
// reachable only by whoever created it. Idle sessions are closed by a janitor thread within a second of
// their timeout; closed sessions are joined in the background so that a thread busy in a long call never
// blocks a request, and the memory they held is handed back to the system once they are gone.

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

struct RegistryOptions {
    std::chrono::seconds idleTimeout{30 * 60};
    std::size_t maxSessions = 1000;
    std::chrono::milliseconds closeGrace{5000}; // how long DELETE waits for the clean-up
    SessionOptions session;
};

class SessionRegistry {
public:
    SessionRegistry(ScreenFactory factory, RegistryOptions options);
    ~SessionRegistry();
    SessionRegistry(const SessionRegistry&) = delete;
    SessionRegistry& operator=(const SessionRegistry&) = delete;

    // Throws TooManySessions at the limit.
    std::shared_ptr<Session> create();
    std::shared_ptr<Session> find(const std::string& id) const;
    // Removes the session and ends it; false for an unknown id.
    bool close(const std::string& id);
    std::size_t size() const;

    // Closes the sessions idle for longer than the timeout; returns how many. The janitor calls it.
    std::size_t expireIdle(std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());
    // Joins the closed sessions that have ended and returns their memory; returns how many. The janitor
    // calls it.
    std::size_t reap();
    // Ends every session and waits for all of them (shutdown).
    void closeAll();

private:
    void janitor();
    void bury(std::shared_ptr<Session> session);

    ScreenFactory factory_;
    RegistryOptions options_;
    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<Session>> sessions_;
    std::vector<std::shared_ptr<Session>> closing_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread janitor_;
};

} // namespace host
