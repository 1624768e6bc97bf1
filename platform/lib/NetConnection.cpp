#include "lib/NetConnection.h"

#include "lib/Morvala.h"
#include "wire/Packet.h"
#include "wire/Rpc.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace lib {

using nlohmann::json;

namespace {

// Large data packets are a few megabytes; anything near this is a broken or hostile peer.
constexpr std::size_t kMaxAnswerBytes = 256u * 1024 * 1024;
constexpr std::size_t kReadChunk = 64 * 1024;

std::string errorText(int err) {
    return std::generic_category().message(err);
}

std::string durationText(std::chrono::milliseconds d) {
    if (d.count() < 1000 || d.count() % 1000 != 0) return std::to_string(d.count()) + " ms";
    return std::to_string(d.count() / 1000) + " s";
}

void setReceiveTimeout(int fd, std::chrono::milliseconds timeout) {
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

// Connects one address within the timeout; returns the socket or -1 with `err` set.
int connectOne(const addrinfo& ai, std::chrono::milliseconds timeout, int& err) {
    const int fd = ::socket(ai.ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        err = errno;
        return -1;
    }
    if (::connect(fd, ai.ai_addr, ai.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            err = errno;
            ::close(fd);
            return -1;
        }
        pollfd pfd{fd, POLLOUT, 0};
        int ready;
        do
            ready = ::poll(&pfd, 1, static_cast<int>(timeout.count()));
        while (ready < 0 && errno == EINTR);
        if (ready <= 0) {
            err = ready == 0 ? ETIMEDOUT : errno;
            ::close(fd);
            return -1;
        }
        socklen_t len = sizeof err;
        err = 0;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err != 0) {
            ::close(fd);
            return -1;
        }
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

} // namespace

TNetConnection::TNetConnection() = default;

TNetConnection::~TNetConnection() {
    closeSocket();
}

void TNetConnection::setReadTimeout(std::chrono::milliseconds timeout) {
    readTimeout_ = timeout;
    if (fd_ >= 0) setReceiveTimeout(fd_, readTimeout_);
}

std::string TNetConnection::endpoint() const {
    const bool v6 = host_.find(':') != std::string::npos;
    return (v6 ? "[" + host_ + "]" : host_) + ":" + std::to_string(port_);
}

void TNetConnection::setConnected(bool on) {
    if (!on) {
        wanted_ = false;
        closeSocket();
        return;
    }
    if (fd_ >= 0) return;
    wanted_ = true;
    try {
        open();
    } catch (const ConnectionError& e) {
        lastError_ = e.what();
        if (throwException_) {
            wanted_ = false;
            throw;
        }
    } catch (...) {
        // Anything but an unreachable server (a broken configuration read by BeforeConnect) is not
        // covered by ThrowException.
        wanted_ = false;
        throw;
    }
}

json TNetConnection::AppServer(const std::string& op, json params) {
    if (!wanted_)
        throw ConnectionError("Não há conexão aberta com o servidor de aplicação (" + serverName_ +
                              "); a chamada " + op + " não foi feita.");
    if (fd_ >= 0 && peerClosed()) closeSocket();
    if (fd_ < 0) {
        try {
            open();
        } catch (const ConnectionError& e) {
            lastError_ = e.what();
            throw;
        }
    }
    json answer = roundTrip(op, params);
    // The server stopped accepting this connection's credential (expired, revoked): the next call
    // connects again with whatever credential the client holds by then.
    if (const auto error = answer.find("error"); error != answer.end() && error->is_object() &&
                                                 error->value("code", 0) == wire::rpc::kNotAuthenticated)
        closeSocket();
    return answer;
}

void TNetConnection::open() {
    if (BeforeConnect) BeforeConnect(*this);
    json params = {{"server", serverName_}};
    // The current client's credential, read at every connect: a client whose user logged in again
    // reconnects with the new one.
    if (auto credential = Morvala::AppServerCredential())
        params[credential->kind == Morvala::Credential::Kind::Ticket ? "ticket" : "token"] =
            std::move(credential->secret);
    openSocket();
    const json answer = roundTrip("connect", params);
    if (answer.contains("error")) {
        const auto& error = answer["error"];
        std::string message = error.is_object() && error.contains("message") && error["message"].is_string()
                                  ? error["message"].get<std::string>()
                                  : error.dump();
        fail("O servidor de aplicação " + endpoint() + " recusou a conexão ao objeto " + serverName_ + ": " +
             message);
    }
    lastError_.clear();
}

void TNetConnection::openSocket() {
    closeSocket();
    const std::string prefix = "Não foi possível conectar ao servidor de aplicação " + endpoint() + ": ";
    if (port_ < 1 || port_ > 65535) throw ConnectionError(prefix + "porta inválida");
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port_);
    if (const int rc = ::getaddrinfo(host_.c_str(), service.c_str(), &hints, &found); rc != 0)
        throw ConnectionError(prefix + (rc == EAI_SYSTEM ? errorText(errno) : ::gai_strerror(rc)));
    int err = EHOSTUNREACH;
    for (const addrinfo* ai = found; ai && fd_ < 0; ai = ai->ai_next)
        fd_ = connectOne(*ai, connectTimeout_, err);
    ::freeaddrinfo(found);
    if (fd_ < 0) throw ConnectionError(prefix + errorText(err));
    setReceiveTimeout(fd_, readTimeout_);
    in_.clear();
}

void TNetConnection::closeSocket() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool TNetConnection::peerClosed() const {
    char probe;
    const ssize_t n = ::recv(fd_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n < 0) return errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
    // End of stream, or bytes nobody asked for (a late answer to a call that timed out): either way
    // this stream cannot carry the next answer.
    return true;
}

void TNetConnection::fail(const std::string& message) {
    closeSocket();
    throw ConnectionError(message);
}

json TNetConnection::roundTrip(std::string_view op, const json& params) {
    const long long id = nextId_++;
    char idText[24];
    const auto idEnd = std::to_chars(idText, idText + sizeof idText, id).ptr;
    out_.clear();
    out_ += R"({"jsonrpc":"2.0","id":)";
    out_.append(idText, idEnd);
    out_ += R"(,"method":)";
    wire::appendJsonString(out_, op);
    out_ += R"(,"params":)";
    out_ += params.dump(-1, ' ', false, json::error_handler_t::replace);
    out_ += "}\n";

    for (std::size_t sent = 0; sent < out_.size();) {
        const ssize_t n = ::send(fd_, out_.data() + sent, out_.size() - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("Erro ao enviar a chamada " + std::string(op) + " ao servidor de aplicação " + endpoint() +
                 ": " + errorText(errno));
        }
        sent += static_cast<std::size_t>(n);
    }

    // in_ holds received bytes in [0, used); only one call is in flight, so nothing precedes the answer.
    const auto deadline = std::chrono::steady_clock::now() + readTimeout_;
    std::size_t used = 0;
    std::size_t lineEnd = std::string::npos;
    while (lineEnd == std::string::npos) {
        if (in_.size() - used < kReadChunk) in_.resize(std::max(in_.size() * 2, used + kReadChunk));
        const ssize_t n = ::recv(fd_, in_.data() + used, in_.size() - used, 0);
        if (n == 0)
            fail("A conexão com o servidor de aplicação " + endpoint() + " foi encerrada durante a chamada " +
                 std::string(op) + ".");
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                fail("O servidor de aplicação " + endpoint() + " não respondeu à chamada " + std::string(op) +
                     " em " + durationText(readTimeout_) + ".");
            fail("Erro ao receber a resposta da chamada " + std::string(op) + " do servidor de aplicação " +
                 endpoint() + ": " + errorText(errno));
        }
        const std::size_t from = used;
        used += static_cast<std::size_t>(n);
        const auto pos = std::string_view(in_.data() + from, used - from).find('\n');
        if (pos != std::string_view::npos)
            lineEnd = from + pos;
        else if (used > kMaxAnswerBytes)
            fail("A resposta do servidor de aplicação à chamada " + std::string(op) +
                 " excede o tamanho máximo.");
        else if (readTimeout_.count() > 0 && std::chrono::steady_clock::now() > deadline)
            fail("O servidor de aplicação " + endpoint() + " não respondeu à chamada " + std::string(op) +
                 " em " + durationText(readTimeout_) + ".");
    }
    if (lineEnd + 1 != used)
        fail("Resposta inesperada do servidor de aplicação " + endpoint() + " à chamada " + std::string(op) +
             ".");

    json answer = json::parse(in_.data(), in_.data() + lineEnd, nullptr, false);
    const bool wellFormed = answer.is_object() && answer.contains("id") && answer["id"] == id &&
                            (answer.contains("result") || answer.contains("error"));
    if (!wellFormed)
        fail("Resposta inválida do servidor de aplicação " + endpoint() + " à chamada " + std::string(op) +
             ".");
    // Keep the buffer's capacity but not a huge one a single big packet left behind.
    if (in_.size() > 4 * kReadChunk) {
        in_.clear();
        in_.shrink_to_fit();
    }
    return answer;
}

} // namespace lib
