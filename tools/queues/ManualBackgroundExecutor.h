#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "core/BackgroundExecutor.h"

namespace nudgerly {

// Runs jobs only when the test says so, on the test's thread: the way to reach the moment a worker
// would be in the middle of something. Exceptions from a job reach the caller of `runNext`/`runAll`.
class ManualBackgroundExecutor final : public BackgroundExecutor {
public:
    std::stop_source submit(std::string label, Job job) override;
    bool stop(std::chrono::milliseconds bound = defaultStopBound) override;

    // Runs the oldest queued job; false when none is queued.
    bool runNext();
    // Runs queued jobs, including those they queue, until none is left; returns how many ran.
    std::size_t runAll();
    std::size_t pending() const;
    // The labels of the queued jobs, oldest first.
    std::vector<std::string> pendingLabels() const;

private:
    mutable std::mutex mutex_;
    std::deque<QueuedJob> queue_;
    bool stopped_ = false;
};

}  // namespace nudgerly
