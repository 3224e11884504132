#pragma once

#include "app/UiLoop.h"

#include <chrono>
#include <deque>
#include <map>

namespace velmora::testing {

// A UI loop whose clock only moves when a test says so: posted tasks run on drain(), timers
// fire on advance(). Single-threaded; lets tests cover 60-second delays without waiting.
class ManualUiLoop final : public UiLoop {
public:
    void post(std::function<void()> task) override { tasks_.push_back(std::move(task)); }
    TimerId startTimer(std::chrono::milliseconds interval, bool repeating, std::function<void()> fire) override;
    void cancelTimer(TimerId id) override { timers_.erase(id); }

    // Runs posted tasks (and the tasks they post) until none is left; returns how many ran.
    size_t drain();
    // Moves time forward, firing every timer that falls due (in order) and draining after each.
    void advance(std::chrono::milliseconds by);


private:
    struct Timer {
        std::chrono::milliseconds due;
        std::chrono::milliseconds interval;
        bool repeating;
        std::function<void()> fire;
    };
    std::deque<std::function<void()>> tasks_;
    std::map<TimerId, Timer> timers_;
    TimerId next_ = 1;
    std::chrono::milliseconds now_{0};
};

} // namespace velmora::testing
