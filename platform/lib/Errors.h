#pragma once

// Failures the library raises. Every message is Portuguese and meant for the user; callers that need
// to tell failures apart match on the type (and on ServerError::code), never on the wording.

#include <stdexcept>
#include <string>

namespace lib {

// The application server answered a call with an error.
class ServerError : public std::runtime_error {
public:
    ServerError(int code, const std::string& serverMessage);
    int code() const { return code_; }
    const std::string& serverMessage() const { return serverMessage_; }

private:
    int code_;
    std::string serverMessage_;
};

// The application server could not be reached, went away or answered something that is not a
// JSON-RPC answer. The connection is closed when this is raised; the next call reconnects.
class ConnectionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The host's database could not be reached or a query failed. what() is the text for the user: it
// names at most the query, never a URL, a user name, a password or the database library's own text,
// which a user cannot act on and which may describe the installation. detail() carries those, with
// any password in a URL masked, for the host's log.
class DatabaseError : public std::runtime_error {
public:
    // Stable: callers and tests match on the kind, never on the wording.
    enum class Kind {
        Configuration, // the database URL cannot be used
        Connect,       // no session could be opened
        Busy,          // every session of the pool stayed busy for the whole wait
        Query,         // the database refused or failed a statement
        Definition,    // a query asked for a parameter, field or row it does not have
    };
    DatabaseError(Kind kind, const std::string& userText, std::string detail);
    Kind kind() const { return kind_; }
    const std::string& detail() const { return detail_; }

private:
    Kind kind_;
    std::string detail_;
};
const char* toString(DatabaseError::Kind kind); // "configuration", "connect", ...

// The host configuration (environment or configuration file) holds a value that cannot be used.
class ConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace lib
