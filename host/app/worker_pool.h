// The worker threads of the window's commands: each runs a body on its own thread and hands
// what the body returns (its report) to the window thread, where the worker then ends. A worker's
// thread is joined as its end reaches the window thread, so threads never pile up.
//
// Every method runs on the window thread. A report may reach the window thread after the pool is
// gone (the window's event loop can outlive it): it then does nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

namespace fogbell {

// Starts a thread running body; throws std::system_error when no thread can be started (as
// std::thread does). The core starts its workers through one, so that tests can refuse them.
using ThreadStarter = std::function<std::thread(std::function<void()>)>;

class WorkerPool {
  public:
    // Runs on the worker; returns what the window thread does when the worker has ended.
    using Body = std::function<std::function<void()>()>;
    // Hands a task to the window thread.
    using Post = std::function<void(std::function<void()>)>;

    // lastEnded runs on the window thread after the report of the last running worker.
    WorkerPool(Post post, std::function<void()> lastEnded);
    // Waits for every thread.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Starts body on a thread of its own; it counts as running until its report has run on the
    // window thread. False with the system's reason when no thread can be started (nothing then
    // counts as started).
    bool Launch(Body body, std::string& error);
    // Blocks until every thread started so far has returned (tests and the command line).
    void WaitForAll();

    int Running() const { return running_; }
    // Threads not yet joined.
    std::size_t Threads() const { return threads_.size(); }
    void SetThreadStarter(ThreadStarter starter) { startThread_ = std::move(starter); }

  private:
    // Joins the worker's thread (when it has one) and, after the last, runs lastEnded.
    void End(std::uint64_t id);

    Post post_;
    std::function<void()> lastEnded_;
    ThreadStarter startThread_ = [](std::function<void()> body) {
        return std::thread(std::move(body));
    };
    std::map<std::uint64_t, std::thread> threads_;
    std::uint64_t lastId_ = 0;
    int running_ = 0;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace fogbell
