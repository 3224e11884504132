#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace velmora {

// The UI thread seen from the platform-free code: the GLib main loop in the desktop shell,
// QueueUiLoop in the headless host and in tests. Everything that touches controller state
// or a web view runs as a task posted here.
class UiLoop {
public:
    using TimerId = uint64_t;
    virtual ~UiLoop() = default;

    // Thread-safe: may be called from any thread.
    virtual void post(std::function<void()> task) = 0;
    // UI thread only. A repeating timer fires every interval until cancelled.
    virtual TimerId startTimer(std::chrono::milliseconds interval, bool repeating, std::function<void()> fire) = 0;
    virtual void cancelTimer(TimerId id) = 0;
};

} // namespace velmora
