#include "support/VirtualMainQueue.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace nudgerly::test {

VirtualMainQueue::VirtualMainQueue(Date start)
    : start_(start), steadyStart_(std::chrono::steady_clock::now()), mainThread_(std::this_thread::get_id()) {}

void VirtualMainQueue::post(std::function<void()> work) {
    postAfter(std::chrono::milliseconds(0), std::move(work));
}

void VirtualMainQueue::postAfter(std::chrono::milliseconds delay, std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        entries_.emplace(elapsed_ + std::max(delay, std::chrono::milliseconds(0)), std::move(work));
    }
    posted_.notify_all();
}

bool VirtualMainQueue::isMainThread() const {
    return std::this_thread::get_id() == mainThread_;
}

Date VirtualMainQueue::now() const {
    std::lock_guard lock(mutex_);
    return start_.addingSeconds(std::chrono::duration<double>(elapsed_).count());
}

std::chrono::steady_clock::time_point VirtualMainQueue::steadyNow() const {
    std::lock_guard lock(mutex_);
    return steadyStart_ + elapsed_;
}

bool VirtualMainQueue::popDueAt(std::chrono::milliseconds time, std::function<void()>& work) {
    std::lock_guard lock(mutex_);
    if (entries_.empty() || entries_.begin()->first > time) {
        return false;
    }
    elapsed_ = std::max(elapsed_, entries_.begin()->first);
    work = std::move(entries_.begin()->second);
    entries_.erase(entries_.begin());
    return true;
}

int VirtualMainQueue::drain() {
    int ran = 0;
    while (runOne()) {
        ++ran;
    }
    return ran;
}

bool VirtualMainQueue::runOne() {
    std::chrono::milliseconds time;
    {
        std::lock_guard lock(mutex_);
        time = elapsed_;
    }
    std::function<void()> work;
    if (!popDueAt(time, work)) {
        return false;
    }
    std::exchange(work, {})();
    return true;
}

void VirtualMainQueue::advance(std::chrono::milliseconds duration) {
    std::chrono::milliseconds target;
    {
        std::lock_guard lock(mutex_);
        target = elapsed_ + duration;
    }
    std::function<void()> work;
    while (popDueAt(target, work)) {
        std::exchange(work, {})();
    }
    std::lock_guard lock(mutex_);
    elapsed_ = target;
}

bool VirtualMainQueue::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        drain();
        if (done()) {
            return true;
        }
        std::unique_lock lock(mutex_);
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        const bool somethingDue = !entries_.empty() && entries_.begin()->first <= elapsed_;
        if (!somethingDue) {
            // Woken by a post; every 10 ms at least to look at `done` again.
            posted_.wait_for(lock, std::chrono::milliseconds(10));
        }
    }
}

std::size_t VirtualMainQueue::pendingCount() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

void VirtualMainQueue::discardPending() {
    decltype(entries_) dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(entries_);
    }
    // Destroyed outside the lock: the work's captures may post again as they go.
}

}  // namespace nudgerly::test
