#pragma once

// Threads for work that blocks (an API call waits for its session's handler, which may wait for the
// application server), so that the threads doing network I/O never do. The pool grows on demand up to
// its limit; past it, tasks wait in arrival order for a free thread.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace host {

class WorkerPool {
public:
    explicit WorkerPool(std::size_t maxThreads);
    ~WorkerPool(); // stop()
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Queues a task; false once the pool is stopping (the task is dropped).
    bool post(std::function<void()> task);
    // Drops the tasks not yet started, waits for the running ones and ends every thread.
    void stop();
    std::size_t threads() const;

private:
    void work();

    const std::size_t maxThreads_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    std::vector<std::thread> threads_;
    std::size_t idle_ = 0;
    bool stopping_ = false;
};

} // namespace host
