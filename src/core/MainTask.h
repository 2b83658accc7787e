#pragma once

#include <atomic>
#include <chrono>
#include <coroutine>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <type_traits>
#include <utility>

#include "core/BackgroundExecutor.h"
#include "core/CancelledError.h"
#include "core/MainQueue.h"

// Long operations of main-thread objects as C++20 coroutines. Code between two `co_await`s runs on
// the main thread; `co_await offMain(task, label, job)` runs a blocking job on a worker and comes back
// to the main thread with its value or exception; `co_await sleepFor(task, duration)` waits on the
// main queue's clock. A task body is a callable taking a TaskHandle and returning MainTask:
//
//     scope.spawn([weak = weak_from_this()](TaskHandle task) -> MainTask {
//         const auto batch = co_await offMain(task, "scan", [](std::stop_token stop) { return scan(stop); });
//         if (auto self = weak.lock(); self && !task.isCancelled()) { ... }
//     });
//
// Write `co_await` as a whole statement, take coroutine parameters by value and hold weak_ptrs across
// suspensions. A body's captures live as long as its frame. Never write a lambda that captures values
// with destructors inside a co_await expression: g++ 12 destroys it twice (name it first).
namespace nudgerly {

class TaskHandle;

namespace detail {
struct TaskScopeCore;
struct TaskState;
// The task's state, for the awaiters.
const std::shared_ptr<TaskState>& stateOf(const TaskHandle& handle);
}  // namespace detail

// The handle of one task: what the spawner keeps and what the body receives. Copies refer to the same
// task. Main thread only.
class TaskHandle {
public:
    TaskHandle() = default;

    // Unique in the process; 0 for an empty handle.
    uint64_t id() const;
    // Asks the task to stop: its job on a worker sees its stop token requested, a sleep ends at once
    // with CancelledError, and the body reads isCancelled(). A finished task ignores it.
    void cancel() const;
    bool isCancelled() const;
    bool isFinished() const;

    explicit operator bool() const { return state_ != nullptr; }
    friend bool operator==(const TaskHandle& a, const TaskHandle& b) { return a.state_ == b.state_; }

private:
    friend class TaskScope;
    friend const std::shared_ptr<detail::TaskState>& detail::stateOf(const TaskHandle& handle);
    explicit TaskHandle(std::shared_ptr<detail::TaskState> state) : state_(std::move(state)) {}

    std::shared_ptr<detail::TaskState> state_;
};

// What a task body returns. It starts suspended; TaskScope::spawn runs it.
class [[nodiscard]] MainTask {
public:
    struct promise_type {
        std::exception_ptr error;

        MainTask get_return_object() { return MainTask(std::coroutine_handle<promise_type>::from_promise(*this)); }
        std::suspend_always initial_suspend() noexcept { return {}; }
        std::suspend_always final_suspend() noexcept { return {}; }
        void return_void() noexcept {}
        void unhandled_exception() noexcept { error = std::current_exception(); }
    };

    MainTask(MainTask&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
    MainTask& operator=(MainTask&&) = delete;
    ~MainTask() {
        if (handle_) {
            handle_.destroy();
        }
    }

private:
    friend class TaskScope;
    explicit MainTask(std::coroutine_handle<promise_type> handle) : handle_(handle) {}

    std::coroutine_handle<promise_type> handle_;
};

// A step of a task that gives a value: a coroutine of its own, started when awaited, that hands its
// value or exception to the coroutine awaiting it. It suspends the task at the same awaits.
template <typename T = void>
class [[nodiscard]] MainAsync {
    struct PromiseBase {
        std::coroutine_handle<> continuation;
        std::exception_ptr error;

        struct Final {
            bool await_ready() noexcept { return false; }
            template <typename P>
            std::coroutine_handle<> await_suspend(std::coroutine_handle<P> done) noexcept {
                return done.promise().continuation;
            }
            void await_resume() noexcept {}
        };

        std::suspend_always initial_suspend() noexcept { return {}; }
        Final final_suspend() noexcept { return {}; }
        void unhandled_exception() noexcept { error = std::current_exception(); }
    };
    struct ValuePromise : PromiseBase {
        std::optional<T> value;
        void return_value(T result) { value = std::move(result); }
    };
    struct VoidPromise : PromiseBase {
        void return_void() noexcept {}
    };

public:
    struct promise_type : std::conditional_t<std::is_void_v<T>, VoidPromise, ValuePromise> {
        MainAsync get_return_object() { return MainAsync(std::coroutine_handle<promise_type>::from_promise(*this)); }
    };

    MainAsync(MainAsync&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
    MainAsync& operator=(MainAsync&&) = delete;
    ~MainAsync() {
        if (handle_) {
            handle_.destroy();
        }
    }

    bool await_ready() const noexcept { return false; }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<> awaiting) noexcept {
        handle_.promise().continuation = awaiting;
        return handle_;
    }
    T await_resume() {
        if (handle_.promise().error) {
            std::rethrow_exception(handle_.promise().error);
        }
        if constexpr (!std::is_void_v<T>) {
            return std::move(*handle_.promise().value);
        }
    }

private:
    explicit MainAsync(std::coroutine_handle<promise_type> handle) : handle_(handle) {}

    std::coroutine_handle<promise_type> handle_;
};

// Owns the tasks it spawns: runs them on the main queue, hands their jobs to the executor, and on
// destruction asks every unfinished task to stop and destroys its frame, on the main thread. Make and
// destroy it on the main thread, never from one of its own tasks. The main queue must outlive the
// executor's running jobs (stop the executor first), as a finished job posts its result there.
class TaskScope {
public:
    // Called on the main thread with an exception other than CancelledError that ended a task; by
    // default it is written to stderr. Nothing that escapes a task ends the process.
    using ErrorHandler = std::function<void(std::exception_ptr)>;

    TaskScope(MainQueue& mainQueue, BackgroundExecutor& executor);
    ~TaskScope();
    TaskScope(const TaskScope&) = delete;
    TaskScope& operator=(const TaskScope&) = delete;

    // Makes the task and posts its start; the body runs in a later main-queue turn.
    template <typename Body>
    TaskHandle spawn(Body body) {
        auto stored = std::make_shared<Body>(std::move(body));
        const auto state = makeTask(stored);
        MainTask task = (*stored)(TaskHandle(state));
        start(state, std::exchange(task.handle_, {}));
        return TaskHandle(state);
    }

    // Tasks started and not finished yet.
    std::size_t runningCount() const;
    void setErrorHandler(ErrorHandler handler);

private:
    std::shared_ptr<detail::TaskState> makeTask(std::shared_ptr<void> body);
    void start(const std::shared_ptr<detail::TaskState>& state, std::coroutine_handle<MainTask::promise_type> frame);

    std::shared_ptr<detail::TaskScopeCore> core_;
};

template <typename Body>
TaskHandle spawn(TaskScope& scope, Body body) {
    return scope.spawn(std::move(body));
}

namespace detail {

// The queue and the executor of the task's scope. Only while its body runs.
MainQueue& mainQueueOf(const TaskState& state);
BackgroundExecutor& executorOf(const TaskState& state);
// Marks the task suspended at `at`; the number names this suspension for `resumeCallback`.
uint64_t suspend(TaskState& state, std::coroutine_handle<> at, std::function<void()> onCancel);
// Takes back a suspension that did not happen (the awaiter decided to go on at once).
void endSuspension(TaskState& state);
// Resumes the task on the main thread if it is still in that suspension (and its scope still exists).
std::function<void()> resumeCallback(const std::shared_ptr<TaskState>& state, uint64_t suspension);

// Where a job's outcome waits for the main thread. Written by the job, read after the main queue
// ran the resumption it posted.
template <typename T>
struct Hop {
    using Value = std::conditional_t<std::is_void_v<T>, bool, T>;
    std::optional<Value> value;
    std::exception_ptr error;
    std::atomic<bool> delivered{false};
    MainQueue* mainQueue = nullptr;
    std::function<void()> resume;

    void deliver() {
        if (!delivered.exchange(true)) {
            mainQueue->post(std::move(resume));
        }
    }
};

// Owned by the job alone: when the job is released without having run (a stopped executor drops
// it), the task still resumes, with CancelledError.
template <typename T>
struct DroppedJobGuard {
    explicit DroppedJobGuard(std::shared_ptr<Hop<T>> h) : hop(std::move(h)) {}
    DroppedJobGuard(const DroppedJobGuard&) = delete;
    DroppedJobGuard& operator=(const DroppedJobGuard&) = delete;

    std::shared_ptr<Hop<T>> hop;
    ~DroppedJobGuard() {
        if (!hop->delivered.load()) {
            hop->error = std::make_exception_ptr(CancelledError());
            hop->deliver();
        }
    }
};

}  // namespace detail

template <typename T>
class OffMainAwaiter {
public:
    template <typename Job>
    OffMainAwaiter(TaskHandle task, std::string label, Job job)
        : task_(std::move(task)), label_(std::move(label)), job_(std::move(job)) {}

    bool await_ready() const { return task_.isCancelled(); }

    bool await_suspend(std::coroutine_handle<> at) {
        const auto& state = detail::stateOf(task_);
        hop_ = std::make_shared<detail::Hop<T>>();
        hop_->mainQueue = &detail::mainQueueOf(*state);
        auto jobStop = std::make_shared<std::stop_source>(std::nostopstate);
        const uint64_t suspension = detail::suspend(*state, at, [jobStop] {
            if (jobStop->stop_possible()) {
                jobStop->request_stop();
            }
        });
        hop_->resume = detail::resumeCallback(state, suspension);
        auto guard = std::make_shared<detail::DroppedJobGuard<T>>(hop_);
        try {
            *jobStop = detail::executorOf(*state).submit(label_, [guard, job = std::move(job_)](std::stop_token stop) {
                auto& hop = *guard->hop;
                try {
                    if constexpr (std::is_void_v<T>) {
                        job(stop);
                        hop.value = true;
                    } else {
                        hop.value = job(stop);
                    }
                } catch (...) {
                    hop.error = std::current_exception();
                }
                hop.deliver();
            });
        } catch (...) {
            // No thread for the job: the task goes on at once with the error.
            hop_->delivered = true;
            hop_->error = std::current_exception();
            detail::endSuspension(*state);
            return false;
        }
        return true;
    }

    T await_resume() {
        if (!hop_) {
            throw CancelledError();
        }
        if (hop_->error) {
            std::rethrow_exception(hop_->error);
        }
        if constexpr (!std::is_void_v<T>) {
            return std::move(*hop_->value);
        }
    }

private:
    TaskHandle task_;
    std::string label_;
    std::function<T(std::stop_token)> job_;
    std::shared_ptr<detail::Hop<T>> hop_;
};

// Runs `job(stopToken)` on the task's executor and resumes the task on the main thread with its value
// or exception. The token is requested when the task is cancelled or the executor stops; jobs honour
// it within about a second. A task already cancelled throws CancelledError without starting the job.
//
// A job whose captures have destructors must be a named object: g++ 12 destroys a capturing lambda
// written inside a co_await expression twice. So write
//     auto scan = [reader, days](std::stop_token stop) { return reader->scan(days, stop); };
//     const auto batch = co_await offMain(task, "Messages scan", scan);
// Lambdas that capture only references and plain values may be written in place.
template <typename Job>
auto offMain(TaskHandle task, std::string label, Job&& job) {
    using Callable = std::remove_cvref_t<Job>;
    static_assert(std::is_lvalue_reference_v<Job> || std::is_trivially_destructible_v<Callable>,
                  "Name a job that captures values with destructors before co_await (see offMain).");
    using T = std::invoke_result_t<Callable&, std::stop_token>;
    return OffMainAwaiter<T>(std::move(task), std::move(label), Callable(std::forward<Job>(job)));
}

class SleepAwaiter {
public:
    SleepAwaiter(TaskHandle task, std::chrono::milliseconds duration) : task_(std::move(task)), duration_(duration) {}

    bool await_ready() const { return task_.isCancelled(); }
    void await_suspend(std::coroutine_handle<> at);
    void await_resume() const;

private:
    TaskHandle task_;
    std::chrono::milliseconds duration_;
};

// Waits `duration` on the main queue's clock. Throws CancelledError when the task is cancelled before
// or during the wait, at once rather than when the time is up.
template <typename Rep, typename Period>
SleepAwaiter sleepFor(TaskHandle task, std::chrono::duration<Rep, Period> duration) {
    return SleepAwaiter(std::move(task), std::chrono::ceil<std::chrono::milliseconds>(duration));
}

}  // namespace nudgerly
