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

} // namespace

Reply Api::handle(const Request& request) {
    const std::string& method = request.method;
    std::string_view rest(request.path);
    if (rest.substr(0, kPrefix.size()) != kPrefix) return unknownResource();
    rest.remove_prefix(kPrefix.size());
    if (rest.empty() || rest == "/") {
        if (method != "POST") return methodNotAllowed();
        try {
            auto session = sessions_.create();
            return {201, json{{"id", session->id()}}.dump()};
        } catch (const TooManySessions& ex) {
            return refusalReply(refusal::tooManySessions(ex.what()));
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
            auto session = plausibleId(id) ? sessions_.find(std::string(id)) : nullptr;
            if (!session) return unknownSession();
            if (auto refused = readOptions(request, options)) return *refused;
            return session->snapshot(options);
        }
        if (method == "DELETE") {
            if (!plausibleId(id) || !sessions_.close(std::string(id))) return unknownSession();
            return {204, ""};
        }
        return methodNotAllowed();
    }
    if (tail != "/events") return unknownResource();
    if (method != "POST") return methodNotAllowed();
    auto session = plausibleId(id) ? sessions_.find(std::string(id)) : nullptr;
    if (!session) return unknownSession();
    const std::string& body = request.body;
    if (body.size() > kMaxEventBytes)
        return errorReply(413, "too-large",
                          "Evento grande demais (máximo de " + std::to_string(kMaxEventBytes / 1024) +
                              " KiB).");
    if (auto refused = readOptions(request, options)) return *refused;
    json parsed = json::parse(body, nullptr, false);
    if (parsed.is_discarded())
        return errorReply(400, "bad-request", "Corpo da requisição não é um JSON válido.");
    Event event;
    try {
        event = parseEvent(parsed);
    } catch (const BadRequest& ex) {
        return errorReply(400, "bad-request", std::string("Evento inválido: ") + ex.what() + ".");
    }
    return session->event(event, options);
}

} // namespace host
