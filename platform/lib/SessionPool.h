#pragma once

// A few database sessions shared by every client of the process.
//
// The web host runs hundreds of screens in one process; a session per screen would exhaust the
// database's connections (PostgreSQL allows 100 by default). A query holds a pooled session only for
// the time of its Open (execute and fetch every row, which are copied out) and gives it back at once,
// so a handful of sessions serve every user. Sessions open on demand up to the pool's size and stay
// open while the pool lives; the most recently returned one is lent first, so a lone user keeps
// reusing one session and its prepared statements.
//
// When every session is busy a borrower waits, up to the pool's borrow timeout, and then fails with
// DatabaseError (Busy). A session whose connection broke is dropped when it is given back, and the
// next borrower opens a fresh one in its place. Every member may be called from any thread.

#include "lib/Database.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lib {

struct PoolOptions {
    static constexpr std::size_t kDefaultSize = 8;
    std::size_t size = kDefaultSize; // at least 1
    std::chrono::milliseconds borrowTimeout{10'000};
};

class SessionPool final : public SessionSource {
public:
    // The process's pool for this URL: the one a client still holds, or a new one with `options`.
    // Options of a later call do not change a pool that already lives; the pool closes its sessions
    // when the last holder lets it go, and the next call opens a new one (with the options then
    // configured, also after a URL change). DatabaseError (Configuration) for an unusable URL.
    static std::shared_ptr<SessionPool> shared(const std::string& url, PoolOptions options = {});

    // Checks the URL and opens nothing yet. An in-memory SQLite database is refused: each of its
    // sessions would see a different, empty database.
    SessionPool(std::string url, PoolOptions options);
    // Every lease must have ended (queries are destroyed before the pool they borrow from).
    ~SessionPool() override;
    SessionPool(const SessionPool&) = delete;
    SessionPool& operator=(const SessionPool&) = delete;

    Dialect dialect() const override { return dialect_; }
    const std::string& url() const { return url_; }
    const PoolOptions& options() const { return options_; }
    SessionLease borrow() override;

    struct Stats {
        std::size_t open = 0;      // sessions open now, lent or idle
        std::size_t idle = 0;      // of those, waiting to be lent
        std::size_t opened = 0;    // sessions opened since the pool was created
        std::size_t discarded = 0; // sessions dropped because their connection broke
        std::size_t prepares = 0;  // statements prepared on the pool's sessions, dropped ones included
        std::size_t waits = 0;     // borrows that found every session busy and waited
        std::size_t timeouts = 0;  // borrows that gave up waiting
    };
    Stats stats() const;

private:
    void giveBack(Database& session, bool broken) noexcept override;

    const std::string url_;
    const PoolOptions options_;
    Dialect dialect_;

    mutable std::mutex mutex_;
    std::condition_variable available_;
    std::vector<std::unique_ptr<Database>> sessions_; // every open session
    std::vector<Database*> idle_;                     // the ones to lend, most recently returned last
    std::size_t reserved_ = 0;                        // sessions being opened right now
    std::size_t opened_ = 0, discarded_ = 0, droppedPrepares_ = 0, waits_ = 0, timeouts_ = 0;
};

} // namespace lib
