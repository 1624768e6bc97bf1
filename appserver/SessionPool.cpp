#include "SessionPool.h"

#include <spdlog/spdlog.h>

namespace appserver {

SessionPool::Lease::~Lease() {
    if (!session_) return;
    if (!broken_ && !session_->store.database().usable()) broken_ = true;
    pool_->giveBack(std::move(session_), broken_);
}

SessionPool::SessionPool(DatabaseUrl url, std::size_t size, std::chrono::milliseconds wait)
    : url_(std::move(url)), size_(size), wait_(wait) {}

SessionPool::~SessionPool() = default;

SessionPool::Lease SessionPool::borrow() {
    std::unique_lock lock(mutex_);
    if (!available_.wait_for(lock, wait_, [this] { return !idle_.empty() || opened_ < size_; }))
        throw PoolExhausted("Todas as " + std::to_string(size_) + " sessões da base de dados estão em uso");
    if (!idle_.empty()) {
        auto session = std::move(idle_.back());
        idle_.pop_back();
        return Lease(*this, std::move(session));
    }
    // Opening takes a round trip to the database: the slot is taken now, the session made unlocked.
    ++opened_;
    lock.unlock();
    try {
        auto session = std::make_unique<Session>(url_);
        spdlog::debug("Sessão da base de dados aberta ({} de {})", opened(), size_);
        return Lease(*this, std::move(session));
    } catch (...) {
        lock.lock();
        --opened_;
        available_.notify_one();
        throw;
    }
}

void SessionPool::giveBack(std::unique_ptr<Session> session, bool broken) {
    if (broken) {
        spdlog::warn("Sessão da base de dados descartada: será aberta outra quando for preciso");
        session.reset(); // closed before the slot is offered again
    }
    std::lock_guard lock(mutex_);
    if (broken)
        --opened_;
    else
        idle_.push_back(std::move(session));
    available_.notify_one();
}

std::size_t SessionPool::opened() const {
    std::lock_guard lock(mutex_);
    return opened_;
}

} // namespace appserver
