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
Refusal notAuthenticated() {
    return {401, "not_authenticated", "Entre com seu usuário e senha."};
}
Refusal credentialRefused() {
    return {401, "credential_refused", "Sua sessão expirou ou foi encerrada: entre novamente."};
}
Refusal invalidLogin() {
    // The same words whether the user, the password or the account was wrong.
    return {401, "invalid_login", "Usuário ou senha inválidos."};
}
Refusal badLoginRequest() {
    return {400, "bad_login_request", "Informe o usuário e a senha."};
}
Refusal loginThrottled(std::chrono::seconds wait) {
    return {429, "login_throttled", "Muitas tentativas sem sucesso. Aguarde alguns segundos e tente de novo.", wait};
}
Refusal authUnavailable() {
    return {503, "auth_unavailable",
            "O servidor de aplicação não respondeu para conferir o acesso; tente novamente em instantes."};
}
Refusal csrfRequired() {
    return {403, "csrf_required", "Requisição sem o token de proteção desta sessão (X-CSRF-Token)."};
}
Refusal csrfInvalid() {
    return {403, "csrf_invalid", "Token de proteção (X-CSRF-Token) não confere com esta sessão."};
}
Refusal tooManyUserSessions(std::size_t limit) {
    return {429, "too_many_user_sessions",
            "Limite de " + std::to_string(limit) + " telas abertas por usuário atingido. Feche outras telas e tente de novo."};
}

} // namespace refusal

Reply refusalReply(const Refusal& refusal) {
    nlohmann::json body{{"error", refusal.text}, {"code", refusal.code}};
    Reply reply;
    reply.status = refusal.status;
    if (refusal.retryAfter.count() > 0) {
        body["retryAfter"] = refusal.retryAfter.count();
        reply.headers.emplace_back("Retry-After", std::to_string(refusal.retryAfter.count()));
    }
    reply.body = body.dump();
    return reply;
}

} // namespace host
