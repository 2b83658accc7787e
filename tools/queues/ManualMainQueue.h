#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "core/MainQueue.h"

namespace nudgerly {

// A main queue whose owner decides when work runs: the thread that constructs it is the main thread.
// Tests drain it explicitly; a command-line program can run it as its event loop.
class ManualMainQueue : public MainQueue {
public:
    using Clock = std::chrono::steady_clock;

    ManualMainQueue();

    void post(std::function<void()> work) override;
    void postAfter(std::chrono::milliseconds delay, std::function<void()> work) override;
    bool isMainThread() const override;

    // Runs everything that is due now, including work posted while draining. Returns how many ran.
    int drain();
    // Runs work as it becomes due until `done()` holds or `timeout` passes; true when done.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    // Makes the main thread adopt the calling thread (for a test fixture built on another thread).
    void adoptCurrentThread();

private:
    bool popDue(std::function<void()>& work);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::multimap<Clock::time_point, std::function<void()>> entries_;  // work due at the same time in posting order
    std::atomic<unsigned long long> posted_{0};  // read without the lock, to notice new work early
    std::thread::id mainThread_;
};

}  // namespace nudgerly
