#pragma once

#include "host/Request.h"

#include <cstdint>
#include <optional>
#include <string>

namespace hosttest {

// A request as the HTTP server hands it to the API; `rows` adds ?rows=1, `since` ?since=V.
inline host::Request apiRequest(std::string method, std::string path, std::string body = "", bool rows = false,
                                std::optional<std::uint64_t> since = std::nullopt) {
    host::Request request;
    request.method = std::move(method);
    request.path = std::move(path);
    request.body = std::move(body);
    if (rows) request.query["rows"] = "1";
    if (since) request.query["since"] = std::to_string(*since);
    return request;
}

} // namespace hosttest
