#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace appserver {

// A refusal the client is told about: a JSON-RPC error code from wire/Rpc.h and a Portuguese message.
class RpcError : public std::runtime_error {
public:
    RpcError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

// A client's text quoted for a message, cut at a character boundary when long: a 16 MB method name must
// not come back as a 16 MB error.
inline std::string shown(std::string_view text, std::size_t max = 60) {
    if (text.size() <= max) return "\"" + std::string(text) + "\"";
    std::size_t cut = max;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return "\"" + std::string(text.substr(0, cut)) + "\"...";
}

} // namespace appserver
