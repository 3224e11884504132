#include "app/BackgroundRunner.h"

namespace velmora {

BackgroundRunner::BackgroundRunner(size_t threads) {
    for (size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { worker(); });
}

BackgroundRunner::~BackgroundRunner() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    cv_.notify_all();
    for (auto& t : threads_) t.join();
}

void BackgroundRunner::run(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(work));
    }
    cv_.notify_one();
}

bool BackgroundRunner::stopping() {
    std::lock_guard lock(mutex_);
    return stopping_;
}

void BackgroundRunner::worker() {
    while (true) {
        std::function<void()> work;
        {
            std::unique_lock lock(mutex_);
            cv_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return; // stopping and nothing left
            work = std::move(queue_.front());
            queue_.pop_front();
        }
        work();
    }
}

} // namespace velmora
