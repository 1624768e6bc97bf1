#pragma once

// Who sends a request, as the application server vouches for it.
//
// A request proves its user in one of two ways:
// - `Authorization: Bearer T`, with the ticket of a login or an API token (programs). When that
//   header is present it is the only credential looked at, whatever cookies come along.
// - the login cookie (browsers), which holds the login's ticket; it is HttpOnly, so no script reads
//   it, and SameSite=Strict. A state-changing request that relies on it must also carry the login's
//   anti-forgery token in X-CSRF-Token (checked by the RequestPolicy on the request's head): another
//   site can make the browser send the cookie, but cannot read or send that token.
//
// Credentials the server vouched for are remembered for `cacheLifetime`, so that a request costs no
// round trip to the server; past it the next request asks again. A ticket ended or a token revoked at
// the server therefore stops working at the host within that time, and when the server refuses it the
// host also ends the sessions it opened.

#include "CredentialAuthority.h"
#include "Identity.h"
#include "LoginThrottle.h"
#include "Refusal.h"
#include "Request.h"

#include <array>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

namespace host {

inline constexpr const char* kLoginCookie = "tipoper_login";
inline constexpr const char* kCsrfHeader = "X-CSRF-Token";

// The anti-forgery token of a login is a keyed digest of its ticket under a key that lives and dies
// with the host process: the host keeps no table of them, and no one without the key can make one.
class CsrfTokens {
public:
    CsrfTokens();                                      // a fresh random key
    explicit CsrfTokens(std::array<unsigned char, 32> key) : key_(key) {}
    std::string tokenFor(std::string_view secret) const;   // 43 characters of URL-safe base64
    bool matches(std::string_view secret, std::string_view token) const; // in constant time

private:
    std::array<unsigned char, 32> key_{};
};

// The value of cookie `name` in the request's Cookie headers, or nullopt.
std::optional<std::string_view> cookieValue(const Request& request, std::string_view name);
// The credential of `Authorization: Bearer T`; nullopt without the header. A header of another scheme
// or a malformed one gives the empty text (present, and no credential).
std::optional<std::string_view> bearerCredential(const Request& request);

struct AuthenticatorOptions {
    std::chrono::milliseconds cacheLifetime{10000};
    std::size_t maxCached = 10000;
    ThrottleOptions userThrottle{};                                    // failed logins per user name
    ThrottleOptions addressThrottle{10, std::chrono::milliseconds(2000)}; // per client address
};

// What a request is, once its credential was looked at.
struct Authenticated {
    Identity who;
    bool viaCookie = false;
};

struct LoginResult {
    Identity who;
    std::string csrf;
};

class Authenticator {
public:
    Authenticator(CredentialAuthority& authority, const CsrfTokens& csrf, AuthenticatorOptions options = {});

    // The request's user, or the refusal (401 without a credential or with one the server refused,
    // 503 when the server could not be asked). May ask the application server (a blocking call).
    std::variant<Authenticated, Refusal> authenticate(const Request& request);

    // A login with user and password from `address`: the identity and anti-forgery token, or the
    // refusal (401 for a wrong user or password, 429 while failures make it wait, 503).
    std::variant<LoginResult, Refusal> login(const std::string& user, const std::string& password,
                                             const std::string& address);

    // Ends a login: the ticket at the server, and the host's memory of it. A token is not ended (only
    // an administrator revokes tokens); the host forgets it until it is next presented.
    void logout(const Identity& who);

    std::string csrfFor(const Identity& who) const { return csrf_.tokenFor(who.credential.secret); }

    // Told the login of every credential the server refused after having vouched for it.
    void onRejected(std::function<void(const std::string& login)> listener) { rejected_ = std::move(listener); }

    // Forgets every remembered credential (tests, and a host that wants every request asked again).
    void forgetAll();

private:
    struct Cached {
        Identity who;
        std::chrono::steady_clock::time_point until;
    };
    std::variant<Authenticated, Refusal> check(std::string_view secret, bool viaCookie);
    void remember(const Identity& who);

    CredentialAuthority& authority_;
    const CsrfTokens& csrf_;
    const AuthenticatorOptions options_;
    LoginThrottle users_;
    LoginThrottle addresses_;
    std::mutex mutex_;
    std::unordered_map<std::string, Cached> cache_; // by login key
    std::function<void(const std::string&)> rejected_;
};

} // namespace host
