#include "Request.h"

#include <algorithm>

namespace host {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

std::optional<std::string_view> Request::header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (equalsIgnoreCase(key, name)) return std::string_view(value);
    return std::nullopt;
}

std::optional<std::string_view> Request::param(std::string_view name) const {
    auto it = query.find(name);
    if (it == query.end()) return std::nullopt;
    return std::string_view(it->second);
}

std::optional<std::string> percentDecode(std::string_view text, bool plusIsSpace) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size()) return std::nullopt;
            const int high = hexValue(text[i + 1]), low = hexValue(text[i + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            out.push_back(' ');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

bool splitTarget(std::string_view target, Request& request) {
    if (target.empty() || target.front() != '/') return false;
    const auto mark = target.find('?');
    auto path = percentDecode(target.substr(0, mark), false);
    if (!path) return false;
    request.path = std::move(*path);
    request.query.clear();
    if (mark == std::string_view::npos) return true;
    std::string_view rest = target.substr(mark + 1);
    while (!rest.empty()) {
        const auto amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
        if (pair.empty()) continue;
        const auto eq = pair.find('=');
        auto name = percentDecode(pair.substr(0, eq), true);
        auto value = percentDecode(eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1), true);
        if (!name || !value) return false;
        request.query.emplace(std::move(*name), std::move(*value)); // keeps the first of a repeated name
    }
    return true;
}

} // namespace host
