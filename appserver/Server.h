#pragma once

// The TCP side: a listening socket and one thread per client connection. Each connection reads request
// lines, answers each in order, and owns its own database session through its ClientSession.

#include "ClientSession.h"

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace appserver {

struct ListenOptions {
    std::string address = "127.0.0.1";
    int port = 7400; // 0 picks a free port
};

class Server {
public:
    // Binds and listens at once; throws std::runtime_error (Portuguese) when the address is unusable.
    Server(ServerContext context, const ListenOptions& options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    const std::string& host() const { return host_; }
    int port() const { return port_; }

    // Accepts connections until stop(); then ends every connection and waits for their threads. A call in
    // progress finishes (its transaction commits or rolls back) before its connection closes.
    void run();
    void stop();

private:
    struct Connection {
        int fd = -1;
        std::string peer;
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void serve(Connection& connection);
    void reap(bool all);

    ServerContext context_;
    std::string host_;
    int port_ = 0;
    int listenFd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::list<std::unique_ptr<Connection>> connections_;
};

} // namespace appserver
