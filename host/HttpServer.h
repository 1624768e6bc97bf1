#pragma once

// HTTP plumbing: routes /api/ to the automation API and GET requests to the renderer's files. Keeps
// connections alive with Nagle off (a request costs tens of microseconds instead of tens of
// milliseconds), a wide accept backlog and a worker pool sized for many concurrent sessions.

#include "Api.h"
#include "StaticFiles.h"

#include <cstddef>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace host {

struct HttpOptions {
    std::string listen = "127.0.0.1";
    int port = 8080;           // 0 = any free port
    std::size_t threads = 256; // a keep-alive connection holds a worker while it is open
    std::size_t maxBodyBytes = 64 * 1024;
    int backlog = 1024;
    int keepAliveSeconds = 5;
};

class HttpServer {
public:
    HttpServer(Api& api, const StaticFiles* files, HttpOptions options);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds the listening socket; returns the port (useful with port 0). Throws on failure.
    int bind();
    // Serves until stop(); blocking.
    void run();
    // bind() + run() on a thread of its own; returns once the server accepts connections.
    int start();
    void stop();

private:
    void install();

    Api& api_;
    const StaticFiles* files_;
    HttpOptions options_;
    std::unique_ptr<httplib::Server> server_;
    int listenFd_ = -1;
    std::thread thread_;
};

} // namespace host
