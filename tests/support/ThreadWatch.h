#pragma once

#include <atomic>
#include <chrono>

#include <sys/types.h>

namespace nudgerly::test {

// Tells when another thread has reached a blocking wait, where the code under test offers no sign of
// it: that thread calls `arrive()` before the call that waits, and the watcher `waitUntilBlocked()`.
class ThreadWatch {
public:
    // On the watched thread.
    void arrive() { thread_ = currentThreadId(); }
    // Waits up to `limit` until the watched thread has arrived and sleeps in a futex wait (a condition
    // variable, a semaphore, a contended mutex). True once it does.
    bool waitUntilBlocked(std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

    static pid_t currentThreadId();

private:
    std::atomic<pid_t> thread_{0};
};

}  // namespace nudgerly::test
