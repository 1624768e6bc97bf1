#include "Authenticator.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <openssl/sha.h>
#include <spdlog/spdlog.h>
#include <stdexcept>

namespace host {

namespace {

// Tickets and tokens are 43 characters of URL-safe base64; anything far from that shape is refused
// without asking the server.
constexpr std::size_t kMinSecret = 16;
constexpr std::size_t kMaxSecret = 256;
// What a login may send: no user name of the server is longer, and no password need be.
constexpr std::size_t kMaxUserBytes = 256;
constexpr std::size_t kMaxPasswordBytes = 1024;

bool plausibleSecret(std::string_view secret) {
    if (secret.size() < kMinSecret || secret.size() > kMaxSecret) return false;
    for (char c : secret)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_'))
            return false;
    return true;
}

std::string base64Url(const unsigned char* data, std::size_t size) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    out.reserve((size * 4 + 2) / 3);
    for (std::size_t i = 0; i < size; i += 3) {
        const unsigned n = static_cast<unsigned>(data[i]) << 16 |
                           (i + 1 < size ? static_cast<unsigned>(data[i + 1]) << 8 : 0u) |
                           (i + 2 < size ? static_cast<unsigned>(data[i + 2]) : 0u);
        out.push_back(kAlphabet[(n >> 18) & 63]);
        out.push_back(kAlphabet[(n >> 12) & 63]);
        if (i + 1 < size) out.push_back(kAlphabet[(n >> 6) & 63]);
        if (i + 2 < size) out.push_back(kAlphabet[n & 63]);
    }
    return out;
}

std::chrono::seconds wholeSeconds(std::chrono::milliseconds wait) {
    return std::chrono::ceil<std::chrono::seconds>(wait);
}

} // namespace

std::string loginKeyOf(const std::string& secret) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(secret.data()), secret.size(), digest);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * sizeof digest);
    for (unsigned char b : digest) {
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 0xF]);
    }
    return out;
}

CsrfTokens::CsrfTokens() {
    if (RAND_bytes(key_.data(), static_cast<int>(key_.size())) != 1)
        throw std::runtime_error("não foi possível gerar a chave dos tokens de proteção");
}

std::string CsrfTokens::tokenFor(std::string_view secret) const {
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    HMAC(EVP_sha256(), key_.data(), static_cast<int>(key_.size()), reinterpret_cast<const unsigned char*>(secret.data()),
         secret.size(), mac, &size);
    return base64Url(mac, size);
}

bool CsrfTokens::matches(std::string_view secret, std::string_view token) const {
    const std::string expected = tokenFor(secret);
    return token.size() == expected.size() && CRYPTO_memcmp(token.data(), expected.data(), expected.size()) == 0;
}

std::optional<std::string_view> cookieValue(const Request& request, std::string_view name) {
    for (const auto& [key, value] : request.headers) {
        if (!equalsIgnoreCase(key, "Cookie")) continue;
        std::string_view rest(value);
        while (!rest.empty()) {
            const auto semicolon = rest.find(';');
            const std::string_view pair = trimmed(rest.substr(0, semicolon));
            rest = semicolon == std::string_view::npos ? std::string_view() : rest.substr(semicolon + 1);
            const auto equals = pair.find('=');
            if (equals != std::string_view::npos && trimmed(pair.substr(0, equals)) == name)
                return trimmed(pair.substr(equals + 1));
        }
    }
    return std::nullopt;
}

std::optional<std::string_view> bearerCredential(const Request& request) {
    const auto header = request.header("Authorization");
    if (!header) return std::nullopt;
    const std::string_view value = trimmed(*header);
    constexpr std::string_view kScheme = "Bearer ";
    if (value.size() <= kScheme.size() || !equalsIgnoreCase(value.substr(0, kScheme.size()), kScheme))
        return std::string_view();
    return trimmed(value.substr(kScheme.size()));
}

Authenticator::Authenticator(CredentialAuthority& authority, const CsrfTokens& csrf, AuthenticatorOptions options)
    : authority_(authority), csrf_(csrf), options_(options), users_(options.userThrottle),
      addresses_(options.addressThrottle) {}

std::variant<Authenticated, Refusal> Authenticator::authenticate(const Request& request) {
    if (const auto bearer = bearerCredential(request)) return check(*bearer, false);
    if (const auto cookie = cookieValue(request, kLoginCookie)) return check(*cookie, true);
    return refusal::notAuthenticated();
}

std::variant<Authenticated, Refusal> Authenticator::check(std::string_view secret, bool viaCookie) {
    if (!plausibleSecret(secret)) return refusal::credentialRefused();
    const std::string text(secret);
    const std::string login = loginKeyOf(text);
    const auto now = std::chrono::steady_clock::now();
    std::optional<Credential::Kind> known;
    {
        std::lock_guard lock(mutex_);
        if (auto it = cache_.find(login); it != cache_.end()) {
            known = it->second.who.credential.kind;
            if (now < it->second.until) {
                // The cookie is the host's own and only ever holds a login's ticket.
                if (viaCookie && *known != Credential::Kind::Ticket) return refusal::credentialRefused();
                return Authenticated{it->second.who, viaCookie};
            }
        }
    }
    AuthAnswer answer = authority_.check(text, viaCookie ? Credential::Kind::Ticket : known);
    if (answer.status == AuthAnswer::Status::Unavailable) return refusal::authUnavailable();
    if (answer.status == AuthAnswer::Status::Refused) {
        bool wasKnown = false;
        {
            std::lock_guard lock(mutex_);
            wasKnown = cache_.erase(login) > 0;
        }
        if (wasKnown) {
            spdlog::info("credencial recusada pelo servidor de aplicação; as telas abertas com ela serão fechadas");
            if (rejected_) rejected_(login);
        }
        return refusal::credentialRefused();
    }
    Identity who{std::move(answer.user), std::move(answer.role), std::move(answer.credential), login};
    remember(who);
    if (viaCookie && who.credential.kind != Credential::Kind::Ticket) return refusal::credentialRefused();
    return Authenticated{std::move(who), viaCookie};
}

void Authenticator::remember(const Identity& who) {
    if (options_.cacheLifetime.count() <= 0) return;
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    if (cache_.size() >= options_.maxCached && !cache_.count(who.login)) {
        std::erase_if(cache_, [&](const auto& entry) { return entry.second.until <= now; });
        // Still full: start again rather than grow; the next requests ask the server.
        if (cache_.size() >= options_.maxCached) cache_.clear();
    }
    cache_[who.login] = Cached{who, now + options_.cacheLifetime};
}

std::variant<LoginResult, Refusal> Authenticator::login(const std::string& user, const std::string& password,
                                                        const std::string& address) {
    const std::string userKey = "u:" + user;
    const std::string addressKey = "a:" + address;
    // Both counters must let the attempt through; the longer wait is the one told.
    const auto userWait = users_.pause(userKey);
    const auto addressWait = addresses_.pause(addressKey);
    if (userWait.count() > 0 || addressWait.count() > 0)
        return refusal::loginThrottled(wholeSeconds(std::max(userWait, addressWait)));
    if (const auto wait = users_.begin(userKey); wait.count() > 0) return refusal::loginThrottled(wholeSeconds(wait));
    if (const auto wait = addresses_.begin(addressKey); wait.count() > 0)
        return refusal::loginThrottled(wholeSeconds(wait));

    if (user.empty() || password.empty() || user.size() > kMaxUserBytes || password.size() > kMaxPasswordBytes)
        return refusal::invalidLogin();
    AuthAnswer answer = authority_.login(user, password);
    if (answer.status == AuthAnswer::Status::Unavailable) return refusal::authUnavailable();
    if (answer.status == AuthAnswer::Status::Refused) {
        spdlog::info("login recusado para o usuário informado (endereço {})", address);
        return refusal::invalidLogin();
    }
    users_.succeeded(userKey);
    addresses_.succeeded(addressKey);
    const std::string login = loginKeyOf(answer.credential.secret);
    Identity who{std::move(answer.user), std::move(answer.role), std::move(answer.credential), login};
    remember(who);
    spdlog::info("login de {} ({})", who.user, who.role);
    return LoginResult{who, csrfFor(who)};
}

void Authenticator::logout(const Identity& who) {
    {
        std::lock_guard lock(mutex_);
        cache_.erase(who.login);
    }
    if (who.credential.kind == Credential::Kind::Ticket && !authority_.logout(who.credential.secret))
        spdlog::warn("não foi possível encerrar o tíquete de {} no servidor de aplicação", who.user);
    spdlog::info("logout de {}", who.user);
}

void Authenticator::forgetAll() {
    std::lock_guard lock(mutex_);
    cache_.clear();
}

} // namespace host
