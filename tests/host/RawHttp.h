#pragma once

// A bare TCP client for the HTTP tests: sends bytes exactly as given (no library fixes up a request) and
// parses answers one by one, so that pipelining, partial requests and framing faults can be driven.

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace hosttest {

struct RawAnswer {
    int status = 0; // 0: no answer (closed or timed out)
    std::map<std::string, std::string> headers; // names lowercased
    std::string body;
    std::string header(const std::string& name) const {
        auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
};

class RawConnection {
public:
    explicit RawConnection(int port, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            throw std::runtime_error("connect failed");
        int yes = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        setTimeout(timeout);
    }
    ~RawConnection() {
        if (fd_ >= 0) ::close(fd_);
    }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    void setTimeout(std::chrono::milliseconds timeout) {
        timeval tv{static_cast<time_t>(timeout.count() / 1000), static_cast<suseconds_t>(timeout.count() % 1000 * 1000)};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }

    // False once the peer has closed or reset the connection.
    bool send(const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }

    // Whether an answer (or the close) is waiting to be read right now.
    bool readable(std::chrono::milliseconds wait = std::chrono::milliseconds(0)) {
        if (!buffer_.empty()) return true;
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, static_cast<int>(wait.count())) > 0;
    }

    // The next answer on the connection (Content-Length framing, as the host always sends).
    RawAnswer read() {
        RawAnswer answer;
        std::size_t end;
        while ((end = buffer_.find("\r\n\r\n")) == std::string::npos)
            if (!fill()) return answer;
        const std::string head = buffer_.substr(0, end);
        std::size_t length = 0;
        std::size_t lineStart = head.find("\r\n");
        answer.status = std::atoi(head.c_str() + 9);
        while (lineStart != std::string::npos) {
            lineStart += 2;
            const auto lineEnd = head.find("\r\n", lineStart);
            const std::string line = head.substr(lineStart, lineEnd - lineStart);
            const auto colon = line.find(':');
            if (colon != std::string::npos) {
                std::string name = line.substr(0, colon);
                for (auto& c : name)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                std::string value = line.substr(colon + 1);
                value.erase(0, value.find_first_not_of(' '));
                answer.headers[name] = value;
            }
            lineStart = lineEnd;
        }
        if (answer.status == 100) {
            buffer_.erase(0, end + 4);
            return answer;
        }
        length = answer.headers.count("content-length") ? std::stoul(answer.headers["content-length"]) : 0;
        while (buffer_.size() < end + 4 + length)
            if (!fill()) return RawAnswer{};
        answer.body = buffer_.substr(end + 4, length);
        buffer_.erase(0, end + 4 + length);
        return answer;
    }

    // True when the peer closed the connection (end of stream or reset) before the timeout.
    bool closedByPeer() {
        if (!buffer_.empty()) return false;
        char c;
        const ssize_t n = ::recv(fd_, &c, 1, 0);
        if (n == 0) return true;
        if (n < 0) return errno == ECONNRESET;
        buffer_.push_back(c);
        return false;
    }

private:
    bool fill() {
        char chunk[16384];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    int fd_ = -1;
    std::string buffer_;
};

} // namespace hosttest
