#include "RequestPolicy.h"

#include <algorithm>
#include <stdexcept>

namespace host {

namespace {

struct Authority {
    std::string host;
    int port = -1; // -1: none given
};

bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
}

bool isIpv6Char(char c) {
    return (c >= 'a' && c <= 'f') || (c >= '0' && c <= '9') || c == ':' || c == '.';
}

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return out;
}

// ":8080" -> 8080; nullopt unless 1 to 65535 in at most five digits.
std::optional<int> portOf(std::string_view digits) {
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    int port = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) return std::nullopt;
    return port;
}

std::optional<Authority> splitAuthority(std::string_view text) {
    Authority out;
    std::string_view rest;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        out.host = lowered(text.substr(1, close - 1));
        if (out.host.empty() || !std::all_of(out.host.begin(), out.host.end(), isIpv6Char)) return std::nullopt;
        rest = text.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') return std::nullopt;
    } else if (std::count(text.begin(), text.end(), ':') > 1) {
        // A bare IPv6 address, as an administrator may write it in the configuration.
        out.host = lowered(text);
        if (!std::all_of(out.host.begin(), out.host.end(), isIpv6Char)) return std::nullopt;
        return out;
    } else {
        const auto colon = text.find(':');
        out.host = lowered(text.substr(0, colon));
        if (out.host.empty() || out.host.size() > 253 || !std::all_of(out.host.begin(), out.host.end(), isNameChar))
            return std::nullopt;
        if (colon != std::string_view::npos) rest = text.substr(colon);
    }
    if (!rest.empty()) {
        auto port = portOf(rest.substr(1));
        if (!port) return std::nullopt;
        out.port = *port;
    }
    return out;
}

int defaultPort(std::string_view scheme) {
    return scheme == "https" ? 443 : 80;
}

} // namespace

std::optional<std::string> hostNameOf(std::string_view authority) {
    auto parsed = splitAuthority(authority);
    if (!parsed) return std::nullopt;
    return std::move(parsed->host);
}

std::optional<Origin> originOf(std::string_view url) {
    const auto sep = url.find("://");
    if (sep == std::string_view::npos) return std::nullopt;
    Origin origin;
    origin.scheme = lowered(url.substr(0, sep));
    if (origin.scheme != "http" && origin.scheme != "https") return std::nullopt;
    std::string_view rest = url.substr(sep + 3);
    const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    if (authority.find('@') != std::string_view::npos) return std::nullopt;
    auto parsed = splitAuthority(authority);
    if (!parsed) return std::nullopt;
    origin.host = std::move(parsed->host);
    origin.port = parsed->port > 0 ? parsed->port : defaultPort(origin.scheme);
    return origin;
}

RequestPolicy::RequestPolicy(const std::vector<std::string>& allowedHosts, const CsrfTokens& csrf) : csrf_(csrf) {
    for (const auto& name : allowedHosts) {
        auto host = hostNameOf(name);
        if (!host) throw std::invalid_argument("nome de servidor inválido: \"" + name + "\"");
        if (std::find(allowed_.begin(), allowed_.end(), *host) == allowed_.end()) allowed_.push_back(*host);
    }
}

bool RequestPolicy::changesState(std::string_view method) {
    return method != "GET" && method != "HEAD" && method != "OPTIONS";
}

std::optional<Refusal> RequestPolicy::check(const Request& head, bool hasBody) const {
    const auto hostHeader = head.header("Host");
    if (!hostHeader) return refusal::badRequest();
    const auto name = hostNameOf(*hostHeader);
    if (!name || std::find(allowed_.begin(), allowed_.end(), *name) == allowed_.end())
        return refusal::hostNotAllowed();
    if (!changesState(head.method)) {
        if (hasBody) return refusal::bodyNotAllowed();
        return std::nullopt;
    }
    return stateChangeRefusal(head, hasBody);
}

std::optional<Refusal> RequestPolicy::stateChangeRefusal(const Request& head, bool hasBody) const {
    // A browser names the page that sent the request; it must be a page of this origin.
    auto claimed = head.header("Origin");
    if (!claimed) claimed = head.header("Referer");
    if (claimed) {
        const auto own = originOf(std::string(head.secure ? "https" : "http") + "://" +
                                  std::string(*head.header("Host")));
        const auto theirs = originOf(*claimed);
        if (!own || !theirs || !(*own == *theirs)) return refusal::crossOrigin();
    }
    if (hasBody) {
        const auto type = head.header("Content-Type");
        std::string_view media = type ? type->substr(0, type->find(';')) : std::string_view();
        while (!media.empty() && (media.back() == ' ' || media.back() == '\t'))
            media.remove_suffix(1);
        while (!media.empty() && (media.front() == ' ' || media.front() == '\t'))
            media.remove_prefix(1);
        if (!equalsIgnoreCase(media, "application/json")) return refusal::unsupportedMediaType();
    }
    if (head.path != "/api/login" && !head.header("Authorization")) {
        if (const auto login = cookieValue(head, kLoginCookie)) {
            const auto token = head.header(kCsrfHeader);
            if (!token || token->empty()) return refusal::csrfRequired();
            if (!csrf_.matches(*login, *token)) return refusal::csrfInvalid();
        }
    }
    return std::nullopt;
}

} // namespace host
