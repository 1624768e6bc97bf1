#include "Trace.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace appserver {

Trace::Trace(const std::string& path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0)
        throw std::runtime_error("Não foi possível abrir o arquivo de rastreamento " + path + ": " +
                                 std::strerror(errno));
}

Trace::~Trace() {
    if (fd_ >= 0) ::close(fd_);
}

void Trace::write(std::string line) {
    line.push_back('\n');
    std::lock_guard lock(mutex_);
    const char* p = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return; // a full disk must not take the server down with it
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

} // namespace appserver
