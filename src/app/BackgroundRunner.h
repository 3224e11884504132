#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace velmora {

// A small fixed pool of worker threads for network- and AI-bound work, so that a slow
// action never holds up the UI thread or later requests. Joined on destruction.
class BackgroundRunner {
public:
    explicit BackgroundRunner(size_t threads = 4);
    ~BackgroundRunner();
    BackgroundRunner(const BackgroundRunner&) = delete;
    BackgroundRunner& operator=(const BackgroundRunner&) = delete;

    void run(std::function<void()> work);
    // The owner is being destroyed: long work that can stop part-way should stop now, since
    // the destructor waits for every task.
    bool stopping();

private:
    void worker();

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace velmora
