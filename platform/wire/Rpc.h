#pragma once

// JSON-RPC 2.0 between the screen's connection component and the application server: one JSON object
// per line in each direction over a TCP connection. The first call of a connection is
// {"method":"connect","params":{"server":"Ger06600.rdmTipOper","ticket":T}} (or "token" instead of
// "ticket"); the operations follow by name with positional params. Error codes are stable; clients
// match on the code, users read the message.

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace wire::rpc {

inline constexpr std::string_view kServerName = "Ger06600.rdmTipOper";
inline constexpr std::size_t kMaxRequestBytes = 16 * 1024 * 1024;
// Before a successful connect only connect, Login and Logout are answered, and their lines are small.
inline constexpr std::size_t kMaxUnauthenticatedBytes = 64 * 1024;
// Deeper nesting is refused before any of it is built.
inline constexpr int kMaxDepth = 64;

// Standard JSON-RPC codes.
inline constexpr int kParseError = -32700;
inline constexpr int kInvalidRequest = -32600;
inline constexpr int kMethodNotFound = -32601;
inline constexpr int kInvalidParams = -32602;
inline constexpr int kInternalError = -32603;
// Codes of this server.
inline constexpr int kNotConnected = -32001;   // an operation before a successful connect
inline constexpr int kUnknownServer = -32002;  // connect named another server object
inline constexpr int kNotAuthenticated = -32003; // no, a wrong, an expired or a revoked credential
inline constexpr int kForbidden = -32004;        // the user's role does not allow the operation
inline constexpr int kTooManyConnections = -32005; // the server holds its maximum of connections
inline constexpr int kConflict = -32010;       // the row changed or vanished since it was read
inline constexpr int kDuplicateKey = -32011;   // an insert of a key that exists
inline constexpr int kValueTooLong = -32012;   // a value longer than its column
inline constexpr int kInvalidPacket = -32013;  // a packet that does not parse or names unknown fields
inline constexpr int kStorageError = -32020;   // the database failed
inline constexpr int kRequestTooLarge = -32030;

nlohmann::json makeRequest(long long id, std::string_view method, nlohmann::json params);
nlohmann::json makeResult(const nlohmann::json& id, nlohmann::json result);
nlohmann::json makeError(const nlohmann::json& id, int code, std::string_view message);

} // namespace wire::rpc
