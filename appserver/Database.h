#pragma once

// One session on the ERP database, owned by one thread at a time (the library's sessions are not
// thread-safe; each client connection opens its own).
//
// Writes and transactions go through the database library with prepared statements bound to buffers that
// live as long as the statement. Reads that become packets use the library's native handle: on this
// machine the library's own bulk fetch of 1,000 x 82 strings took twice as long as reading the driver's
// buffers directly, and packet reads are the hot path of the screen.

#include "DatabaseUrl.h"

#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace soci {
class session;
} // namespace soci

namespace appserver {

// How a database failure should be reported; the rest of the failure is in the exception's message.
enum class DbFailure { Other, UniqueViolation, ForeignKeyViolation, ValueTooLong, Busy };

class DatabaseError : public std::runtime_error {
public:
    DatabaseError(DbFailure kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    DbFailure kind() const { return kind_; }

private:
    DbFailure kind_;
};

// Classifies any exception thrown by the database layer or the library (unique key, foreign key, ...).
DbFailure classifyDbFailure(const std::exception& e);
// True for the failures of the database layer and library, false for faults of the server itself.
bool isDatabaseError(const std::exception& e);

// A prepared query read row by row from the driver's own buffers. Text stays valid until the next call
// of next() or close(). A query left open holds a read snapshot (SQLite), so callers close it through
// ReaderScope.
class Reader {
public:
    virtual ~Reader() = default;
    virtual void execute(std::span<const std::string_view> params) = 0;
    virtual bool next() = 0;
    // The column's text, nullopt for NULL.
    virtual std::optional<std::string_view> value(int column) const = 0;
    virtual void close() = 0;
};

class ReaderScope {
public:
    ReaderScope(Reader& reader, std::span<const std::string_view> params) : reader_(reader) {
        reader_.execute(params);
    }
    ~ReaderScope() { reader_.close(); }
    ReaderScope(const ReaderScope&) = delete;
    ReaderScope& operator=(const ReaderScope&) = delete;
    bool next() { return reader_.next(); }
    std::optional<std::string_view> value(int column) const { return reader_.value(column); }
    std::string_view text(int column) const { return reader_.value(column).value_or(std::string_view{}); }

private:
    Reader& reader_;
};

// A prepared write statement with its own parameter buffers. Placeholders are :p0, :p1, ... in order.
class Command {
public:
    Command(soci::session& session, const std::string& sql, int params);
    ~Command();
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    void set(int index, std::optional<std::string_view> value); // nullopt binds NULL
    long long execute();                                        // rows affected

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

class Database {
public:
    explicit Database(const DatabaseUrl& url);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    Dialect dialect() const { return dialect_; }
    soci::session& session() { return *session_; }
    // False once the connection to the server is lost (PostgreSQL); the owner then opens a new one.
    bool usable();

    // Runs one statement without preparing it for reuse (schema scripts, pragmas).
    void exec(const std::string& sql);
    std::unique_ptr<Reader> prepareReader(const std::string& sql);

    // A write transaction. On SQLite it takes the write lock at once (BEGIN IMMEDIATE), so two writers
    // never both read a row and then fail to upgrade their locks.
    void begin();
    void commit();
    void rollback() noexcept;

private:
    Dialect dialect_;
    std::unique_ptr<soci::session> session_;
    std::unique_ptr<Command> begin_, commit_, rollback_;
    int readers_ = 0;
};

// Rolls back unless committed; a refusal or a failure anywhere in between leaves nothing written.
class Transaction {
public:
    explicit Transaction(Database& db) : db_(db) { db_.begin(); }
    ~Transaction() {
        if (!done_) db_.rollback();
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit() {
        db_.commit();
        done_ = true;
    }

private:
    Database& db_;
    bool done_ = false;
};

} // namespace appserver
