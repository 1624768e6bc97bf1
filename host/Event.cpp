#include "Event.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <limits>
#include <nlohmann/json.hpp>
#include <string_view>
#include <utility>

namespace host {

using nlohmann::json;

namespace {

constexpr std::array<std::pair<std::string_view, EventType>, 11> kTypes{{
    {"open", EventType::Open},
    {"click", EventType::Click},
    {"focus", EventType::Focus},
    {"type", EventType::Type},
    {"pick", EventType::Pick},
    {"key", EventType::Key},
    {"page", EventType::Page},
    {"move", EventType::Move},
    {"sort", EventType::Sort},
    {"answer", EventType::Answer},
    {"close", EventType::Close},
}};

const json& member(const json& body, const char* name) {
    auto it = body.find(name);
    if (it == body.end()) throw BadRequest(std::string("membro obrigatório ausente: \"") + name + "\"");
    return *it;
}

std::string stringMember(const json& body, const char* name) {
    const json& value = member(body, name);
    if (!value.is_string()) throw BadRequest(std::string("o membro \"") + name + "\" deve ser um texto");
    return value.get<std::string>();
}

int intMember(const json& value, const char* name) {
    if (!value.is_number_integer())
        throw BadRequest(std::string("o membro \"") + name + "\" deve ser um número inteiro");
    const auto n = value.get<long long>();
    if (n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max())
        throw BadRequest(std::string("o membro \"") + name + "\" está fora do intervalo");
    return static_cast<int>(n);
}

std::optional<std::string> optionalString(const json& body, const char* name) {
    auto it = body.find(name);
    if (it == body.end() || it->is_null()) return std::nullopt;
    if (!it->is_string()) throw BadRequest(std::string("o membro \"") + name + "\" deve ser um texto");
    return it->get<std::string>();
}

void parseShift(const json& body, Event& event) {
    auto it = body.find("shift");
    if (it == body.end() || it->is_null()) return;
    if (!it->is_array())
        throw BadRequest("o membro \"shift\" deve ser uma lista de \"alt\", \"ctrl\" ou \"shift\"");
    for (const auto& item : *it) {
        const std::string name = item.is_string() ? item.get<std::string>() : std::string();
        if (name == "alt")
            event.alt = true;
        else if (name == "ctrl")
            event.ctrl = true;
        else if (name == "shift")
            event.shift = true;
        else
            throw BadRequest("modificador desconhecido em \"shift\": use \"alt\", \"ctrl\" ou \"shift\"");
    }
}

void parseAnswer(const json& body, Event& event) {
    const json& value = member(body, "value");
    if (value.is_string()) {
        event.answerWord = value.get<std::string>();
        if (event.answerWord != "yes" && event.answerWord != "no" && event.answerWord != "ok" &&
            event.answerWord != "cancel" && event.answerWord != "theirs" && event.answerWord != "mine")
            throw BadRequest(
                "resposta desconhecida: use \"yes\", \"no\", \"ok\", \"cancel\", \"theirs\", \"mine\", "
                "{\"keys\":[...]} ou {\"recNo\":N}");
        return;
    }
    if (!value.is_object())
        throw BadRequest(
            "o membro \"value\" deve ser um texto ou um objeto {\"keys\":[...]} / {\"recNo\":N}");
    if (auto keys = value.find("keys"); keys != value.end()) {
        if (!keys->is_array()) throw BadRequest("\"keys\" deve ser uma lista de textos");
        std::vector<std::string> list;
        for (const auto& k : *keys) {
            if (!k.is_string()) throw BadRequest("\"keys\" deve ser uma lista de textos");
            list.push_back(k.get<std::string>());
        }
        event.answerKeys = std::move(list);
    } else if (auto recNo = value.find("recNo"); recNo != value.end()) {
        event.answerRecNo = intMember(*recNo, "recNo");
    } else {
        throw BadRequest("a resposta deve ter \"keys\" ou \"recNo\"");
    }
}

} // namespace

// A name the request gave, as quoted back in an error: at most a few dozen bytes, never cut inside a
// character, so the answer stays short and valid UTF-8 whatever was sent.
std::string quotedName(const std::string& name) {
    constexpr std::size_t kMaxQuoted = 40;
    if (name.size() <= kMaxQuoted) return "\"" + name + "\"";
    std::size_t cut = kMaxQuoted;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    return "\"" + name.substr(0, cut) + "…\"";
}

// The deepest nesting of objects and arrays in a JSON text, counted outside strings; stops counting
// past `limit`.
int nestingOf(std::string_view text, int limit) {
    int depth = 0, deepest = 0;
    bool inString = false, escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            deepest = std::max(deepest, ++depth);
            if (deepest > limit) break;
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return deepest;
}

const char* toString(EventType type) {
    for (const auto& [name, t] : kTypes)
        if (t == type) return name.data();
    return "?";
}

std::optional<std::uint16_t> keyCodeFromName(const std::string& name) {
    static constexpr std::array<std::pair<std::string_view, std::uint16_t>, 21> kNames{{
        {"Backspace", 8},  {"Tab", 9},     {"Enter", 13},     {"Shift", 16},   {"Control", 17},
        {"Alt", 18},       {"Escape", 27}, {"Space", 32},     {"PageUp", 33},  {"PageDown", 34},
        {"End", 35},       {"Home", 36},   {"ArrowLeft", 37}, {"ArrowUp", 38}, {"ArrowRight", 39},
        {"ArrowDown", 40}, {"Left", 37},   {"Up", 38},        {"Right", 39},   {"Down", 40},
        {"Delete", 46},
    }};
    for (const auto& [n, code] : kNames)
        if (n == name) return code;
    if (name.size() == 1) {
        const auto c = static_cast<unsigned char>(name[0]);
        if (std::isalpha(c))
            return static_cast<std::uint16_t>(std::toupper(c)); // virtual keys are upper case
        if (std::isdigit(c)) return static_cast<std::uint16_t>(c);
    }
    if (name.size() >= 2 && name.size() <= 3 && name[0] == 'F') {
        int n = 0;
        for (std::size_t i = 1; i < name.size(); ++i) {
            if (!std::isdigit(static_cast<unsigned char>(name[i]))) return std::nullopt;
            n = n * 10 + (name[i] - '0');
        }
        if (n >= 1 && n <= 12) return static_cast<std::uint16_t>(111 + n);
    }
    return std::nullopt;
}

Event parseEvent(const json& body) {
    if (!body.is_object()) throw BadRequest("o evento deve ser um objeto JSON");
    const std::string typeName = stringMember(body, "type");
    Event event;
    bool known = false;
    for (const auto& [name, t] : kTypes)
        if (name == typeName) {
            event.type = t;
            known = true;
        }
    if (!known) throw BadRequest("tipo de evento desconhecido: " + quotedName(typeName));

    switch (event.type) {
    case EventType::Open:
    case EventType::Close:
        break;
    case EventType::Click:
        event.control = stringMember(body, "control");
        break;
    case EventType::Focus:
        event.control = stringMember(body, "control");
        event.column = optionalString(body, "column");
        break;
    case EventType::Type:
        event.control = stringMember(body, "control");
        event.text = stringMember(body, "text");
        event.column = optionalString(body, "column");
        break;
    case EventType::Pick:
        event.control = stringMember(body, "control");
        event.index = intMember(member(body, "index"), "index");
        break;
    case EventType::Key: {
        event.control = stringMember(body, "control");
        const json& key = member(body, "key");
        if (key.is_string()) {
            auto code = keyCodeFromName(key.get<std::string>());
            if (!code) throw BadRequest("tecla desconhecida: " + quotedName(key.get<std::string>()));
            event.key = *code;
        } else {
            const int code = intMember(key, "key");
            if (code < 0 || code > 0xFFFF) throw BadRequest("o código de tecla deve estar entre 0 e 65535");
            event.key = static_cast<std::uint16_t>(code);
        }
        parseShift(body, event);
        break;
    }
    case EventType::Page:
        event.page = stringMember(body, "page");
        break;
    case EventType::Move:
        event.dataSet = stringMember(body, "dataset");
        event.recNo = intMember(member(body, "recNo"), "recNo");
        break;
    case EventType::Sort: {
        event.control = stringMember(body, "control");
        event.column = stringMember(body, "column");
        auto it = body.find("descending");
        if (it != body.end() && !it->is_null()) {
            if (!it->is_boolean()) throw BadRequest("o membro \"descending\" deve ser true ou false");
            event.descending = it->get<bool>();
        }
        break;
    }
    case EventType::Answer:
        parseAnswer(body, event);
        break;
    }
    return event;
}

Event readEvent(std::string_view body) {
    // No event nests deeper than an answer's list of keys; a deeper body is refused before it is built.
    constexpr int kMaxNesting = 8;
    if (nestingOf(body, kMaxNesting) > kMaxNesting) throw BadRequest("Corpo da requisição aninhado demais.");
    const json parsed = json::parse(body, nullptr, false);
    if (parsed.is_discarded()) throw BadRequest("Corpo da requisição não é um JSON válido.");
    try {
        return parseEvent(parsed);
    } catch (const BadRequest& ex) {
        throw BadRequest(std::string("Evento inválido: ") + ex.what() + ".");
    }
}

} // namespace host
