#pragma once

// One client connection's conversation: JSON-RPC 2.0 requests in, responses out, one line each. The
// connection first names the server object with `connect`; then the twelve operations run on the
// connection's own database session, opened at that connect.

#include "DatabaseUrl.h"

#include <memory>
#include <string>
#include <string_view>

namespace appserver {

class Store;
class Trace;

struct ServerContext {
    DatabaseUrl database;
    Trace* trace = nullptr; // null without --trace
};

class ClientSession {
public:
    ClientSession(const ServerContext& context, std::string peer);
    ~ClientSession();
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    // Answers one request line (without its newline); never throws.
    std::string handle(std::string_view line);
    // The answer to a request line longer than wire::rpc::kMaxRequestBytes, which is never parsed.
    std::string refuseOversized(std::size_t bytes);

    bool connected() const { return connected_; }

private:
    struct Call;
    std::string dispatch(Call& call);
    Store& store();

    const ServerContext& context_;
    std::string peer_;
    std::unique_ptr<Store> store_;
    bool connected_ = false;
};

} // namespace appserver
