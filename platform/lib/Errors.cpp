#include "lib/Errors.h"

namespace lib {

namespace {
std::string describe(int code, const std::string& serverMessage) {
    std::string text = "Erro no servidor de aplicação (código " + std::to_string(code) + ")";
    if (!serverMessage.empty()) text += ": " + serverMessage;
    return text;
}
} // namespace

ServerError::ServerError(int code, const std::string& serverMessage)
    : std::runtime_error(describe(code, serverMessage)), code_(code), serverMessage_(serverMessage) {}

DatabaseError::DatabaseError(Kind kind, const std::string& userText, std::string detail)
    : std::runtime_error(userText), kind_(kind), detail_(std::move(detail)) {}

const char* toString(DatabaseError::Kind kind) {
    switch (kind) {
    case DatabaseError::Kind::Configuration:
        return "configuration";
    case DatabaseError::Kind::Connect:
        return "connect";
    case DatabaseError::Kind::Busy:
        return "busy";
    case DatabaseError::Kind::Query:
        return "query";
    case DatabaseError::Kind::Definition:
        return "definition";
    }
    return "?";
}

} // namespace lib
