#include "SessionRegistry.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <malloc.h>
#include <spdlog/spdlog.h>
#include <sys/random.h>

namespace host {

std::string newSessionId() {
    unsigned char bytes[16];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error(std::string("getrandom falhou: ") + std::strerror(errno));
        }
        got += static_cast<std::size_t>(n);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string id;
    id.reserve(32);
    for (unsigned char b : bytes) {
        id.push_back(kHex[b >> 4]);
        id.push_back(kHex[b & 0xF]);
    }
    return id;
}

SessionRegistry::SessionRegistry(ScreenFactory factory, RegistryOptions options)
    : factory_(std::move(factory)), options_(options) {
    janitor_ = std::thread([this] { janitor(); });
}

SessionRegistry::~SessionRegistry() {
    closeAll();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    janitor_.join();
}

std::shared_ptr<Session> SessionRegistry::create() {
    std::string id;
    {
        std::lock_guard lock(mutex_);
        if (sessions_.size() >= options_.maxSessions)
            throw TooManySessions("Limite de " + std::to_string(options_.maxSessions) + " sessões atingido.");
        do
            id = newSessionId();
        while (sessions_.count(id));
        // Reserve the id before the (slower) thread start, so the limit holds under concurrency.
        sessions_[id] = nullptr;
    }
    std::shared_ptr<Session> session;
    try {
        session = std::make_shared<Session>(id, factory_, options_.session);
    } catch (...) {
        std::lock_guard lock(mutex_);
        sessions_.erase(id);
        throw;
    }
    std::lock_guard lock(mutex_);
    sessions_[id] = session;
    spdlog::info("sessão {} criada ({} abertas)", id.substr(0, 8), sessions_.size());
    return session;
}

std::shared_ptr<Session> SessionRegistry::find(const std::string& id) const {
    std::lock_guard lock(mutex_);
    auto it = sessions_.find(id);
    return it == sessions_.end() ? nullptr : it->second;
}

std::size_t SessionRegistry::size() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(sessions_.begin(), sessions_.end(),
                                                  [](const auto& entry) { return entry.second != nullptr; }));
}

bool SessionRegistry::close(const std::string& id) {
    std::shared_ptr<Session> session;
    {
        std::lock_guard lock(mutex_);
        auto it = sessions_.find(id);
        if (it == sessions_.end() || !it->second) return false;
        session = std::move(it->second);
        sessions_.erase(it);
    }
    if (!session->close(options_.closeGrace))
        spdlog::warn("sessão {} ainda ocupada; será encerrada ao fim da chamada em curso", id.substr(0, 8));
    else
        spdlog::info("sessão {} fechada", id.substr(0, 8));
    bury(std::move(session));
    return true;
}

std::size_t SessionRegistry::expireIdle(std::chrono::steady_clock::time_point now) {
    std::vector<std::shared_ptr<Session>> expired;
    {
        std::lock_guard lock(mutex_);
        for (auto it = sessions_.begin(); it != sessions_.end();) {
            if (it->second && now - it->second->lastActivity() > options_.idleTimeout) {
                expired.push_back(std::move(it->second));
                it = sessions_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& session : expired) {
        spdlog::info("sessão {} expirou por inatividade", session->id().substr(0, 8));
        session->close(std::chrono::milliseconds(0));
        bury(std::move(session));
    }
    return expired.size();
}

void SessionRegistry::bury(std::shared_ptr<Session> session) {
    std::lock_guard lock(mutex_);
    closing_.push_back(std::move(session));
}

std::size_t SessionRegistry::reap() {
    std::vector<std::shared_ptr<Session>> done;
    {
        std::lock_guard lock(mutex_);
        auto split = std::stable_partition(closing_.begin(), closing_.end(),
                                           [](const auto& s) { return !s->ended(); });
        done.assign(std::make_move_iterator(split), std::make_move_iterator(closing_.end()));
        closing_.erase(split, closing_.end());
    }
    const std::size_t count = done.size();
    done.clear(); // joins outside the lock
    // A session's screen, datasets and thread leave their pages free but mapped in the allocator's
    // arenas, where the process would keep them for good: give them back.
    if (count > 0) malloc_trim(0);
    return count;
}

void SessionRegistry::closeAll() {
    std::vector<std::shared_ptr<Session>> all;
    {
        std::lock_guard lock(mutex_);
        for (auto& [id, session] : sessions_)
            if (session) all.push_back(std::move(session));
        sessions_.clear();
        all.insert(all.end(), std::make_move_iterator(closing_.begin()),
                   std::make_move_iterator(closing_.end()));
        closing_.clear();
    }
    for (auto& session : all)
        session->close(std::chrono::milliseconds(0));
    for (auto& session : all)
        session->join();
}

void SessionRegistry::janitor() {
    using namespace std::chrono;
    // At most a second late, however long the timeout.
    const auto interval = std::clamp<milliseconds>(duration_cast<milliseconds>(options_.idleTimeout) / 4,
                                                   milliseconds(50), milliseconds(1000));
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        wake_.wait_for(lock, interval);
        if (stopping_) break;
        lock.unlock();
        expireIdle();
        reap();
        lock.lock();
    }
}

} // namespace host
