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

} // namespace lib
