#pragma once

// The screen's connection to its object on the application server: JSON-RPC 2.0 over one TCP
// connection, one JSON object per line each way (wire/Rpc.h). Opening sends
// {"method":"connect","params":{"server":ServerName,"ticket":T}} (or "token") with the credential of
// the current client (Morvala::AppServerCredential), so a screen never handles credentials; every
// operation afterwards is a call by name with positional params.
//
// Connection life:
// - setConnected(true) runs BeforeConnect (which may set Host and Port), connects and sends `connect`.
//   When that fails, ThrowException decides: true raises lib::ConnectionError and leaves the
//   connection closed; false raises nothing, Connected() stays false and lastError() says why, but
//   the connection is still wanted, so the next AppServer call tries again (running BeforeConnect
//   again) and raises if the server is still unreachable. A screen opened while the server was down
//   thus starts working as soon as the server is back.
// - setConnected(false) closes; an AppServer call on a closed connection raises.
// - When the server has closed an idle connection, the next call notices before sending and
//   reconnects. When the server answers a call with "not authenticated" (the credential expired or
//   was revoked), that answer is returned as any other and the next call connects again, with the
//   client's credential of that moment. A connection lost or timed out during a call raises for that call (the operation may
//   or may not have run, so it is never sent twice) and the next call reconnects.
//
// Not thread-safe: one connection belongs to one client, used from that client's thread.

#include "lib/Errors.h"

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

namespace lib {

class TNetConnection {
public:
    TNetConnection();
    ~TNetConnection();
    TNetConnection(const TNetConnection&) = delete;
    TNetConnection& operator=(const TNetConnection&) = delete;

    const std::string& ServerName() const { return serverName_; }
    void setServerName(std::string name) { serverName_ = std::move(name); }
    const std::string& Host() const { return host_; }
    void setHost(std::string host) { host_ = std::move(host); }
    int Port() const { return port_; }
    void setPort(int port) { port_ = port; }
    bool ThrowException() const { return throwException_; }
    void setThrowException(bool on) { throwException_ = on; }

    // How long a call waits for its answer (default 30 s; 0 waits forever) and a connect for the server
    // (default 10 s).
    std::chrono::milliseconds readTimeout() const { return readTimeout_; }
    void setReadTimeout(std::chrono::milliseconds timeout);
    std::chrono::milliseconds connectTimeout() const { return connectTimeout_; }
    void setConnectTimeout(std::chrono::milliseconds timeout) { connectTimeout_ = timeout; }

    // True while a connection to the server is open (as far as the last call knows).
    bool Connected() const { return fd_ >= 0; }
    void setConnected(bool on);

    // Runs before every connect, reconnects included.
    std::function<void(TNetConnection& sender)> BeforeConnect;

    // Calls `op` with `params` (normally an array) and returns the whole answer object,
    // {"jsonrpc","id","result"} or {"jsonrpc","id","error"}, for Consiste::CheckResultServ.
    // Transport failures raise lib::ConnectionError.
    nlohmann::json AppServer(const std::string& op, nlohmann::json params);

    // Why the last connect failed ("" after a successful one).
    const std::string& lastError() const { return lastError_; }

private:
    void open();       // BeforeConnect, connect, handshake; ConnectionError on failure
    void openSocket(); // TCP connect with timeout; ConnectionError on failure
    void closeSocket();
    bool peerClosed() const; // the server ended an idle connection
    nlohmann::json roundTrip(std::string_view op, const nlohmann::json& params);
    [[noreturn]] void fail(const std::string& message); // closes, then raises ConnectionError
    std::string endpoint() const;

    std::string serverName_;
    std::string host_ = "127.0.0.1";
    int port_ = 7400;
    bool throwException_ = true;
    std::chrono::milliseconds readTimeout_{30000};
    std::chrono::milliseconds connectTimeout_{10000};

    int fd_ = -1;
    bool wanted_ = false;
    long long nextId_ = 1;
    std::string lastError_;
    // Reused between calls: a call costs a send and (normally) one receive, no allocation once warm.
    std::string out_;
    std::string in_;
};

} // namespace lib
