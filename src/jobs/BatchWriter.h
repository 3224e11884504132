#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace velmora {

// Writes batches on a thread of its own, so that storing one batch overlaps reading and
// cleaning the next: a sync's time is then the slower of the two instead of their sum.
// At most one batch waits while another is written, which bounds the memory a fast board can
// fill. A write that fails is reported by the next submit() or drain(), which rethrow its
// exception; the batch handed to that call is then not taken, so the caller still holds it.
template <typename Batch> class BatchWriter {
public:
    using Write = std::function<void(Batch&)>;

    explicit BatchWriter(Write write) : write_(std::move(write)), thread_([this] { run(); }) {}
    ~BatchWriter() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    BatchWriter(const BatchWriter&) = delete;
    BatchWriter& operator=(const BatchWriter&) = delete;

    // Queues the batch behind the one being written, waiting for a free place first.
    void submit(Batch& batch) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !waiting_ || failure_; });
        rethrowFailure();
        waiting_.emplace(std::move(batch));
        batch = Batch();
        changed_.notify_all();
    }

    // Returns once every submitted batch is written.
    void drain() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return (!waiting_ && !writing_) || failure_; });
        rethrowFailure();
    }

private:
    void rethrowFailure() {
        if (!failure_) return;
        // A failed batch is lost, and so is any batch queued behind it: the database refused
        // the first, and the caller decides what to do with what it still holds.
        waiting_.reset();
        std::exception_ptr failure = failure_;
        failure_ = nullptr;
        std::rethrow_exception(failure);
    }

    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            // After a failure nothing more is written until the caller has heard of it.
            changed_.wait(lock, [&] { return (waiting_ && !failure_) || stopping_; });
            if (!waiting_ || failure_) return; // stopping, with nothing left to write
            Batch batch = std::move(*waiting_);
            waiting_.reset();
            writing_ = true;
            changed_.notify_all();
            lock.unlock();
            std::exception_ptr failure;
            try {
                write_(batch);
            } catch (...) {
                failure = std::current_exception();
            }
            lock.lock();
            writing_ = false;
            if (failure) failure_ = failure;
            changed_.notify_all();
        }
    }

    Write write_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Batch> waiting_;
    bool writing_ = false;
    bool stopping_ = false;
    std::exception_ptr failure_;
    std::thread thread_; // last: it starts in the constructor and uses every member above
};

} // namespace velmora
