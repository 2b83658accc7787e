#include "core/MainQueue.h"

#include <algorithm>
#include <atomic>
#include <memory>

namespace nudgerly {
namespace {

// A call handed to the other thread usually comes back within microseconds. Waiting that long by
// spinning spares the thread wake-ups, which would cost more than the call itself; past it, the
// waiter sleeps as usual.
constexpr auto spinBeforeSleeping = std::chrono::microseconds(50);

void relaxCpu() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// Spins until `ready()` holds or the short while is over; true when ready. It yields now and then,
// so a busy machine still runs the thread it waits for.
template <typename Ready>
bool spinBriefly(Ready ready) {
    const auto until = std::chrono::steady_clock::now() + spinBeforeSleeping;
    for (unsigned round = 1;; ++round) {
        if (ready()) {
            return true;
        }
        if (round % 64 != 0) {
            relaxCpu();
        } else if (std::chrono::steady_clock::now() >= until) {
            return false;
        } else {
            std::this_thread::yield();
        }
    }
}

}  // namespace

bool runOnMainAndWait(MainQueue& queue, std::function<void()> work, std::stop_token stop) {
    if (queue.isMainThread()) {
        work();
        return true;
    }
    struct Handoff {
        std::atomic<bool> done{false};
        std::mutex mutex;
        std::condition_variable_any ran;
    };
    auto handoff = std::make_shared<Handoff>();
    queue.post([handoff, work = std::move(work)] {
        // The waiter is let go however the work ends: work that throws must not leave it waiting.
        struct Release {
            Handoff& handoff;
            ~Release() {
                std::lock_guard lock(handoff.mutex);
                handoff.done = true;
                handoff.ran.notify_all();
            }
        } release{*handoff};
        work();
    });
    if (spinBriefly([&] { return handoff->done.load() || stop.stop_requested(); })) {
        return handoff->done;
    }
    std::unique_lock lock(handoff->mutex);
    return handoff->ran.wait(lock, stop, [&] { return handoff->done.load(); });
}

ManualMainQueue::ManualMainQueue() : mainThread_(std::this_thread::get_id()) {}

void ManualMainQueue::post(std::function<void()> work) {
    postAfter(std::chrono::milliseconds(0), std::move(work));
}

void ManualMainQueue::postAfter(std::chrono::milliseconds delay, std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        entries_.push_back({Clock::now() + delay, nextOrder_++, std::move(work)});
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
    const auto now = Clock::now();
    auto best = entries_.end();
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->due <= now && (best == entries_.end() || it->due < best->due ||
                               (it->due == best->due && it->order < best->order))) {
            best = it;
        }
    }
    if (best == entries_.end()) {
        return false;
    }
    work = std::move(best->work);
    entries_.erase(best);
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
        auto wakeAt = deadline;
        for (const auto& entry : entries_) {
            wakeAt = std::min(wakeAt, entry.due);
        }
        // Wake for new work, the next due entry, or at least every 10 ms to re-check `done`.
        wakeAt = std::min(wakeAt, Clock::now() + std::chrono::milliseconds(10));
        changed_.wait_until(lock, wakeAt, [&] { return posted_.load() != seen; });
    }
}

}  // namespace nudgerly
