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

SessionRegistry::SessionRegistry(ScreenMaker maker, RegistryOptions options)
    : maker_(std::move(maker)), options_(options) {
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

std::shared_ptr<Session> SessionRegistry::create(const Identity& who) {
    std::string id;
    {
        std::lock_guard lock(mutex_);
        if (sessions_.size() >= options_.maxSessions)
            throw TooManySessions("Limite de " + std::to_string(options_.maxSessions) + " sessões atingido.");
        const auto mine = static_cast<std::size_t>(std::count_if(
            sessions_.begin(), sessions_.end(), [&](const auto& entry) { return entry.second.user == who.user; }));
        if (mine >= options_.maxSessionsPerUser) throw TooManyUserSessions(options_.maxSessionsPerUser);
        do
            id = newSessionId();
        while (sessions_.count(id));
        // Reserve the id before the (slower) thread start, so the limits hold under concurrency.
        sessions_[id] = Entry{nullptr, who.user, who.login};
    }
    std::shared_ptr<Session> session;
    try {
        session = std::make_shared<Session>(id, [maker = maker_, who] { return maker(who); }, options_.session);
    } catch (...) {
        std::lock_guard lock(mutex_);
        sessions_.erase(id);
        throw;
    }
    std::lock_guard lock(mutex_);
    sessions_[id] = Entry{session, who.user, who.login};
    spdlog::info("sessão {} criada para {} ({} abertas)", id.substr(0, 8), who.user, sessions_.size());
    return session;
}

std::shared_ptr<Session> SessionRegistry::find(const std::string& id, const std::string& login) const {
    std::lock_guard lock(mutex_);
    auto it = sessions_.find(id);
    return it == sessions_.end() || it->second.login != login ? nullptr : it->second.session;
}

std::size_t SessionRegistry::size() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(sessions_.begin(), sessions_.end(),
                                                  [](const auto& entry) { return entry.second.session != nullptr; }));
}

std::size_t SessionRegistry::sizeOf(const std::string& user) const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(sessions_.begin(), sessions_.end(), [&](const auto& entry) {
        return entry.second.session != nullptr && entry.second.user == user;
    }));
}

void SessionRegistry::end(std::shared_ptr<Session> session, const char* why) {
    const std::string shortId = session->id().substr(0, 8);
    if (!session->close(options_.closeGrace))
        spdlog::warn("sessão {} ainda ocupada; será encerrada ao fim da chamada em curso", shortId);
    else
        spdlog::info("sessão {} {}", shortId, why);
    bury(std::move(session));
}

bool SessionRegistry::close(const std::string& id, const std::string& login) {
    std::shared_ptr<Session> session;
    {
        std::lock_guard lock(mutex_);
        auto it = sessions_.find(id);
        if (it == sessions_.end() || !it->second.session || it->second.login != login) return false;
        session = std::move(it->second.session);
        sessions_.erase(it);
    }
    end(std::move(session), "fechada");
    return true;
}

std::size_t SessionRegistry::closeLogin(const std::string& login) {
    std::vector<std::shared_ptr<Session>> ending;
    {
        std::lock_guard lock(mutex_);
        for (auto it = sessions_.begin(); it != sessions_.end();) {
            if (it->second.session && it->second.login == login) {
                ending.push_back(std::move(it->second.session));
                it = sessions_.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Asked to end at once, then waited for together: a logout with many screens waits once.
    for (auto& session : ending)
        session->close(std::chrono::milliseconds(0));
    for (auto& session : ending)
        end(session, "fechada com o fim do login");
    return ending.size();
}

std::size_t SessionRegistry::expireIdle(std::chrono::steady_clock::time_point now) {
    std::vector<std::shared_ptr<Session>> expired;
    {
        std::lock_guard lock(mutex_);
        for (auto it = sessions_.begin(); it != sessions_.end();) {
            if (it->second.session && now - it->second.session->lastActivity() > options_.idleTimeout) {
                expired.push_back(std::move(it->second.session));
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
        for (auto& [id, entry] : sessions_)
            if (entry.session) all.push_back(std::move(entry.session));
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
