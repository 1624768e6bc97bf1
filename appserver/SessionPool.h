#pragma once

// A fixed number of database sessions shared by every client connection: a call borrows one for its
// duration and gives it back. Sessions open on first need and stay open with their prepared
// statements; one whose connection to the database broke is closed and replaced by the next borrow.
// The database thus sees at most `size` sessions from this server however many screens are connected.

#include "Accounts.h"
#include "DatabaseUrl.h"
#include "Store.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace appserver {

// Every session was in use for longer than the pool waits.
class PoolExhausted : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class SessionPool {
public:
    struct Session {
        explicit Session(const DatabaseUrl& url) : store(url), accounts(store.database()) {}
        Store store;
        Accounts accounts;
    };

    class Lease {
    public:
        Lease(SessionPool& pool, std::unique_ptr<Session> session) : pool_(&pool), session_(std::move(session)) {}
        Lease(Lease&& other) noexcept = default;
        Lease& operator=(Lease&&) = delete;
        ~Lease();
        Session* operator->() const { return session_.get(); }
        Session& operator*() const { return *session_; }
        // The session is not given back: its connection is unusable or its state unknown.
        void discard() { broken_ = true; }

    private:
        SessionPool* pool_;
        std::unique_ptr<Session> session_;
        bool broken_ = false;
    };

    SessionPool(DatabaseUrl url, std::size_t size, std::chrono::milliseconds wait);
    ~SessionPool();
    SessionPool(const SessionPool&) = delete;
    SessionPool& operator=(const SessionPool&) = delete;

    // Throws PoolExhausted after waiting, or the database's failure when a new session cannot open.
    Lease borrow();

    std::size_t size() const { return size_; }
    std::size_t opened() const;

private:
    void giveBack(std::unique_ptr<Session> session, bool broken);

    const DatabaseUrl url_;
    const std::size_t size_;
    const std::chrono::milliseconds wait_;
    mutable std::mutex mutex_;
    std::condition_variable available_;
    std::vector<std::unique_ptr<Session>> idle_;
    std::size_t opened_ = 0;
};

} // namespace appserver
