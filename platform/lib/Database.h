#pragma once

// Sessions on the host's database.
//
// URLs:  sqlite:PATH            a file (its folder is created), or sqlite::memory: for a private
//                               in-memory database (dedicated sessions only)
//        postgresql://[user[:password]@]host[:port]/dbname[?key=value&...]  (also postgres://); the
//                               keys are libpq's (sslmode, connect_timeout, application_name, options…)
//
// A query takes a session from a SessionSource for the time of one Open and gives it back at once.
// Two sources exist: a Database is one dedicated session (tools, tests, data loading; it belongs to
// its owner and is not thread-safe), and a SessionPool (lib/SessionPool.h) shares a few sessions
// among every client of the process. Each session keeps the statements run on it prepared, keyed by
// their text, so a query that runs again on a session that already ran it prepares nothing.

#include "lib/Errors.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace soci {
class session;
}

namespace lib {

enum class Dialect { SQLite, PostgreSQL };
const char* toString(Dialect dialect); // "sqlite", "postgresql"

// What the access library needs to open a URL: its back end and connection string.
struct ConnectTarget {
    Dialect dialect = Dialect::SQLite;
    std::string backend;       // "sqlite3" or "postgresql"
    std::string connectString; // "db=PATH timeout=5" or "host=... port=... dbname=... user=..."
    bool operator==(const ConnectTarget&) const = default;
};
// DatabaseError (Configuration) for a URL of another scheme or a malformed one.
ConnectTarget connectTarget(std::string_view url);
// The URL with its passwords (in the user part and in a password= parameter) replaced by "***", for
// details and logs.
std::string redactedURL(std::string_view url);

class Database;
class SessionSource;
struct PreparedStatement; // lib/PreparedStatement.h

// A session lent for one run; it goes back to its source when the lease ends.
class SessionLease {
public:
    SessionLease(SessionLease&& other) noexcept;
    SessionLease(const SessionLease&) = delete;
    SessionLease& operator=(const SessionLease&) = delete;
    SessionLease& operator=(SessionLease&&) = delete;
    ~SessionLease();

    Database& database() const { return *session_; }
    // The session's connection broke: its source drops it instead of lending it again.
    void discard() { broken_ = true; }
    // The session waited in a pool since an earlier use, so a broken connection may be stale (a
    // restarted or idle-dropping server) rather than a sign that the database is down.
    bool reused() const { return reused_; }

private:
    friend class SessionSource;
    SessionLease(SessionSource* source, Database* session, bool reused)
        : source_(source), session_(session), reused_(reused) {}
    SessionSource* source_;
    Database* session_;
    bool reused_;
    bool broken_ = false;
};

class SessionSource {
public:
    virtual ~SessionSource() = default;
    virtual Dialect dialect() const = 0;
    // A session for one run; DatabaseError (Connect, Busy) when none can be had.
    virtual SessionLease borrow() = 0;

protected:
    SessionLease lend(Database& session, bool reused) { return SessionLease(this, &session, reused); }

private:
    friend class SessionLease;
    virtual void giveBack(Database& session, bool broken) noexcept = 0;
};

// One dedicated database session with its prepared statements.
class Database final : public SessionSource {
public:
    // Opens the database; DatabaseError (Configuration or Connect) when it cannot.
    explicit Database(const std::string& url);
    ~Database() override;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    Dialect dialect() const override { return dialect_; }
    const std::string& url() const { return url_; }
    soci::session& session() { return *session_; }

    // Runs statements without results (schema, test data); DatabaseError (Query) on failure.
    void execute(const std::string& sql);

    // The statement for `text` (positional placeholders :p1..:pN, `parameters` of them) prepared on
    // this session: from the cache when this session ran the text before, prepared now otherwise.
    // The cache keeps the most recently used statements up to kStatementCacheSize.
    PreparedStatement& prepared(const std::string& text, std::size_t parameters);
    // Drops the text's statement after a failed run, so the next run starts from a fresh prepare.
    void forget(const std::string& text);
    static constexpr std::size_t kStatementCacheSize = 32;
    // How many statements this session has prepared since it opened. Readable from any thread.
    std::size_t prepareCount() const { return prepares_.load(std::memory_order_relaxed); }

    // False when the connection broke. PostgreSQL asks the server (a round trip), so this is for
    // after a failure; an SQLite file stays usable.
    bool alive();

    // Lends the session itself; the caller keeps to one borrower at a time.
    SessionLease borrow() override { return lend(*this, false); }

private:
    void giveBack(Database&, bool) noexcept override {}

    struct Cached {
        std::unique_ptr<PreparedStatement> statement;
        std::uint64_t lastUse = 0;
    };

    std::string url_;
    Dialect dialect_;
    std::unique_ptr<soci::session> session_;
    // Declared after the session: statements must go before the session they were prepared on.
    std::unordered_map<std::string, Cached> statements_;
    std::uint64_t useClock_ = 0;
    std::atomic<std::size_t> prepares_{0};
};

} // namespace lib
