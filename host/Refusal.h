#pragma once

// The refusals of the HTTP layer. Each has a stable code that clients and tests match on, and a
// Portuguese text for the user; the body is {"error": TEXT, "code": CODE}. The table in the API
// documentation lists them all.

#include "Session.h"

#include <chrono>
#include <string>
#include <string_view>

namespace host {

struct Refusal {
    int status;
    std::string_view code;
    std::string text;
    std::chrono::seconds retryAfter{0}; // above zero: sent as Retry-After and as "retryAfter"
};

namespace refusal {

Refusal hostNotAllowed();
Refusal badRequest();
Refusal bodyNotAllowed();
Refusal crossOrigin();
Refusal unsupportedMediaType();
Refusal bodyTooLarge(std::size_t limitBytes);
Refusal headersTooLarge(std::size_t limitBytes);
Refusal requestTimeout();
Refusal tooManyConnections();
Refusal tooManySessions(const std::string& text);
Refusal notFound();
Refusal methodNotAllowed();
Refusal internalError();
Refusal notAuthenticated();
Refusal credentialRefused();
Refusal invalidLogin();
Refusal badLoginRequest();
Refusal loginThrottled(std::chrono::seconds wait);
Refusal authUnavailable();
Refusal csrfRequired();
Refusal csrfInvalid();
Refusal tooManyUserSessions(std::size_t limit);

} // namespace refusal

Reply refusalReply(const Refusal& refusal);

} // namespace host
