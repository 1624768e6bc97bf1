#include "toolkit/JsonText.h"

#include <charconv>

namespace tk::json {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool continuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at the start of `text` (RFC 3629: no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0 when it is not one.
std::size_t wellFormed(std::string_view text) {
    const auto b0 = static_cast<unsigned char>(text[0]);
    auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    if (b0 >= 0xC2 && b0 <= 0xDF) return text.size() >= 2 && continuation(at(1)) ? 2 : 0;
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (text.size() < 3 || !continuation(at(1)) || !continuation(at(2))) return 0;
        if (b0 == 0xE0 && at(1) < 0xA0) return 0;  // overlong
        if (b0 == 0xED && at(1) >= 0xA0) return 0; // surrogate
        return 3;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (text.size() < 4 || !continuation(at(1)) || !continuation(at(2)) || !continuation(at(3))) return 0;
        if (b0 == 0xF0 && at(1) < 0x90) return 0;  // overlong
        if (b0 == 0xF4 && at(1) >= 0x90) return 0; // above U+10FFFF
        return 4;
    }
    return 0;
}

} // namespace

void appendString(std::string& out, std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    out.push_back('"');
    std::size_t i = 0;
    while (i < text.size()) {
        // Runs of plain characters go in one append.
        std::size_t run = i;
        while (run < text.size()) {
            const auto c = static_cast<unsigned char>(text[run]);
            if (c < 0x20 || c == '"' || c == '\\' || c >= 0x80) break;
            ++run;
        }
        out.append(text.data() + i, run - i);
        i = run;
        if (i == text.size()) break;
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t n = wellFormed(text.substr(i));
            if (n == 0) {
                out += kReplacement;
                ++i;
            } else {
                out.append(text.data() + i, n);
                i += n;
            }
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default:
            out += "\\u00";
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0xF]);
        }
        ++i;
    }
    out.push_back('"');
}

void appendInt(std::string& out, long long value) {
    char buffer[24];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, static_cast<std::size_t>(end - buffer));
}

void appendBool(std::string& out, bool value) {
    out += value ? "true" : "false";
}

} // namespace tk::json
