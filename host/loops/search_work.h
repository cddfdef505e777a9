// The progress and cancel plumbing of one search: each stage reports its own fraction, which
// lands in the stage's share of the whole.
#pragma once

#include <atomic>
#include <functional>

namespace fogbell::loops {

class SearchWork {
  public:
    SearchWork(const std::function<void(double)>& progress, const std::atomic<bool>* cancel)
        : progress_(progress), cancel_(cancel) {}

    // Whether the caller asked the search to stop.
    bool Cancelled() const {
        return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed);
    }

    // The next stage covers [from, to) of the whole.
    void Stage(double from, double to) {
        from_ = from;
        to_ = to;
        Report(0.0);
    }

    // Reports fraction (0 to 1) of the current stage, when the caller listens.
    void Report(double fraction) const {
        if (progress_) {
            progress_(from_ + (to_ - from_) * fraction);
        }
    }

  private:
    const std::function<void(double)>& progress_;
    const std::atomic<bool>* cancel_;
    double from_ = 0.0;
    double to_ = 0.0;
};

}  // namespace fogbell::loops
