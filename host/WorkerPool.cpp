#include "WorkerPool.h"

#include <algorithm>
#include <spdlog/spdlog.h>

namespace host {

WorkerPool::WorkerPool(std::size_t maxThreads) : maxThreads_(std::max<std::size_t>(maxThreads, 1)) {}

WorkerPool::~WorkerPool() {
    stop();
}

bool WorkerPool::post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return false;
        tasks_.push_back(std::move(task));
        // A new thread only when every thread is busy: idle ones take the task.
        if (idle_ < tasks_.size() && threads_.size() < maxThreads_) {
            threads_.emplace_back([this] { work(); });
            return true;
        }
    }
    wake_.notify_one(); // outside the lock, so the woken thread does not wait for it
    return true;
}

void WorkerPool::stop() {
    std::vector<std::thread> threads;
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        dropped.swap(tasks_);
        threads.swap(threads_);
    }
    wake_.notify_all();
    dropped.clear(); // outside the lock: a task's captures may take locks of their own when destroyed
    for (auto& thread : threads)
        thread.join();
}

std::size_t WorkerPool::threads() const {
    std::lock_guard lock(mutex_);
    return threads_.size();
}

void WorkerPool::work() {
    std::unique_lock lock(mutex_);
    while (true) {
        ++idle_;
        wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
        --idle_;
        if (stopping_) return;
        auto task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        try {
            task();
        } catch (const std::exception& ex) {
            spdlog::error("tarefa do servidor HTTP falhou: {}", ex.what());
        } catch (...) {
            spdlog::error("tarefa do servidor HTTP falhou");
        }
        task = nullptr; // release its captures before taking the lock again
        lock.lock();
    }
}

} // namespace host
