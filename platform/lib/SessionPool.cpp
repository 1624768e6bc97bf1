#include "lib/SessionPool.h"

#include <algorithm>
#include <map>

namespace lib {

namespace {

std::mutex registryMutex;
// Weak: a pool lives as long as a client holds it, not for the rest of the process.
std::map<std::string, std::weak_ptr<SessionPool>, std::less<>>& registry() {
    static std::map<std::string, std::weak_ptr<SessionPool>, std::less<>> pools;
    return pools;
}

} // namespace

std::shared_ptr<SessionPool> SessionPool::shared(const std::string& url, PoolOptions options) {
    std::lock_guard lock(registryMutex);
    auto& pools = registry();
    std::erase_if(pools, [](const auto& entry) { return entry.second.expired(); });
    if (auto it = pools.find(url); it != pools.end())
        if (auto pool = it->second.lock()) return pool;
    auto pool = std::make_shared<SessionPool>(url, options);
    pools[url] = pool;
    return pool;
}

SessionPool::SessionPool(std::string url, PoolOptions options) : url_(std::move(url)), options_(options) {
    dialect_ = connectTarget(url_).dialect;
    const auto refuse = [&](const std::string& why) {
        throw DatabaseError(DatabaseError::Kind::Configuration, "A configuração da base de dados é inválida.",
                            why + " (" + redactedURL(url_) + ")");
    };
    if (dialect_ == Dialect::SQLite && url_ == "sqlite::memory:")
        refuse("uma base em memória não pode ser compartilhada entre sessões");
    if (options_.size == 0) refuse("o pool de sessões precisa de ao menos uma sessão");
}

SessionPool::~SessionPool() = default;

SessionLease SessionPool::borrow() {
    std::unique_lock lock(mutex_);
    const auto canLend = [this] { return !idle_.empty() || sessions_.size() + reserved_ < options_.size; };
    if (!canLend()) {
        ++waits_;
        if (!available_.wait_for(lock, options_.borrowTimeout, canLend)) {
            ++timeouts_;
            throw DatabaseError(DatabaseError::Kind::Busy,
                                "A base de dados está ocupada; tente novamente em instantes.",
                                "nenhuma das " + std::to_string(options_.size) + " sessões de " + redactedURL(url_) +
                                    " ficou livre em " + std::to_string(options_.borrowTimeout.count()) + " ms");
        }
    }
    if (!idle_.empty()) {
        Database* session = idle_.back();
        idle_.pop_back();
        return lend(*session, true);
    }
    // Connecting takes a round trip or more: other borrowers go on meanwhile, the slot is held.
    ++reserved_;
    lock.unlock();
    std::unique_ptr<Database> session;
    try {
        session = std::make_unique<Database>(url_);
    } catch (...) {
        lock.lock();
        --reserved_;
        lock.unlock();
        available_.notify_one();
        throw;
    }
    lock.lock();
    --reserved_;
    ++opened_;
    Database& opened = *session;
    sessions_.push_back(std::move(session));
    return lend(opened, false);
}

void SessionPool::giveBack(Database& session, bool broken) noexcept {
    std::unique_ptr<Database> dropped; // closed after the lock is released
    {
        std::lock_guard lock(mutex_);
        if (broken) {
            const auto it = std::find_if(sessions_.begin(), sessions_.end(),
                                         [&](const auto& owned) { return owned.get() == &session; });
            dropped = std::move(*it);
            sessions_.erase(it);
            ++discarded_;
            droppedPrepares_ += dropped->prepareCount();
        } else {
            idle_.push_back(&session);
        }
    }
    available_.notify_one();
}

SessionPool::Stats SessionPool::stats() const {
    std::lock_guard lock(mutex_);
    Stats stats;
    stats.open = sessions_.size();
    stats.idle = idle_.size();
    stats.opened = opened_;
    stats.discarded = discarded_;
    stats.prepares = droppedPrepares_;
    for (const auto& session : sessions_)
        stats.prepares += session->prepareCount();
    stats.waits = waits_;
    stats.timeouts = timeouts_;
    return stats;
}

} // namespace lib
