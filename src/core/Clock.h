#pragma once

#include <chrono>
#include <thread>

namespace velmora {

using TimePoint = std::chrono::system_clock::time_point;

// Injected wherever "now" matters so tests can pin time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
};

class SystemClock final : public Clock {
public:
    TimePoint now() const override { return std::chrono::system_clock::now(); }
};

class FixedClock final : public Clock {
public:
    explicit FixedClock(TimePoint t) : t_(t) {}
    TimePoint now() const override { return t_; }
    void set(TimePoint t) { t_ = t; }
    void advance(std::chrono::milliseconds d) { t_ += d; }

private:
    TimePoint t_;
};

// Injected for the deliberate pauses (between result pages, before checking an upload)
// so tests do not spend real time in them.
class Sleeper {
public:
    virtual ~Sleeper() = default;
    virtual void sleepFor(std::chrono::milliseconds d) = 0;
};

class RealSleeper final : public Sleeper {
public:
    void sleepFor(std::chrono::milliseconds d) override { std::this_thread::sleep_for(d); }
};

class NoSleeper final : public Sleeper {
public:
    void sleepFor(std::chrono::milliseconds d) override { total += d; }
    std::chrono::milliseconds total{0};
};

} // namespace velmora
