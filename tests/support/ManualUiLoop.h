#pragma once

#include "app/UiLoop.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <map>

namespace velmora::testing {

// A UI loop whose clock only moves when a test says so: posted tasks run on drain(), timers
// fire on advance(). Single-threaded; lets tests cover 60-second delays without waiting.
class ManualUiLoop final : public UiLoop {
public:
    void post(std::function<void()> task) override { tasks_.push_back(std::move(task)); }
    TimerId startTimer(std::chrono::milliseconds interval, bool repeating, std::function<void()> fire) override {
        timers_[next_] = Timer{now_ + interval, interval, repeating, std::move(fire)};
        return next_++;
    }
    void cancelTimer(TimerId id) override { timers_.erase(id); }

    // Runs posted tasks, and the tasks they post, until none is left.
    void drain() {
        while (!tasks_.empty()) {
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            task();
        }
    }

    // Moves time forward, firing every timer that falls due (in order) and draining after each.
    void advance(std::chrono::milliseconds by) {
        const auto target = now_ + by;
        drain();
        for (;;) {
            // Of timers due at the same moment, the one started first fires first.
            auto next = std::min_element(timers_.begin(), timers_.end(),
                                         [](const auto& a, const auto& b) { return a.second.due < b.second.due; });
            if (next == timers_.end() || next->second.due > target) break;
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

private:
    struct Timer {
        std::chrono::milliseconds due, interval;
        bool repeating;
        std::function<void()> fire;
    };
    std::deque<std::function<void()>> tasks_;
    std::map<TimerId, Timer> timers_;
    TimerId next_ = 1;
    std::chrono::milliseconds now_{0};
};

} // namespace velmora::testing
