#pragma once

#include "host/Request.h"

#include <cstdint>
#include <optional>
#include <string>

namespace hosttest {

// The token every test request carries unless it says otherwise (FakeAuthority knows it: a user who
// may read and write).
inline const std::string kTestToken = "tokenDeTesteManutencao00000000000000000000";

// A request as the HTTP server hands it to the API, from a program with `bearer`; `rows` adds ?rows=1,
// `since` ?since=V.
inline host::Request apiRequest(std::string method, std::string path, std::string body = "", bool rows = false,
                                std::optional<std::uint64_t> since = std::nullopt,
                                const std::string& bearer = kTestToken) {
    host::Request request;
    request.method = std::move(method);
    request.path = std::move(path);
    request.body = std::move(body);
    request.remote = "127.0.0.1";
    if (!bearer.empty()) request.headers.emplace_back("Authorization", "Bearer " + bearer);
    if (rows) request.query["rows"] = "1";
    if (since) request.query["since"] = std::to_string(*since);
    return request;
}

} // namespace hosttest
