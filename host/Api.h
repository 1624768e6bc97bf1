#pragma once

// The automation API, apart from any HTTP library: a request (method, path, query, headers, body) goes
// in, a status and a JSON body come out. The HTTP server and the tests both call it.
//
//   POST   /api/sessions                          -> 201 {"id": "..."}
//   GET    /api/sessions/{id}[?rows=1][&since=V]   -> 200 snapshot (whole, or the changes since V)
//   POST   /api/sessions/{id}/events[?rows=1][&since=V] -> 200 snapshot after the event;
//                                                     400/404/409 {"error": "...", "code": "..."}
//   DELETE /api/sessions/{id}                     -> 204

#include "Request.h"
#include "Session.h"
#include "SessionRegistry.h"

#include <cstddef>
#include <string>

namespace host {

inline constexpr std::size_t kMaxEventBytes = 64 * 1024;

class Api {
public:
    explicit Api(SessionRegistry& sessions) : sessions_(sessions) {}

    Reply handle(const Request& request);

private:
    SessionRegistry& sessions_;
};

} // namespace host
