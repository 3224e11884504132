#include "app/QueueUiLoop.h"

namespace velmora {

using Steady = std::chrono::steady_clock;

void QueueUiLoop::post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    cv_.notify_all();
}

UiLoop::TimerId QueueUiLoop::startTimer(std::chrono::milliseconds interval, bool repeating, std::function<void()> fire) {
    std::lock_guard lock(mutex_);
    TimerId id = nextTimer_++;
    timers_[id] = Timer{Steady::now() + interval, interval, repeating, std::move(fire)};
    cv_.notify_all();
    return id;
}

void QueueUiLoop::cancelTimer(TimerId id) {
    std::lock_guard lock(mutex_);
    timers_.erase(id);
}

void QueueUiLoop::quit() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    cv_.notify_all();
}

bool QueueUiLoop::runOne(std::unique_lock<std::mutex>& lock, bool wait, Steady::time_point deadline) {
    while (true) {
        if (!tasks_.empty()) {
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            lock.lock();
            return true;
        }
        auto now = Steady::now();
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (next == timers_.end() || it->second.due < next->second.due) next = it;
        if (next != timers_.end() && next->second.due <= now) {
            auto fire = next->second.fire;
            if (next->second.repeating)
                next->second.due = now + next->second.interval;
            else
                timers_.erase(next);
            lock.unlock();
            fire();
            lock.lock();
            return true;
        }
        if (!wait || quit_) return false;
        auto until = deadline;
        if (next != timers_.end() && next->second.due < until) until = next->second.due;
        if (cv_.wait_until(lock, until) == std::cv_status::timeout && Steady::now() >= deadline) return false;
    }
}

void QueueUiLoop::run(const std::function<bool()>& idle) {
    std::unique_lock lock(mutex_);
    while (!quit_) {
        if (idle && tasks_.empty()) {
            lock.unlock();
            bool stop = idle();
            lock.lock();
            if (stop) break;
        }
        runOne(lock, true, Steady::now() + std::chrono::milliseconds(idle ? 50 : 3600000));
    }
    quit_ = false;
}

size_t QueueUiLoop::drain() {
    std::unique_lock lock(mutex_);
    size_t n = 0;
    while (runOne(lock, false, Steady::now())) ++n;
    return n;
}

bool QueueUiLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    auto deadline = Steady::now() + timeout;
    std::unique_lock lock(mutex_);
    while (true) {
        lock.unlock();
        bool finished = done();
        lock.lock();
        if (finished) return true;
        if (Steady::now() >= deadline) return false;
        runOne(lock, true, std::min(deadline, Steady::now() + std::chrono::milliseconds(20)));
    }
}

} // namespace velmora
