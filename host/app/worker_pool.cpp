#include "host/app/worker_pool.h"

#include <system_error>

namespace fogbell {

WorkerPool::WorkerPool(Post post, std::function<void()> lastEnded)
    : post_(std::move(post)), lastEnded_(std::move(lastEnded)) {}

WorkerPool::~WorkerPool() {
    WaitForAll();
}

bool WorkerPool::Launch(Body body, std::string& error) {
    ++running_;
    const std::uint64_t id = ++lastId_;
    try {
        threads_.emplace(id, startThread_([this, id, body = std::move(body)] {
                             std::function<void()> report = body();
                             post_([this, alive = std::weak_ptr(alive_), id, report] {
                                 if (alive.expired()) {
                                     return;
                                 }
                                 report();
                                 End(id);
                             });
                         }));
    } catch (const std::system_error& failure) {
        error = failure.code().message();
        End(id);
        return false;
    }
    return true;
}

void WorkerPool::End(std::uint64_t id) {
    // The thread posted its end as its last step: the join waits for its return at most.
    if (auto thread = threads_.find(id); thread != threads_.end()) {
        if (thread->second.joinable()) {
            thread->second.join();
        }
        threads_.erase(thread);
    }
    if (--running_ == 0 && lastEnded_) {
        lastEnded_();
    }
}

void WorkerPool::WaitForAll() {
    for (auto& [id, thread] : threads_) {
        if (thread.joinable()) {
            thread.join();
        }
    }
    threads_.clear();
}

}  // namespace fogbell
