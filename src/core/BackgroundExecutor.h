#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace nudgerly {

// Blocking work off the main thread, owned by the object that submits it. Every job gets a stop token
// of its own. Stopping the executor asks every job to stop, drops the jobs not started yet and waits,
// within a bound, for the running ones, so that once its owner has stopped it no job touches what it
// captured. Jobs must honour their token within about a second.
class BackgroundExecutor {
public:
    using Job = std::function<void(std::stop_token)>;
    static constexpr std::chrono::milliseconds defaultStopBound{5000};

    virtual ~BackgroundExecutor() = default;

    // Queues `job`; `label` names it in diagnostics. The returned source asks this job alone to stop.
    // Once the executor is stopped the job is dropped unrun and the source comes back already stopped.
    // Throws std::system_error when no thread can be had for the job.
    virtual std::stop_source submit(std::string label, Job job) = 0;

    // Asks every job to stop, drops the queued ones and waits up to `bound` for the running ones to end;
    // true when none runs any more. Later submissions are refused.
    virtual bool stop(std::chrono::milliseconds bound = defaultStopBound) = 0;

protected:
    struct QueuedJob {
        std::string label;
        Job job;
        std::stop_source stop;
    };
};

// Runs jobs on worker threads it owns: an idle worker takes the next job and another worker starts
// when all are busy, so a long transfer never holds up a short read. Workers live until the executor
// stops (a child process tied to the thread that launched it relies on this). An exception that escapes a job is
// written to stderr with the job's label and goes no further: jobs report their own outcomes.
//
// The destructor stops the executor and joins every worker; a job that ignores its token beyond the
// bound is named on stderr and still waited for, as leaving its thread behind would let it run on
// with what it captured gone. Never destroy or stop an executor from one of its own jobs.
class ThreadPoolExecutor final : public BackgroundExecutor {
public:
    ThreadPoolExecutor() = default;
    ~ThreadPoolExecutor() override;
    ThreadPoolExecutor(const ThreadPoolExecutor&) = delete;
    ThreadPoolExecutor& operator=(const ThreadPoolExecutor&) = delete;

    std::stop_source submit(std::string label, Job job) override;
    bool stop(std::chrono::milliseconds bound = defaultStopBound) override;

private:
    struct Worker {
        std::thread thread;
        // The job this worker runs, when it runs one.
        std::optional<std::stop_source> current;
        std::string label;
    };

    void work(Worker& worker);
    void joinWorkers();

    std::mutex mutex_;
    std::condition_variable jobQueued_;
    std::condition_variable jobEnded_;
    std::deque<QueuedJob> queue_;
    std::list<Worker> workers_;  // stable addresses: each thread holds its own entry
    std::size_t idleWorkers_ = 0;
    std::size_t runningJobs_ = 0;
    bool stopping_ = false;
};

}  // namespace nudgerly
