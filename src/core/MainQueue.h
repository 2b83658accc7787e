#pragma once

#include <cassert>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace nudgerly {

// The main thread as the core sees it: state objects live there and are touched only there. In the
// application it is the GUI thread; tests drive a ManualMainQueue themselves.
class MainQueue {
public:
    virtual ~MainQueue() = default;

    // Runs `work` on the main thread later, in posting order.
    virtual void post(std::function<void()> work) = 0;
    // Runs `work` on the main thread no earlier than `delay` from now.
    virtual void postAfter(std::chrono::milliseconds delay, std::function<void()> work) = 0;
    virtual bool isMainThread() const = 0;
};

// Stops a debug build at once when main-thread-only code runs on another thread.
inline void assertMainThread([[maybe_unused]] const MainQueue& queue) {
    assert(queue.isMainThread() && "main-thread-only code called from another thread");
}

// Runs `work` on the main thread and blocks the calling worker until it has run, or until `stop` is
// requested (then it returns false at once; the work may still run later, so it must only capture what
// stays valid). Work that throws lets the worker go on as well; the exception stays with the main loop.
// Called on the main thread itself, it runs the work directly. Never call it while holding a lock the
// main thread may need.
bool runOnMainAndWait(MainQueue& queue, std::function<void()> work, std::stop_token stop);

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
    struct Entry {
        Clock::time_point due;
        unsigned long long order;
        std::function<void()> work;
    };

    bool popDue(std::function<void()>& work);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Entry> entries_;
    unsigned long long nextOrder_ = 0;
    std::atomic<unsigned long long> posted_{0};  // read without the lock, to notice new work early
    std::thread::id mainThread_;
};

}  // namespace nudgerly
