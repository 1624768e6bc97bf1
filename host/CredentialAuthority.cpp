#include "CredentialAuthority.h"

#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <spdlog/spdlog.h>
#include <sys/socket.h>
#include <unistd.h>

namespace host {

using nlohmann::json;

namespace {

constexpr const char* kServerName = "Ger06600.rdmTipOper";
constexpr int kNotAuthenticated = -32003;
// Answers to Login, connect and Logout are a few hundred bytes; anything longer is not one.
constexpr std::size_t kMaxAnswerBytes = 64 * 1024;

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// One short conversation with the application server: JSON-RPC, one object per line each way.
class Line {
public:
    Line(const AppServerAuthorityOptions& options) : options_(options) {}
    ~Line() {
        if (fd_ >= 0) ::close(fd_);
    }
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    bool open() {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo* found = nullptr;
        const std::string port = std::to_string(options_.port);
        std::string host = options_.host;
        if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
        if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found) return false;
        const auto deadline = Clock::now() + options_.connectTimeout;
        for (addrinfo* a = found; a && fd_ < 0; a = a->ai_next) {
            const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
            if (fd < 0) continue;
            if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0 || (errno == EINPROGRESS && connected(fd, deadline))) {
                int yes = 1;
                ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
                fd_ = fd;
            } else {
                ::close(fd);
            }
        }
        ::freeaddrinfo(found);
        return fd_ >= 0;
    }

    // The answer to one call, or nullopt when the conversation broke (closed, timed out, not JSON).
    std::optional<json> call(const char* method, json params) {
        const json request{{"jsonrpc", "2.0"}, {"id", ++id_}, {"method", method}, {"params", std::move(params)}};
        const std::string text = request.dump() + "\n";
        const auto deadline = Clock::now() + options_.answerTimeout;
        if (!sendAll(text, deadline)) return std::nullopt;
        std::string line;
        if (!readLine(line, deadline)) return std::nullopt;
        json answer = json::parse(line, nullptr, false);
        if (!answer.is_object() || answer.value("id", json()) != json(id_)) return std::nullopt;
        return answer;
    }

private:
    static bool connected(int fd, Clock::time_point deadline) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, remainingMs(deadline)) != 1) return false;
        int error = 0;
        socklen_t size = sizeof error;
        return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    }

    bool wait(short events, Clock::time_point deadline) {
        pollfd p{fd_, events, 0};
        for (;;) {
            const int n = ::poll(&p, 1, remainingMs(deadline));
            if (n < 0 && errno == EINTR) continue;
            return n == 1;
        }
    }

    bool sendAll(const std::string& text, Clock::time_point deadline) {
        std::size_t sent = 0;
        while (sent < text.size()) {
            const ssize_t n = ::send(fd_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                if (!wait(POLLOUT, deadline)) return false;
            } else {
                return false;
            }
        }
        return true;
    }

    bool readLine(std::string& line, Clock::time_point deadline) {
        for (;;) {
            if (const auto end = pending_.find('\n'); end != std::string::npos) {
                line = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                return true;
            }
            if (pending_.size() > kMaxAnswerBytes) return false;
            char buffer[4096];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n > 0) {
                pending_.append(buffer, static_cast<std::size_t>(n));
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                if (!wait(POLLIN, deadline)) return false;
            } else {
                return false;
            }
        }
    }

    const AppServerAuthorityOptions& options_;
    int fd_ = -1;
    long long id_ = 0;
    std::string pending_;
};

// The user and role of a successful Login or connect; nullopt when the answer is not one.
std::optional<AuthAnswer> vouched(const json& answer) {
    const auto result = answer.find("result");
    if (result == answer.end() || !result->is_object()) return std::nullopt;
    const auto user = result->find("user");
    const auto role = result->find("role");
    if (user == result->end() || role == result->end() || !user->is_string() || !role->is_string())
        return std::nullopt;
    AuthAnswer out;
    out.status = AuthAnswer::Status::Ok;
    out.user = user->get<std::string>();
    out.role = role->get<std::string>();
    return out;
}

bool refusedAsUnauthenticated(const json& answer) {
    const auto error = answer.find("error");
    return error != answer.end() && error->is_object() && error->value("code", 0) == kNotAuthenticated;
}

AuthAnswer unavailable(const char* what) {
    spdlog::warn("servidor de aplicação indisponível para {}", what);
    return {};
}

AuthAnswer refused() {
    AuthAnswer out;
    out.status = AuthAnswer::Status::Refused;
    return out;
}

} // namespace

AuthAnswer AppServerAuthority::login(const std::string& user, const std::string& password) {
    Line line(options_);
    if (!line.open()) return unavailable("login");
    const auto answer = line.call("Login", json{{"user", user}, {"password", password}});
    if (!answer) return unavailable("login");
    if (refusedAsUnauthenticated(*answer)) return refused();
    auto out = vouched(*answer);
    const auto result = answer->find("result");
    if (!out || !result->contains("ticket") || !(*result)["ticket"].is_string()) return unavailable("login");
    out->credential = {Credential::Kind::Ticket, (*result)["ticket"].get<std::string>()};
    return *out;
}

AuthAnswer AppServerAuthority::check(const std::string& secret, std::optional<Credential::Kind> hint) {
    Line line(options_);
    if (!line.open()) return unavailable("conferir uma credencial");
    const Credential::Kind first = hint.value_or(Credential::Kind::Ticket);
    const Credential::Kind second = first == Credential::Kind::Ticket ? Credential::Kind::Token : Credential::Kind::Ticket;
    for (const Credential::Kind kind : {first, second}) {
        const auto answer = line.call(
            "connect", json{{"server", kServerName}, {kind == Credential::Kind::Ticket ? "ticket" : "token", secret}});
        if (!answer) return unavailable("conferir uma credencial");
        if (refusedAsUnauthenticated(*answer)) continue;
        auto out = vouched(*answer);
        if (!out) return unavailable("conferir uma credencial");
        out->credential = {kind, secret};
        return *out;
    }
    return refused();
}

bool AppServerAuthority::logout(const std::string& ticket) {
    Line line(options_);
    if (!line.open()) return false;
    const auto answer = line.call("Logout", json{{"ticket", ticket}});
    return answer && answer->contains("result");
}

} // namespace host
