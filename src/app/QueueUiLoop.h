#pragma once

#include "app/UiLoop.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

namespace velmora {

// A single-thread task loop for the headless host and tests: the thread that calls run()
// becomes the UI thread.
class QueueUiLoop final : public UiLoop {
public:
    void post(std::function<void()> task) override;
    TimerId startTimer(std::chrono::milliseconds interval, bool repeating, std::function<void()> fire) override;
    void cancelTimer(TimerId id) override;

    // Runs tasks and due timers until quit() is called, or until `idle` answers true when
    // no task is queued.
    void run(const std::function<bool()>& idle = {});
    // Runs what is queued (and timers already due) without waiting; handy in tests.
    size_t drain();
    // Waits until `done` answers true, running tasks meanwhile; false on time-out.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    void quit();

private:
    struct Timer {
        std::chrono::steady_clock::time_point due;
        std::chrono::milliseconds interval;
        bool repeating;
        std::function<void()> fire;
    };
    bool runOne(std::unique_lock<std::mutex>& lock, bool wait, std::chrono::steady_clock::time_point deadline);

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> tasks_;
    std::map<TimerId, Timer> timers_;
    TimerId nextTimer_ = 1;
    bool quit_ = false;
};

} // namespace velmora
