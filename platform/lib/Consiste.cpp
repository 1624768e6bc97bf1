#include "lib/Consiste.h"

#include "toolkit/Application.h"
#include "wire/Rpc.h"

#include <algorithm>

namespace Consiste {

namespace {

bool isBlank(char ch) {
    return static_cast<unsigned char>(ch) <= ' ';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Width is counted in characters, not bytes, so a code with an accented letter is not over-counted.
int utf8Length(std::string_view text) {
    return static_cast<int>(std::count_if(
        text.begin(), text.end(), [](char ch) { return (static_cast<unsigned char>(ch) & 0xC0) != 0x80; }));
}

} // namespace

bool EmptyString(std::string_view text) {
    return std::all_of(text.begin(), text.end(), isBlank);
}

std::string Ajusta(std::string_view code, int width) {
    const std::string_view core = trimmed(code);
    if (core.empty()) return {};
    const int length = utf8Length(core);
    std::string out;
    if (length < width) out.assign(static_cast<std::size_t>(width - length), '0');
    out += core;
    return out;
}

std::string PictPess(std::string_view kind) {
    if (kind == "F") return "999.999.999-99;0;_";
    if (kind == "J") return "99.999.999/9999-99;0;_";
    return {};
}

void MensErro(const std::string& text, bool abort) {
    auto& app = tk::Application::current();
    app.shown().push_back(text);
    app.dialogs().error(text);
    if (abort) throw tk::SilentAbort();
}

nlohmann::json CheckResultServ(const nlohmann::json& answer, bool raiseOnError, int /*reserved*/) {
    if (answer.is_object()) {
        if (const auto result = answer.find("result"); result != answer.end() && !answer.contains("error"))
            return *result;
        if (const auto error = answer.find("error"); error != answer.end()) {
            if (!raiseOnError) return nullptr;
            int code = wire::rpc::kInternalError;
            std::string message;
            if (error->is_object()) {
                if (const auto c = error->find("code"); c != error->end() && c->is_number_integer())
                    code = c->get<int>();
                if (const auto m = error->find("message"); m != error->end() && m->is_string())
                    message = m->get<std::string>();
            }
            throw lib::ServerError(code, message);
        }
    }
    if (!raiseOnError) return nullptr;
    throw lib::ServerError(wire::rpc::kInternalError, "resposta sem resultado nem erro");
}

} // namespace Consiste
