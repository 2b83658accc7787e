#include "queues/ManualBackgroundExecutor.h"

namespace nudgerly {

std::stop_source ManualBackgroundExecutor::submit(std::string label, Job job) {
    std::stop_source stop;
    std::lock_guard lock(mutex_);
    if (stopped_) {
        stop.request_stop();
        return stop;
    }
    queue_.push_back({std::move(label), std::move(job), stop});
    return stop;
}

bool ManualBackgroundExecutor::stop(std::chrono::milliseconds) {
    std::deque<QueuedJob> dropped;
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        dropped.swap(queue_);
    }
    for (QueuedJob& entry : dropped) {
        entry.stop.request_stop();
    }
    return true;
}

bool ManualBackgroundExecutor::runNext() {
    QueuedJob entry;
    {
        std::lock_guard lock(mutex_);
        if (queue_.empty()) {
            return false;
        }
        entry = std::move(queue_.front());
        queue_.pop_front();
    }
    entry.job(entry.stop.get_token());
    return true;
}

std::size_t ManualBackgroundExecutor::runAll() {
    std::size_t ran = 0;
    while (runNext()) {
        ++ran;
    }
    return ran;
}

std::size_t ManualBackgroundExecutor::pending() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

std::vector<std::string> ManualBackgroundExecutor::pendingLabels() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> labels;
    for (const QueuedJob& entry : queue_) {
        labels.push_back(entry.label);
    }
    return labels;
}

}  // namespace nudgerly
