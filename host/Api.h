#pragma once

// The automation API, apart from any HTTP library: a request (method, path, query, headers, body) goes
// in, a status and a JSON body come out. The HTTP server and the tests both call it.
//
//   POST   /api/login                  -> 200 {"token", "csrf", "user", "role"} and the login cookie
//   POST   /api/logout                 -> 204, the login's sessions ended and its cookie cleared
//   GET    /api/me                     -> 200 {"user", "role"[, "csrf"]}
//   POST   /api/sessions                          -> 201 {"id": "..."}
//   GET    /api/sessions/{id}[?rows=1][&since=V]   -> 200 snapshot (whole, or the changes since V)
//   POST   /api/sessions/{id}/events[?rows=1][&since=V] -> 200 snapshot after the event;
//                                                     400/404/409 {"error": "...", "code": "..."}
//   DELETE /api/sessions/{id}                     -> 204
//
// Every path but /api/login needs a credential (Authenticator); a session answers only the login that
// opened it.

#include "Authenticator.h"
#include "Request.h"
#include "Session.h"
#include "SessionRegistry.h"

#include <cstddef>
#include <string>

namespace host {

inline constexpr std::size_t kMaxEventBytes = 64 * 1024;

class Api {
public:
    Api(SessionRegistry& sessions, Authenticator& authenticator, const CsrfTokens& csrf)
        : sessions_(sessions), authenticator_(authenticator), csrf_(csrf) {}

    Reply handle(const Request& request);

    // The anti-forgery tokens the logins were given, for the check on each request's head.
    const CsrfTokens& csrf() const { return csrf_; }

private:
    Reply login(const Request& request);
    Reply sessionsCall(const Request& request, const Authenticated& who);

    SessionRegistry& sessions_;
    Authenticator& authenticator_;
    const CsrfTokens& csrf_;
};

} // namespace host
