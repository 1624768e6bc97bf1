#pragma once

// One HTTP request as the host's handlers see it, apart from any HTTP library: the method as sent, the
// decoded path, the query parameters, the headers and the whole body (already read and size-checked).

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace host {

struct Request {
    std::string method; // "GET", "POST", ... as sent (methods are case-sensitive)
    std::string path;   // percent-decoded, without the query
    // Decoded query parameters; when a name repeats, the first value counts.
    std::map<std::string, std::string, std::less<>> query;
    std::vector<std::pair<std::string, std::string>> headers; // in arrival order, names as sent
    std::string body;
    bool secure = false; // arrived over TLS
    std::string remote;  // the client's address ("127.0.0.1", "::1"), "" when unknown

    // The first header of that name (compared case-insensitively), or nullopt.
    std::optional<std::string_view> header(std::string_view name) const;
    std::optional<std::string_view> param(std::string_view name) const;
};

bool equalsIgnoreCase(std::string_view a, std::string_view b);
// The text without the spaces and tabs around it.
std::string_view trimmed(std::string_view text);

// "%41b+c" -> "Ab+c" (paths) or "Ab c" (query, `plusIsSpace`); nullopt for a malformed escape.
std::optional<std::string> percentDecode(std::string_view text, bool plusIsSpace);

// Splits an origin-form target ("/a/b?x=1&y") into the request's path and query. False when the
// target is not origin-form or an escape is malformed.
bool splitTarget(std::string_view target, Request& request);

} // namespace host
