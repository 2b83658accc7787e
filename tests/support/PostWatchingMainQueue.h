#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>

#include "core/MainQueue.h"
#include "queues/ManualMainQueue.h"

namespace nudgerly::test {

// A manual main queue that tells when work is posted to it, so that a test can wait for a post made
// on another thread instead of guessing when it came.
class PostWatchingMainQueue : public ManualMainQueue {
public:
    void post(std::function<void()> work) override;

    // How many works were posted so far.
    std::size_t postCount() const;
    // Waits up to `limit` until `count` works in all were posted; true once they were.
    bool waitForPostCount(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    mutable std::mutex countMutex_;
    std::condition_variable countChanged_;
    std::size_t count_ = 0;
};

}  // namespace nudgerly::test
