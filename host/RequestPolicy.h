#pragma once

// What a request must show before the host reads its body or runs anything for it:
// - a Host header naming this server (one of the configured names, port aside), so that a page of
//   another site whose name was made to resolve to this address cannot reach it;
// - no body on GET, HEAD and OPTIONS, whose bodies another server on the way might take for a request;
// - for requests that change state (every method but GET, HEAD and OPTIONS): an Origin, or failing it a
//   Referer, of this very origin when the client sends one ("null" is never ours), and a JSON
//   Content-Type when there is a body, which a plain HTML form of another site cannot send;
// - and when such a request rests on the login cookie (it carries the cookie and no Authorization
//   header), the login's anti-forgery token in X-CSRF-Token. The login itself is exempt: it is how a
//   page gets its token. Requests with an Authorization header need none: no other site can make a
//   browser send that header, so it carries no authority the browser holds on its own.

#include "Authenticator.h"
#include "Refusal.h"
#include "Request.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// The host name of an authority ("Example.org:80" -> "example.org", "[::1]:8080" -> "::1"); nullopt
// when it is malformed (an empty name, a bad port, characters no host name has).
std::optional<std::string> hostNameOf(std::string_view authority);

struct Origin {
    std::string scheme; // "http" or "https"
    std::string host;   // lowercase, IPv6 without brackets
    int port = 0;       // explicit or the scheme's default

    bool operator==(const Origin&) const = default;
};

// The origin of an absolute http(s) URL or of an Origin header value; nullopt for anything else
// ("null", other schemes, user info, a malformed authority).
std::optional<Origin> originOf(std::string_view url);

class RequestPolicy {
public:
    // `allowedHosts` are host names (a port, if given, is ignored); throws std::invalid_argument on one
    // that is not a host name. `csrf` checks the anti-forgery tokens of cookie logins.
    RequestPolicy(const std::vector<std::string>& allowedHosts, const CsrfTokens& csrf);

    // Checks the request's head; `hasBody` says whether a body follows (Content-Length above zero or a
    // chunked transfer).
    std::optional<Refusal> check(const Request& head, bool hasBody) const;

    static bool changesState(std::string_view method);
    const std::vector<std::string>& allowedHosts() const { return allowed_; }

private:
    std::optional<Refusal> stateChangeRefusal(const Request& head, bool hasBody) const;

    std::vector<std::string> allowed_;
    const CsrfTokens& csrf_;
};

} // namespace host
