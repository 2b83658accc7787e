#pragma once

#include <cassert>
#include <chrono>
#include <functional>
#include <stop_token>

namespace nudgerly {

// The main thread as the core sees it: state objects live there and are touched only there. In the
// application it is the GUI thread; tests and command-line tools drive a ManualMainQueue themselves.
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

}  // namespace nudgerly
