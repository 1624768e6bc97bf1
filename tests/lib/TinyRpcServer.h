#pragma once

// A one-client-at-a-time JSON-RPC server on a loopback port, scripted by method name: connect
// (accepted for the expected object name), echo (result = params), fail (error kConflict), expire (error
// kNotAuthenticated), drop (closes without answering), slow [ms], garbage (a line that is not JSON),
// wrongid, big [n] (n bytes of 'x').

#include "wire/Rpc.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

class TinyRpcServer {
public:
    explicit TinyRpcServer(std::string expected = std::string(wire::rpc::kServerName))
        : expected_(std::move(expected)) {
        listenFd_ = boundSocket(port_);
        ::listen(listenFd_, 8);
        thread_ = std::thread([this] { run(); });
    }
    ~TinyRpcServer() {
        ::shutdown(listenFd_, SHUT_RDWR);
        closeIdle();
        thread_.join();
        ::close(listenFd_);
    }
    int port() const { return port_; }
    int connections() const { return connections_; }
    std::vector<std::string> calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    // Ends the client's connection from the server side and waits until it is gone.
    void closeIdle() {
        std::unique_lock lock(mutex_);
        if (clientFd_ >= 0) ::shutdown(clientFd_, SHUT_RDWR);
        gone_.wait(lock, [this] { return clientFd_ < 0; });
    }
    // A loopback port nobody listens on.
    static int freePort() {
        int port = 0;
        ::close(boundSocket(port));
        return port;
    }

private:
    static int boundSocket(int& port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
        port = ntohs(addr.sin_port);
        return fd;
    }
    void run() {
        for (int fd; (fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            setClient(fd);
            ++connections_;
            serve(fd);
            setClient(-1);
            ::close(fd);
            gone_.notify_all();
        }
    }
    void setClient(int fd) {
        std::lock_guard lock(mutex_);
        clientFd_ = fd;
    }
    void serve(int fd) {
        using nlohmann::json;
        namespace rpc = wire::rpc;
        std::string buffer;
        bool connected = false;
        char chunk[65536];
        for (;;) {
            const auto nl = buffer.find('\n');
            if (nl == std::string::npos) {
                const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
                if (n <= 0) return;
                buffer.append(chunk, static_cast<std::size_t>(n));
                continue;
            }
            const json request = json::parse(buffer.substr(0, nl));
            buffer.erase(0, nl + 1);
            const json& id = request["id"];
            const std::string method = request["method"];
            {
                std::lock_guard lock(mutex_);
                calls_.push_back(method + ":" + request["params"].dump());
            }
            json answer;
            if (method == "connect") {
                connected = request["params"].value("server", "") == expected_;
                answer = connected ? rpc::makeResult(id, true)
                                   : rpc::makeError(id, rpc::kUnknownServer, "Objeto desconhecido");
            } else if (!connected)
                answer = rpc::makeError(id, rpc::kNotConnected, "Sem connect");
            else if (method == "echo")
                answer = rpc::makeResult(id, request["params"]);
            else if (method == "fail")
                answer = rpc::makeError(id, rpc::kConflict, "Registro alterado");
            else if (method == "expire")
                answer = rpc::makeError(id, rpc::kNotAuthenticated, "Sessão expirada");
            else if (method == "drop")
                return;
            else if (method == "wrongid")
                answer = rpc::makeResult(id.get<long long>() + 1000, true);
            else if (method == "big")
                answer = rpc::makeResult(id, std::string(request["params"][0].get<std::size_t>(), 'x'));
            else if (method == "slow") {
                std::this_thread::sleep_for(std::chrono::milliseconds(request["params"][0].get<int>()));
                answer = rpc::makeResult(id, "lento");
            }
            const std::string text = method == "garbage" ? "isto não é JSON\n" : answer.dump() + "\n";
            for (std::size_t sent = 0; sent < text.size();) {
                const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) return;
                sent += static_cast<std::size_t>(n);
            }
        }
    }

    std::string expected_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    std::condition_variable gone_;
    int clientFd_ = -1;
    std::vector<std::string> calls_;
    std::thread thread_;
};
