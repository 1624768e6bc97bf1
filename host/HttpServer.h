#pragma once

// HTTP/1.1 (optionally over TLS) for the host: /api/ goes to the automation API, GET and HEAD to the
// renderer's files. Built to hold under abuse:
// - network I/O is asynchronous on a few threads, so an idle or slow connection costs memory, not a
//   thread; API calls, which block while a session handles its event, run on a bounded worker pool;
// - every body is read (a GET's too, to refuse it) and limited while it arrives, chunked or not;
//   heads are limited in size; heads and bodies must arrive within a time limit and a kept-alive
//   connection may stay idle only so long;
// - connections are capped: past the cap a new connection is answered 503 and closed;
// - requests pipelined on one connection are answered one by one, in order;
// - every request passes the RequestPolicy (Host, Origin, Content-Type) before its body is read;
// - every answer carries the security headers, and JSON answers are gzipped when the client takes it.

#include "Api.h"
#include "StaticFiles.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace host {

struct HttpOptions {
    std::string listen = "127.0.0.1";
    int port = 8080;           // 0 = any free port
    std::size_t threads = 256; // workers for API calls (each blocks while its session handles an event)
    std::size_t ioThreads = 2; // network I/O, never blocked
    std::size_t maxBodyBytes = 64 * 1024;
    std::size_t maxHeaderBytes = 8 * 1024;
    std::size_t maxConnections = 10000;
    int backlog = 1024;
    std::chrono::milliseconds requestTimeout{10000}; // the head from its first byte, then the body
    std::chrono::milliseconds keepAliveTimeout{60000}; // a kept-alive connection waiting for a request
    std::chrono::milliseconds writeTimeout{30000};
    std::vector<std::string> allowedHosts; // names the Host header may give; empty = defaultAllowedHosts()
    std::string tlsCertificate;            // PEM certificate chain; with tlsKey, every connection is TLS
    std::string tlsKey;                    // PEM private key
};

// The listen address, "localhost" and "127.0.0.1".
std::vector<std::string> defaultAllowedHosts(const std::string& listen);

// The Content-Security-Policy of every answer: scripts and styles from this origin only, no plugins,
// no framing by any page.
extern const char* const kContentSecurityPolicy;

class HttpServer {
public:
    // Throws std::runtime_error when the TLS files cannot be used or an allowed host is malformed.
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
    // Stops accepting and drops every connection; API calls under way finish on their workers.
    void stop();

    bool secure() const;
    std::size_t openConnections() const;

    struct Impl; // named here so that the connections, inside the implementation, can name it

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace host
