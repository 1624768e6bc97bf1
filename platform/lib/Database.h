#pragma once

// The host's connection to the ERP database, shared by the queries of one client.
//
// URLs:  sqlite:PATH            a file (its folder is created), or sqlite::memory: for a private
//                               in-memory database
//        postgresql://[user[:password]@]host[:port]/dbname[?key=value&...]  (also postgres://)
// One Database is one database session: it belongs to one client and is not thread-safe by itself.

#include "lib/Errors.h"

#include <memory>
#include <string>
#include <string_view>

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
// DatabaseError for a URL of another scheme or a malformed one.
ConnectTarget connectTarget(std::string_view url);
// The URL with its password replaced by "***", for messages and logs.
std::string redactedURL(std::string_view url);

class Database {
public:
    // Opens the database; DatabaseError (naming the URL without its password) when it cannot.
    explicit Database(const std::string& url);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    Dialect dialect() const { return dialect_; }
    const std::string& url() const { return url_; }
    soci::session& session() { return *session_; }

    // Runs statements without results (schema, test data); DatabaseError on failure.
    void execute(const std::string& sql);

private:
    std::string url_;
    Dialect dialect_;
    std::unique_ptr<soci::session> session_;
};

} // namespace lib
