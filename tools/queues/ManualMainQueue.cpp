#include "queues/ManualMainQueue.h"

#include <algorithm>

#include "core/SpinBriefly.h"

namespace nudgerly {

ManualMainQueue::ManualMainQueue() : mainThread_(std::this_thread::get_id()) {}

void ManualMainQueue::post(std::function<void()> work) {
    postAfter(std::chrono::milliseconds(0), std::move(work));
}

void ManualMainQueue::postAfter(std::chrono::milliseconds delay, std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        entries_.emplace(Clock::now() + delay, std::move(work));
    }
    posted_.fetch_add(1);
    changed_.notify_all();
}

bool ManualMainQueue::isMainThread() const {
    std::lock_guard lock(mutex_);
    return std::this_thread::get_id() == mainThread_;
}

void ManualMainQueue::adoptCurrentThread() {
    std::lock_guard lock(mutex_);
    mainThread_ = std::this_thread::get_id();
}

bool ManualMainQueue::popDue(std::function<void()>& work) {
    std::lock_guard lock(mutex_);
    if (entries_.empty() || entries_.begin()->first > Clock::now()) {
        return false;
    }
    work = std::move(entries_.begin()->second);
    entries_.erase(entries_.begin());
    return true;
}

int ManualMainQueue::drain() {
    int ran = 0;
    std::function<void()> work;
    while (popDue(work)) {
        work();
        ++ran;
    }
    return ran;
}

bool ManualMainQueue::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto seen = posted_.load();
        drain();
        if (done()) {
            return true;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        // A worker waiting on the main thread posts its next call moments later: watch for it briefly
        // before going to sleep.
        if (spinBriefly([&] { return posted_.load() != seen; })) {
            continue;
        }
        std::unique_lock lock(mutex_);
        const auto wakeAt = entries_.empty() ? deadline : std::min(deadline, entries_.begin()->first);
        // Wake for new work, the next due entry, or at least every 10 ms to re-check `done`.
        changed_.wait_until(lock, std::min(wakeAt, Clock::now() + std::chrono::milliseconds(10)),
                            [&] { return posted_.load() != seen; });
    }
}

}  // namespace nudgerly
