#include "core/MainQueue.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "core/SpinBriefly.h"

namespace nudgerly {

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

}  // namespace nudgerly
