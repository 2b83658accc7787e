#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "core/Clock.h"
#include "core/Date.h"
#include "core/MainQueue.h"

namespace nudgerly::test {

// A main queue on virtual time, with clocks that follow it: nothing becomes due until the test
// advances the time, so delays of seconds take no time at all. The thread that makes it is the main
// thread; other threads may post (workers hand results back that way).
class VirtualMainQueue : public MainQueue, public Clock {
public:
    // The wall clock starts at `start`.
    explicit VirtualMainQueue(Date start = Date::fromUnix(1'773'169'200));  // 2026-03-10T19:00:00Z

    void post(std::function<void()> work) override;
    void postAfter(std::chrono::milliseconds delay, std::function<void()> work) override;
    bool isMainThread() const override;

    Date now() const override;
    std::chrono::steady_clock::time_point steadyNow() const override;

    // Runs everything due at the current virtual time, including work that becomes due meanwhile.
    // Returns how many ran.
    int drain();
    // Runs the oldest piece of work due now; false when there is none.
    bool runOne();
    // Moves the time forward by `duration`, running each piece of work at the moment it falls due.
    void advance(std::chrono::milliseconds duration);
    // For work that waits on real threads: drains, then waits in real time for posts, until `done()`
    // holds or `timeout` passes. Virtual time does not move. True when done.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Work that has been posted and has not run yet (due or not).
    std::size_t pendingCount() const;
    // Drops every pending piece of work without running it, as a torn-down event loop does.
    void discardPending();

private:
    bool popDueAt(std::chrono::milliseconds time, std::function<void()>& work);

    const Date start_;
    const std::chrono::steady_clock::time_point steadyStart_;
    const std::thread::id mainThread_;
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::multimap<std::chrono::milliseconds, std::function<void()>> entries_;  // the same time: in posting order
    std::chrono::milliseconds elapsed_{0};
};

}  // namespace nudgerly::test
