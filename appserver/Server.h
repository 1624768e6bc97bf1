#pragma once

// The TCP side. A small, fixed set of worker threads serves every connection: a connection that waits
// for its next request holds no thread and no buffer, so a thousand open screens cost little more than
// their sockets. Each worker runs its own event loop and keeps the connections it was given: the
// thread that sees a request arrive is the one that answers it, with no hand-over between threads
// (on a busy two-core machine a hand-over per call cost more than the call). A worker reads what has
// arrived, answers each complete line in order (running the call itself, on a database session
// borrowed from the pool) and writes the answers back before it reads again, so a client that sends
// without reading is slowed down by its own socket, never the server.

#include "ClientSession.h"

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace appserver {

struct ListenOptions {
    std::string address = "127.0.0.1";
    int port = 7400; // 0 picks a free port
    int workers = 8;
    int maxConnections = 1000;
    // A connection that has not connected (authenticated) within this time is closed.
    std::chrono::seconds connectDeadline{30};
};

class Server {
public:
    // Binds and listens at once; throws std::runtime_error (Portuguese) when the address is unusable.
    Server(const ServerContext& context, const ListenOptions& options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    const std::string& host() const { return host_; }
    int port() const { return port_; }

    // Serves until stop(); then every connection ends after the call it is running, if any (a save
    // commits or rolls back), and run() returns once all are closed.
    void run();
    // May be called from any thread, more than once.
    void stop();

private:
    class Connection;
    friend class Connection;

    void accept();
    void refuse(boost::asio::ip::tcp::socket socket);
    void sweep();
    void enroll(const std::shared_ptr<Connection>& connection);
    void release(Connection& connection);

    const ServerContext& context_;
    ListenOptions options_;
    std::string host_;
    int port_ = 0;
    // One event loop per worker; the first also accepts, sweeps and stops.
    std::vector<std::unique_ptr<boost::asio::io_context>> loops_;
    std::vector<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> keepAlive_;
    std::size_t nextLoop_ = 0;
    boost::asio::ip::tcp::acceptor acceptor_;
    boost::asio::steady_timer sweeper_;
    boost::asio::steady_timer retry_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_; // guards live_; a socket is closed only under it
    std::unordered_map<Connection*, std::weak_ptr<Connection>> live_;
    std::chrono::steady_clock::time_point lastRefusalLog_{};
};

} // namespace appserver
