#include "Api.h"

#include "Refusal.h"

#include <nlohmann/json.hpp>
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
    return errorReply(405, "Método não permitido neste recurso.");
}
Reply unknownSession() {
    return errorReply(404, "Sessão desconhecida.");
}

bool rowsRequested(const Request& request) {
    const auto value = request.param("rows");
    return value && (*value == "1" || *value == "true");
}

} // namespace

Reply Api::handle(const Request& request) {
    const std::string& method = request.method;
    const std::string& body = request.body;
    const bool withRows = rowsRequested(request);
    std::string_view rest(request.path);
    if (rest.substr(0, kPrefix.size()) != kPrefix) return errorReply(404, "Recurso desconhecido.");
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
    if (rest.front() != '/') return errorReply(404, "Recurso desconhecido.");
    rest.remove_prefix(1);
    const auto slash = rest.find('/');
    const std::string_view id = rest.substr(0, slash);
    const std::string_view tail = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);

    if (tail.empty()) {
        if (method == "GET") {
            auto session = plausibleId(id) ? sessions_.find(std::string(id)) : nullptr;
            return session ? session->snapshot(withRows) : unknownSession();
        }
        if (method == "DELETE") {
            if (!plausibleId(id) || !sessions_.close(std::string(id))) return unknownSession();
            return {204, ""};
        }
        return methodNotAllowed();
    }
    if (tail != "/events") return errorReply(404, "Recurso desconhecido.");
    if (method != "POST") return methodNotAllowed();
    auto session = plausibleId(id) ? sessions_.find(std::string(id)) : nullptr;
    if (!session) return unknownSession();
    if (body.size() > kMaxEventBytes)
        return errorReply(413, "Evento grande demais (máximo de " + std::to_string(kMaxEventBytes / 1024) +
                                   " KiB).");
    json parsed = json::parse(body, nullptr, false);
    if (parsed.is_discarded()) return errorReply(400, "Corpo da requisição não é um JSON válido.");
    Event event;
    try {
        event = parseEvent(parsed);
    } catch (const BadRequest& ex) {
        return errorReply(400, std::string("Evento inválido: ") + ex.what() + ".");
    }
    return session->event(event, withRows);
}

} // namespace host
