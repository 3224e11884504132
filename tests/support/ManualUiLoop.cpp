#include "support/ManualUiLoop.h"

namespace velmora::testing {

UiLoop::TimerId ManualUiLoop::startTimer(std::chrono::milliseconds interval, bool repeating,
                                         std::function<void()> fire) {
    TimerId id = next_++;
    timers_[id] = Timer{now_ + interval, interval, repeating, std::move(fire)};
    return id;
}

size_t ManualUiLoop::drain() {
    size_t ran = 0;
    while (!tasks_.empty()) {
        auto task = std::move(tasks_.front());
        tasks_.pop_front();
        task();
        ++ran;
    }
    return ran;
}

void ManualUiLoop::advance(std::chrono::milliseconds by) {
    const auto target = now_ + by;
    drain();
    for (;;) {
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (it->second.due <= target && (next == timers_.end() || it->second.due < next->second.due)) next = it;
        if (next == timers_.end()) break;
        now_ = next->second.due;
        auto fire = next->second.fire;
        if (next->second.repeating) {
            next->second.due += next->second.interval;
        } else {
            timers_.erase(next);
        }
        fire();
        drain();
    }
    now_ = target;
}

} // namespace velmora::testing
