#pragma once

#include "host/Request.h"

#include <string>

namespace hosttest {

// A request as the HTTP server hands it to the API; `rows` adds ?rows=1.
inline host::Request apiRequest(std::string method, std::string path, std::string body = "", bool rows = false) {
    host::Request request;
    request.method = std::move(method);
    request.path = std::move(path);
    request.body = std::move(body);
    if (rows) request.query["rows"] = "1";
    return request;
}

} // namespace hosttest
