#include "core/BackgroundExecutor.h"

#include <exception>
#include <iostream>

namespace nudgerly {

// MARK: - Thread pool

ThreadPoolExecutor::~ThreadPoolExecutor() {
    if (!stop()) {
        std::lock_guard lock(mutex_);
        for (const Worker& worker : workers_) {
            if (worker.current) {
                std::cerr << "nudgerly: waiting for background job \"" << worker.label
                          << "\", which did not stop when asked\n";
            }
        }
    }
    joinWorkers();
}

std::stop_source ThreadPoolExecutor::submit(std::string label, Job job) {
    std::stop_source stop;
    std::unique_lock lock(mutex_);
    if (stopping_) {
        lock.unlock();
        stop.request_stop();
        return stop;  // the job is released here, unrun
    }
    queue_.push_back({std::move(label), std::move(job), stop});
    if (idleWorkers_ < queue_.size()) {
        Worker& worker = workers_.emplace_back();
        try {
            worker.thread = std::thread([this, &worker] { work(worker); });
        } catch (...) {
            workers_.pop_back();
            // Busy workers will get to the job; with none at all it would wait for good.
            if (workers_.empty()) {
                QueuedJob refused = std::move(queue_.back());
                queue_.pop_back();
                lock.unlock();
                throw;
            }
        }
    }
    lock.unlock();
    jobQueued_.notify_one();
    return stop;
}

void ThreadPoolExecutor::work(Worker& worker) {
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idleWorkers_;
        jobQueued_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        --idleWorkers_;
        if (stopping_) {
            return;
        }
        QueuedJob entry = std::move(queue_.front());
        queue_.pop_front();
        worker.current = entry.stop;
        worker.label = entry.label;
        ++runningJobs_;
        lock.unlock();
        try {
            entry.job(entry.stop.get_token());
        } catch (const std::exception& error) {
            std::cerr << "nudgerly: background job \"" << entry.label << "\" failed: " << error.what() << "\n";
        } catch (...) {
            std::cerr << "nudgerly: background job \"" << entry.label << "\" failed\n";
        }
        // What the job captured is released before it counts as ended.
        entry.job = nullptr;
        lock.lock();
        worker.current.reset();
        --runningJobs_;
        jobEnded_.notify_all();
    }
}

bool ThreadPoolExecutor::stop(std::chrono::milliseconds bound) {
    std::deque<QueuedJob> dropped;
    bool ended = false;
    {
        std::unique_lock lock(mutex_);
        stopping_ = true;
        dropped.swap(queue_);
        for (Worker& worker : workers_) {
            if (worker.current) {
                worker.current->request_stop();
            }
        }
        jobQueued_.notify_all();
        for (QueuedJob& entry : dropped) {
            entry.stop.request_stop();
        }
        ended = jobEnded_.wait_for(lock, bound, [&] { return runningJobs_ == 0; });
    }
    dropped.clear();  // outside the lock: a job's captures may take time to release
    if (ended) {
        joinWorkers();
    }
    return ended;
}

void ThreadPoolExecutor::joinWorkers() {
    std::list<Worker> finished;
    {
        std::lock_guard lock(mutex_);
        finished.splice(finished.end(), workers_);
    }
    for (Worker& worker : finished) {
        if (worker.thread.joinable()) {
            worker.thread.join();
        }
    }
}

}  // namespace nudgerly
