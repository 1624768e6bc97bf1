#include "Server.h"

#include "wire/Rpc.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <spdlog/spdlog.h>
#include <stdexcept>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace appserver {

namespace {

std::string describe(const sockaddr* addr) {
    char host[INET6_ADDRSTRLEN] = "?";
    int port = 0;
    if (addr->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(addr);
        inet_ntop(AF_INET, &in->sin_addr, host, sizeof host);
        port = ntohs(in->sin_port);
        return std::string(host) + ":" + std::to_string(port);
    }
    if (addr->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(addr);
        inet_ntop(AF_INET6, &in6->sin6_addr, host, sizeof host);
        port = ntohs(in6->sin6_port);
        return "[" + std::string(host) + "]:" + std::to_string(port);
    }
    return host;
}

bool sendAll(int fd, const std::string& data) {
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        const ssize_t n = ::send(fd, p, left, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool blank(std::string_view line) {
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

} // namespace

Server::Server(ServerContext context, const ListenOptions& options) : context_(std::move(context)) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(options.port);
    if (const int rc = getaddrinfo(options.address.c_str(), service.c_str(), &hints, &found); rc != 0)
        throw std::runtime_error("Endereço de escuta inválido \"" + options.address +
                                 "\": " + gai_strerror(rc));
    std::string lastError = "nenhum endereço";
    for (addrinfo* a = found; a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        const int yes = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, SOMAXCONN) == 0) {
            listenFd_ = fd;
            break;
        }
        lastError = std::strerror(errno);
        ::close(fd);
    }
    freeaddrinfo(found);
    if (listenFd_ < 0)
        throw std::runtime_error("Não foi possível ouvir em " + options.address + ":" + service + ": " +
                                 lastError);

    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &length);
    const std::string where = describe(reinterpret_cast<sockaddr*>(&bound));
    const auto colon = where.rfind(':');
    host_ = where.substr(0, colon);
    port_ = std::stoi(where.substr(colon + 1));

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("Falha ao criar o canal de parada do servidor");
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
}

Server::~Server() {
    stop();
    reap(true);
    for (int fd : {listenFd_, wakeRead_, wakeWrite_})
        if (fd >= 0) ::close(fd);
}

void Server::stop() {
    if (stopping_.exchange(true)) return;
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(wakeWrite_, &byte, 1);
}

void Server::run() {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    while (!stopping_) {
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR) continue;
            spdlog::error("Falha ao aguardar conexões: {}", std::strerror(errno));
            break;
        }
        if (fds[1].revents) break;
        if (!(fds[0].revents & POLLIN)) continue;
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno != EINTR && errno != EAGAIN && errno != ECONNABORTED)
                spdlog::warn("Falha ao aceitar conexão: {}", std::strerror(errno));
            continue;
        }
        // Requests and answers are single small writes each: without this, Nagle's algorithm against the
        // peer's delayed ACK adds tens of milliseconds to every call.
        const int yes = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        reap(false);
        auto connection = std::make_unique<Connection>();
        connection->fd = fd;
        connection->peer = describe(reinterpret_cast<sockaddr*>(&peer));
        Connection& c = *connection;
        try {
            c.thread = std::thread([this, &c] { serve(c); });
        } catch (const std::system_error& e) {
            spdlog::error("{}: conexão recusada, sem recursos para atendê-la: {}", c.peer, e.what());
            ::close(fd);
            continue;
        }
        std::lock_guard lock(mutex_);
        connections_.push_back(std::move(connection));
    }
    stopping_ = true;
    {
        // Unblock every reader; each connection ends after the call it is running, if any.
        std::lock_guard lock(mutex_);
        for (auto& c : connections_)
            if (!c->done) ::shutdown(c->fd, SHUT_RDWR);
    }
    reap(true);
}

void Server::reap(bool all) {
    std::list<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard lock(mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            if (all || (*it)->done) {
                finished.push_back(std::move(*it));
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& c : finished) {
        if (c->thread.joinable()) c->thread.join();
        ::close(c->fd); // closed only here, so stop() never shuts down a reused descriptor
    }
}

void Server::serve(Connection& connection) {
    spdlog::info("{}: conexão aberta", connection.peer);
    const int fd = connection.fd;
    try {
        ClientSession session(context_, connection.peer);
        std::string buffer;
        std::size_t scanned = 0; // bytes of buffer already searched for a newline
        bool discarding = false; // inside an oversized line, dropping bytes up to its newline
        std::size_t discarded = 0;
        std::string chunk(64 * 1024, '\0');
        bool open = true;
        while (open) {
            const ssize_t n = ::recv(fd, chunk.data(), chunk.size(), 0);
            if (n == 0) break;
            if (n < 0) {
                if (errno == EINTR) continue;
                break;
            }
            std::string_view data(chunk.data(), static_cast<std::size_t>(n));
            if (discarding) {
                const auto nl = data.find('\n');
                if (nl == std::string_view::npos) {
                    discarded += data.size();
                    continue;
                }
                discarding = false;
                data.remove_prefix(nl + 1);
            }
            buffer.append(data);
            std::size_t start = 0;
            while (open) {
                const auto nl = buffer.find('\n', scanned);
                if (nl == std::string::npos) break;
                std::string_view line(buffer.data() + start, nl - start);
                if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
                if (line.size() > wire::rpc::kMaxRequestBytes)
                    open = sendAll(fd, session.refuseOversized(line.size()) + '\n');
                else if (!blank(line))
                    open = sendAll(fd, session.handle(line) + '\n');
                start = nl + 1;
                scanned = start;
            }
            buffer.erase(0, start);
            scanned = buffer.size();
            if (buffer.size() > wire::rpc::kMaxRequestBytes) {
                // Answer at once and drop the rest of the line as it arrives; the connection stays usable.
                open = sendAll(fd, session.refuseOversized(buffer.size()) + '\n');
                discarding = true;
                discarded = buffer.size();
                buffer.clear();
                buffer.shrink_to_fit();
                scanned = 0;
            }
        }
        if (discarding) spdlog::debug("{}: {} bytes descartados", connection.peer, discarded);
    } catch (const std::exception& e) {
        spdlog::error("{}: conexão encerrada por falha: {}", connection.peer, e.what());
    }
    spdlog::info("{}: conexão encerrada", connection.peer);
    connection.done = true;
}

} // namespace appserver
