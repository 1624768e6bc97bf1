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

// The host's database could not be opened or a query failed.
class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The host configuration (environment or configuration file) holds a value that cannot be used.
class ConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace lib
