#include "Api.h"

#include "Refusal.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <spdlog/spdlog.h>
#include <string_view>

namespace host {

using nlohmann::json;

namespace {

constexpr std::string_view kPrefix = "/api/sessions";
constexpr std::size_t kMaxLoginBytes = 4 * 1024;

// An id is exactly what newSessionId makes; anything else cannot name a session.
bool plausibleId(std::string_view id) {
    if (id.size() != 32) return false;
    for (char c : id)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

Reply methodNotAllowed() {
    return errorReply(405, "method-not-allowed", "Método não permitido neste recurso.");
}
Reply unknownSession() {
    return errorReply(404, "unknown-session", "Sessão desconhecida.");
}
Reply unknownResource() {
    return errorReply(404, "unknown-resource", "Recurso desconhecido.");
}

// rows=1 (or true) asks every dataset's rows; since=V the changes since version V. A since that is
// not a version is refused rather than read as "whole": a client that sends one has lost its place.
std::optional<Reply> readOptions(const Request& request, ReadOptions& options) {
    if (const auto rows = request.param("rows")) options.rows = *rows == "1" || *rows == "true";
    if (const auto since = request.param("since")) {
        if (since->empty() || since->size() > 19 ||
            since->find_first_not_of("0123456789") != std::string::npos)
            return errorReply(400, "bad-request",
                              "Parâmetro since inválido: esperada uma versão (número inteiro).");
        options.since = std::stoull(std::string(*since));
    }
    return std::nullopt;
}

// The login cookie: the ticket, for this host's pages only, out of reach of scripts and of requests
// another site starts; without an expiry, so it ends with the browser (the ticket ends sooner when idle).
std::string loginCookie(const std::string& ticket, bool secure) {
    return std::string(kLoginCookie) + "=" + ticket + "; Path=/; HttpOnly; SameSite=Strict" + (secure ? "; Secure" : "");
}

std::string clearedLoginCookie(bool secure) {
    return std::string(kLoginCookie) + "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict" + (secure ? "; Secure" : "");
}

} // namespace

Reply Api::login(const Request& request) {
    if (request.method != "POST") return methodNotAllowed();
    if (request.body.size() > kMaxLoginBytes) return refusalReply(refusal::badLoginRequest());
    const json body = json::parse(request.body, nullptr, false);
    const auto text = [&](const char* name) -> const json* {
        if (!body.is_object()) return nullptr;
        const auto it = body.find(name);
        return it != body.end() && it->is_string() ? &*it : nullptr;
    };
    const json* user = text("user");
    const json* password = text("password");
    if (!user || !password) return refusalReply(refusal::badLoginRequest());
    auto result = authenticator_.login(user->get<std::string>(), password->get<std::string>(), request.remote);
    if (const auto* refused = std::get_if<Refusal>(&result)) return refusalReply(*refused);
    const auto& [who, csrf] = std::get<LoginResult>(result);
    Reply reply{200, json{{"token", who.credential.secret}, {"csrf", csrf}, {"user", who.user}, {"role", who.role}}.dump()};
    reply.headers.emplace_back("Set-Cookie", loginCookie(who.credential.secret, request.secure));
    return reply;
}

Reply Api::handle(const Request& request) {
    if (request.path == "/api/login") return login(request);
    auto authenticated = authenticator_.authenticate(request);
    if (const auto* refused = std::get_if<Refusal>(&authenticated)) return refusalReply(*refused);
    const Authenticated& who = std::get<Authenticated>(authenticated);

    if (request.path == "/api/logout") {
        if (request.method != "POST") return methodNotAllowed();
        authenticator_.logout(who.who);
        const std::size_t ended = sessions_.closeLogin(who.who.login);
        if (ended > 0) spdlog::info("{} sessão(ões) de {} encerrada(s) com o logout", ended, who.who.user);
        Reply reply{204, ""};
        reply.headers.emplace_back("Set-Cookie", clearedLoginCookie(request.secure));
        return reply;
    }
    if (request.path == "/api/me") {
        if (request.method != "GET") return methodNotAllowed();
        json me{{"user", who.who.user}, {"role", who.who.role}};
        // The anti-forgery token matters to cookie logins only; a page reads it here after a reload.
        if (who.viaCookie) me["csrf"] = authenticator_.csrfFor(who.who);
        return {200, me.dump()};
    }
    return sessionsCall(request, who);
}

Reply Api::sessionsCall(const Request& request, const Authenticated& who) {
    const std::string& login = who.who.login;
    const std::string& method = request.method;
    std::string_view rest(request.path);
    if (rest.substr(0, kPrefix.size()) != kPrefix) return unknownResource();
    rest.remove_prefix(kPrefix.size());
    if (rest.empty() || rest == "/") {
        if (method != "POST") return methodNotAllowed();
        try {
            auto session = sessions_.create(who.who);
            return {201, json{{"id", session->id()}}.dump()};
        } catch (const TooManySessions& ex) {
            return refusalReply(refusal::tooManySessions(ex.what()));
        } catch (const TooManyUserSessions& ex) {
            return refusalReply(refusal::tooManyUserSessions(ex.limit()));
        }
    }
    if (rest.front() != '/') return unknownResource();
    rest.remove_prefix(1);
    const auto slash = rest.find('/');
    const std::string_view id = rest.substr(0, slash);
    const std::string_view tail = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);

    ReadOptions options;
    if (tail.empty()) {
        if (method == "GET") {
            auto session = plausibleId(id) ? sessions_.find(std::string(id), login) : nullptr;
            if (!session) return unknownSession();
            if (auto refused = readOptions(request, options)) return *refused;
            return session->snapshot(options);
        }
        if (method == "DELETE") {
            if (!plausibleId(id) || !sessions_.close(std::string(id), login)) return unknownSession();
            return {204, ""};
        }
        return methodNotAllowed();
    }
    if (tail != "/events") return unknownResource();
    if (method != "POST") return methodNotAllowed();
    auto session = plausibleId(id) ? sessions_.find(std::string(id), login) : nullptr;
    if (!session) return unknownSession();
    const std::string& body = request.body;
    if (body.size() > kMaxEventBytes)
        return errorReply(413, "too-large",
                          "Evento grande demais (máximo de " + std::to_string(kMaxEventBytes / 1024) +
                              " KiB).");
    if (auto refused = readOptions(request, options)) return *refused;
    Event event;
    try {
        event = readEvent(body);
    } catch (const BadRequest& ex) {
        return errorReply(400, "bad-request", ex.what());
    }
    return session->event(event, options);
}

} // namespace host
