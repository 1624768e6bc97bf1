#include "Refusal.h"

#include <nlohmann/json.hpp>

namespace host {

namespace {

std::string kibibytes(std::size_t bytes) {
    return std::to_string(bytes / 1024) + " KiB";
}

} // namespace

namespace refusal {

Refusal hostNotAllowed() {
    return {421, "host_not_allowed", "Este servidor não atende pelo nome pedido."};
}
Refusal badRequest() {
    return {400, "bad_request", "Requisição HTTP malformada."};
}
Refusal bodyNotAllowed() {
    return {400, "body_not_allowed", "Requisições GET, HEAD e OPTIONS não podem ter corpo."};
}
Refusal crossOrigin() {
    return {403, "cross_origin", "Requisição vinda de outro site recusada."};
}
Refusal unsupportedMediaType() {
    return {415, "unsupported_media_type", "O corpo da requisição deve ser JSON (Content-Type: application/json)."};
}
Refusal bodyTooLarge(std::size_t limitBytes) {
    return {413, "body_too_large", "Corpo da requisição grande demais (máximo de " + kibibytes(limitBytes) + ")."};
}
Refusal headersTooLarge(std::size_t limitBytes) {
    return {431, "headers_too_large",
            "Cabeçalhos da requisição grandes demais (máximo de " + kibibytes(limitBytes) + ")."};
}
Refusal requestTimeout() {
    return {408, "request_timeout", "Tempo esgotado à espera da requisição."};
}
Refusal tooManyConnections() {
    return {503, "too_many_connections", "Conexões demais abertas no servidor; tente novamente em instantes."};
}
Refusal tooManySessions(const std::string& text) {
    return {503, "too_many_sessions", text};
}
Refusal notFound() {
    return {404, "not_found", "Arquivo não encontrado."};
}
Refusal methodNotAllowed() {
    return {405, "method_not_allowed", "Método não permitido."};
}
Refusal internalError() {
    return {500, "internal_error", "Erro interno do servidor."};
}

} // namespace refusal

Reply refusalReply(const Refusal& refusal) {
    return {refusal.status, nlohmann::json{{"error", refusal.text}, {"code", refusal.code}}.dump()};
}

} // namespace host
