#include "Server.h"

#include "wire/Rpc.h"

#include <arpa/inet.h>
#include <array>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <cerrno>
#include <cstring>
#include <malloc.h>
#include <netdb.h>
#include <netinet/in.h>
#include <spdlog/spdlog.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace appserver {

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
// Answers waiting for a client that does not read them: past this, the connection stops reading.
constexpr std::size_t kOutputHigh = 1024 * 1024;
// A line this long leaves buffers that the allocator is asked to give back once it is answered.
constexpr std::size_t kLargeLine = 1024 * 1024;
constexpr auto kStopGrace = std::chrono::seconds(5);
constexpr int kRoundsPerTurn = 16;

std::vector<std::unique_ptr<asio::io_context>> makeLoops(int workers) {
    std::vector<std::unique_ptr<asio::io_context>> loops;
    for (int i = 0; i < std::max(1, workers); ++i)
        loops.push_back(std::make_unique<asio::io_context>(1)); // each run by one thread
    return loops;
}

std::string describe(const sockaddr* addr) {
    char host[INET6_ADDRSTRLEN] = "?";
    if (addr->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(addr);
        inet_ntop(AF_INET, &in->sin_addr, host, sizeof host);
        return std::string(host) + ":" + std::to_string(ntohs(in->sin_port));
    }
    if (addr->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(addr);
        inet_ntop(AF_INET6, &in6->sin6_addr, host, sizeof host);
        return "[" + std::string(host) + "]:" + std::to_string(ntohs(in6->sin6_port));
    }
    return host;
}

std::string describe(const tcp::endpoint& endpoint) {
    return describe(endpoint.data());
}

bool blank(std::string_view line) {
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

bool wouldBlock(const boost::system::error_code& ec) {
    return ec == asio::error::would_block || ec == asio::error::try_again;
}

} // namespace

// One client connection. Its handlers never run at the same time (it has at most one operation
// pending), so its state needs no lock; only the sweeper and stop() reach it from outside, and they only
// shut its socket down, under the server's mutex.
class Server::Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(Server& server, tcp::socket socket, std::string peer)
        : server_(server), socket_(std::move(socket)), peer_(std::move(peer)),
          session_(server.context_, peer_), opened_(std::chrono::steady_clock::now()) {}

    void start() {
        spdlog::info("{}: conexão aberta", peer_);
        boost::system::error_code ec;
        socket_.non_blocking(true, ec);
        socket_.set_option(tcp::no_delay(true), ec);
        pump();
    }

    // Shuts the socket down from outside (stop, sweeper); the connection's own handlers then see the
    // end of the stream. Called under the server's mutex, so the descriptor is still this socket's.
    void shutdown(int how) {
        if (socket_.is_open()) ::shutdown(socket_.native_handle(), how);
    }
    bool authenticated() const { return authenticated_; }
    std::chrono::steady_clock::time_point opened() const { return opened_; }
    void closeSocket() {
        boost::system::error_code ec;
        socket_.close(ec);
    }

private:
    enum class Next { Read, Wait, Finish };

    // Reads what has arrived and answers every complete line, until the socket has nothing more, the
    // answers pile up, or the connection must end; then writes the answers and carries on.
    void pump() {
        thread_local std::array<char, kReadChunk> chunk;
        for (int round = 0;; ++round) {
            if (closing_) return flush(Next::Finish);
            // A client that keeps sending gets its turn like the others, and its answers must drain.
            if (out_.size() >= kOutputHigh || round == kRoundsPerTurn) return flush(Next::Read);
            boost::system::error_code ec;
            const std::size_t n = socket_.read_some(asio::buffer(chunk), ec);
            if (wouldBlock(ec)) return flush(Next::Wait);
            if (ec) {
                if (discarding_) spdlog::debug("{}: {} bytes descartados", peer_, discarded_);
                return flush(Next::Finish);
            }
            absorb(std::string_view(chunk.data(), n));
            // A short read emptied the socket: the connection waits now, and the wait starts with a read
            // of its own, which also takes whatever arrived meanwhile.
            if (n < chunk.size() && !closing_) return flush(Next::Wait);
        }
    }

    void absorb(std::string_view data) {
        if (discarding_) {
            const auto nl = data.find('\n');
            if (nl == std::string_view::npos) {
                discarded_ += data.size();
                return;
            }
            discarding_ = false;
            data.remove_prefix(nl + 1);
        }
        in_.append(data);
        std::size_t start = 0;
        bool large = false;
        while (!closing_) {
            const auto nl = in_.find('\n', scanned_);
            if (nl == std::string::npos) break;
            std::string_view line(in_.data() + start, nl - start);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (line.size() > session_.maxLineBytes())
                answer(session_.refuseOversized(line.size()));
            else if (!blank(line))
                answer(session_.handle(line));
            large = large || line.size() >= kLargeLine;
            start = nl + 1;
            scanned_ = start;
        }
        if (closing_) {
            in_.clear();
            return;
        }
        in_.erase(0, start);
        scanned_ = in_.size();
        if (in_.size() > session_.maxLineBytes()) {
            // Answered at once; the rest of the line is dropped as it arrives and the connection goes on.
            answer(session_.refuseOversized(in_.size()));
            discarding_ = !closing_;
            discarded_ = in_.size();
            large = true;
        }
        if (large) {
            // A huge line's buffers go back to the system rather than staying with this connection or in
            // the allocator's free lists.
            if (discarding_)
                in_ = std::string();
            else
                std::string(in_).swap(in_);
            scanned_ = in_.size();
            ::malloc_trim(0);
        }
    }

    void answer(ClientSession::Answer a) {
        if (!a.line.empty()) {
            out_ += a.line;
            out_.push_back('\n');
        }
        if (a.close) closing_ = true;
        authenticated_ = session_.connected();
    }

    // Writes the pending answers without waiting if the socket takes them, else in the background.
    void flush(Next next) {
        while (written_ < out_.size()) {
            boost::system::error_code ec;
            const std::size_t n =
                socket_.write_some(asio::buffer(out_.data() + written_, out_.size() - written_), ec);
            if (wouldBlock(ec)) {
                asio::async_write(socket_, asio::buffer(out_.data() + written_, out_.size() - written_),
                                  [self = shared_from_this(), next](const boost::system::error_code& error,
                                                                    std::size_t) {
                                      if (error) return self->finish();
                                      self->out_.clear();
                                      self->written_ = 0;
                                      self->proceed(next);
                                  });
                return;
            }
            if (ec) return finish();
            written_ += n;
        }
        out_.clear();
        written_ = 0;
        if (out_.capacity() > kOutputHigh) out_ = std::string();
        proceed(next);
    }

    void proceed(Next next) {
        switch (next) {
        case Next::Read:
            // Through the queue rather than recursion: a client flooding requests cannot deepen the stack.
            asio::post(socket_.get_executor(), [self = shared_from_this()] { self->pump(); });
            return;
        case Next::Wait:
            // A read attempted at once and, when nothing is there, completed by the event loop into a
            // small buffer of the connection's own: cheaper per call than waiting for readiness and then
            // reading.
            socket_.async_read_some(asio::buffer(first_),
                                    [self = shared_from_this()](const boost::system::error_code& ec, std::size_t n) {
                                        if (ec) return self->flush(Next::Finish);
                                        self->absorb(std::string_view(self->first_.data(), n));
                                        if (self->closing_) return self->flush(Next::Finish);
                                        if (n < self->first_.size()) return self->flush(Next::Wait);
                                        self->pump();
                                    });
            return;
        case Next::Finish:
            finish();
            return;
        }
    }

    void finish() {
        if (finished_) return;
        finished_ = true;
        server_.release(*this);
        spdlog::info("{}: conexão encerrada", peer_);
    }

    Server& server_;
    tcp::socket socket_;
    std::string peer_;
    ClientSession session_;
    const std::chrono::steady_clock::time_point opened_;
    std::atomic<bool> authenticated_{false};
    std::string in_;
    std::size_t scanned_ = 0; // bytes of in_ already searched for a newline
    bool discarding_ = false; // inside an oversized line, dropping bytes up to its newline
    std::size_t discarded_ = 0;
    std::array<char, 1024> first_; // the first bytes of each request, read while the connection waits
    std::string out_;
    std::size_t written_ = 0;
    bool closing_ = false;
    bool finished_ = false;
};

Server::Server(const ServerContext& context, const ListenOptions& options)
    : context_(context), options_(options), loops_(makeLoops(options.workers)), acceptor_(*loops_[0]),
      sweeper_(*loops_[0]), retry_(*loops_[0]) {
    for (auto& loop : loops_)
        keepAlive_.push_back(asio::make_work_guard(*loop));
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(options.port);
    if (const int rc = getaddrinfo(options.address.c_str(), service.c_str(), &hints, &found); rc != 0)
        throw std::runtime_error("Endereço de escuta inválido \"" + options.address + "\": " + gai_strerror(rc));
    std::string lastError = "nenhum endereço";
    int listenFd = -1;
    int family = AF_INET;
    for (addrinfo* a = found; a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        const int yes = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, SOMAXCONN) == 0) {
            listenFd = fd;
            family = a->ai_family;
            break;
        }
        lastError = std::strerror(errno);
        ::close(fd);
    }
    freeaddrinfo(found);
    if (listenFd < 0)
        throw std::runtime_error("Não foi possível ouvir em " + options.address + ":" + service + ": " + lastError);
    acceptor_.assign(family == AF_INET6 ? tcp::v6() : tcp::v4(), listenFd);
    const std::string where = describe(acceptor_.local_endpoint());
    const auto colon = where.rfind(':');
    host_ = where.substr(0, colon);
    if (host_.size() > 1 && host_.front() == '[') host_ = host_.substr(1, host_.size() - 2);
    port_ = std::stoi(where.substr(colon + 1));
}

Server::~Server() {
    stop();
}

void Server::run() {
    accept();
    sweep();
    std::vector<std::thread> threads;
    const auto work = [](asio::io_context& loop) {
        for (;;) {
            try {
                loop.run();
                return;
            } catch (const std::exception& e) {
                spdlog::error("Falha inesperada num trabalhador do servidor: {}", e.what());
            }
        }
    };
    for (std::size_t i = 1; i < loops_.size(); ++i)
        threads.emplace_back(work, std::ref(*loops_[i]));
    work(*loops_[0]);
    for (auto& t : threads)
        t.join();
}

void Server::stop() {
    if (stopping_.exchange(true)) return;
    asio::post(*loops_[0], [this] {
        boost::system::error_code ec;
        acceptor_.close(ec);
        sweeper_.cancel();
        retry_.cancel();
        // Each loop ends once its connections have.
        for (auto& guard : keepAlive_)
            guard.reset();
        std::lock_guard lock(mutex_);
        // Each connection reads the end of its stream after the call it is running, answers it and closes.
        for (auto& [raw, weak] : live_)
            raw->shutdown(SHUT_RD);
        if (live_.empty()) return;
        // A client that does not read its answers would hold the server up: after a while, cut it off.
        sweeper_.expires_after(kStopGrace);
        sweeper_.async_wait([this](const boost::system::error_code& error) {
            if (error) return;
            std::lock_guard guard(mutex_);
            for (auto& [raw, weak] : live_)
                raw->shutdown(SHUT_RDWR);
        });
    });
}

void Server::accept() {
    // Connections are dealt to the workers in turn.
    asio::io_context& loop = *loops_[nextLoop_++ % loops_.size()];
    acceptor_.async_accept(loop, [this](const boost::system::error_code& ec, tcp::socket socket) {
        if (stopping_) return;
        if (ec) {
            if (ec == asio::error::operation_aborted) return;
            // Out of descriptors or memory: wait a moment instead of spinning on the same failure.
            spdlog::warn("Falha ao aceitar conexão: {}", ec.message());
            retry_.expires_after(std::chrono::milliseconds(100));
            retry_.async_wait([this](const boost::system::error_code& error) {
                if (!error) accept();
            });
            return;
        }
        std::size_t count = 0;
        {
            std::lock_guard lock(mutex_);
            count = live_.size();
        }
        if (count >= static_cast<std::size_t>(options_.maxConnections)) {
            refuse(std::move(socket));
        } else {
            boost::system::error_code error;
            const auto endpoint = socket.remote_endpoint(error);
            auto connection = std::make_shared<Connection>(*this, std::move(socket),
                                                           error ? std::string("?") : describe(endpoint));
            enroll(connection);
            connection->start();
        }
        accept();
    });
}

void Server::refuse(tcp::socket socket) {
    const std::string line =
        nlohmann::json{{"jsonrpc", "2.0"},
                       {"id", nullptr},
                       {"error",
                        {{"code", wire::rpc::kTooManyConnections},
                         {"message", "O servidor de aplicação atingiu o máximo de " +
                                         std::to_string(options_.maxConnections) +
                                         " conexões; tente de novo mais tarde."}}}}
            .dump() +
        "\n";
    boost::system::error_code ec;
    socket.non_blocking(true, ec);
    socket.write_some(asio::buffer(line), ec); // a fresh socket's buffer takes it whole, or it is lost
    socket.shutdown(tcp::socket::shutdown_both, ec);
    socket.close(ec);
    const auto now = std::chrono::steady_clock::now();
    if (now - lastRefusalLog_ > std::chrono::seconds(1)) {
        lastRefusalLog_ = now;
        spdlog::warn("Conexão recusada: o máximo de {} conexões foi atingido", options_.maxConnections);
    }
}

void Server::sweep() {
    sweeper_.expires_after(std::chrono::seconds(1));
    sweeper_.async_wait([this](const boost::system::error_code& ec) {
        if (ec || stopping_) return;
        const auto cutoff = std::chrono::steady_clock::now() - options_.connectDeadline;
        {
            std::lock_guard lock(mutex_);
            for (auto& [raw, weak] : live_)
                if (!raw->authenticated() && raw->opened() < cutoff) raw->shutdown(SHUT_RDWR);
        }
        sweep();
    });
}

void Server::enroll(const std::shared_ptr<Connection>& connection) {
    std::lock_guard lock(mutex_);
    live_.emplace(connection.get(), connection);
}

void Server::release(Connection& connection) {
    std::lock_guard lock(mutex_);
    connection.closeSocket();
    live_.erase(&connection);
    // The last connection gone while stopping: nothing is left to cut off, and run() may return.
    if (stopping_ && live_.empty()) asio::post(*loops_[0], [this] { sweeper_.cancel(); });
}

} // namespace appserver
