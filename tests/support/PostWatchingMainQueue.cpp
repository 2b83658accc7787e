#include "support/PostWatchingMainQueue.h"

namespace nudgerly::test {

void PostWatchingMainQueue::post(std::function<void()> work) {
    ManualMainQueue::post(std::move(work));
    std::lock_guard lock(countMutex_);
    ++count_;
    countChanged_.notify_all();
}

std::size_t PostWatchingMainQueue::postCount() const {
    std::lock_guard lock(countMutex_);
    return count_;
}

bool PostWatchingMainQueue::waitForPostCount(std::size_t count, std::chrono::milliseconds limit) {
    std::unique_lock lock(countMutex_);
    return countChanged_.wait_for(lock, limit, [&] { return count_ >= count; });
}

}  // namespace nudgerly::test
