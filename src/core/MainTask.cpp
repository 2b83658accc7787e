#include "core/MainTask.h"

#include <iostream>
#include <map>

namespace nudgerly {
namespace detail {

struct TaskScopeCore {
    // Spelled out because clang 14 (the fuzz build) cannot make_shared an aggregate.
    TaskScopeCore(MainQueue& queue, BackgroundExecutor& jobs) : mainQueue(queue), executor(jobs) {}

    MainQueue& mainQueue;
    BackgroundExecutor& executor;
    std::map<uint64_t, std::shared_ptr<TaskState>> running;
    TaskScope::ErrorHandler onError;
};

struct TaskState {
    uint64_t id = 0;
    std::weak_ptr<TaskScopeCore> core;
    std::stop_source stop;
    std::coroutine_handle<MainTask::promise_type> frame;  // owned until the task finishes
    std::shared_ptr<void> body;                           // the callable whose captures the frame uses
    // Where the task waits, and the number of that suspension; 0 while it runs.
    std::coroutine_handle<> suspendedAt;
    uint64_t suspension = 0;
    uint64_t lastSuspension = 0;
    std::function<void()> onCancel;  // what a cancel must do for the current suspension
    bool finished = false;
};

namespace {

std::atomic<uint64_t> lastTaskID{0};

void reportEscapedError(const TaskScopeCore& core, std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const CancelledError&) {
        return;  // a cancelled task ends quietly
    } catch (...) {
    }
    if (core.onError) {
        core.onError(error);
        return;
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        std::cerr << "nudgerly: a main-thread task ended with an error: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "nudgerly: a main-thread task ended with an error\n";
    }
}

// Destroys the frame and then the body, on the main thread.
void release(TaskState& state) {
    if (state.frame) {
        std::exchange(state.frame, {}).destroy();
    }
    state.body.reset();
    state.onCancel = nullptr;
    state.suspendedAt = nullptr;
    state.suspension = 0;
    state.finished = true;
}

void resume(const std::shared_ptr<TaskState>& state, uint64_t suspension) {
    const auto core = state->core.lock();
    if (!core || !state->frame || state->suspension != suspension) {
        return;  // the scope is gone, the task ended, or this suspension already ended
    }
    state->suspension = 0;
    state->onCancel = nullptr;
    std::exchange(state->suspendedAt, {}).resume();
    if (state->frame && state->frame.done()) {
        const std::exception_ptr error = state->frame.promise().error;
        release(*state);
        core->running.erase(state->id);
        if (error) {
            reportEscapedError(*core, error);
        }
    }
}

}  // namespace

MainQueue& mainQueueOf(const TaskState& state) {
    return state.core.lock()->mainQueue;
}

BackgroundExecutor& executorOf(const TaskState& state) {
    return state.core.lock()->executor;
}

uint64_t suspend(TaskState& state, std::coroutine_handle<> at, std::function<void()> onCancel) {
    state.suspendedAt = at;
    state.suspension = ++state.lastSuspension;
    state.onCancel = std::move(onCancel);
    return state.suspension;
}

void endSuspension(TaskState& state) {
    state.suspendedAt = nullptr;
    state.suspension = 0;
    state.onCancel = nullptr;
}

std::function<void()> resumeCallback(const std::shared_ptr<TaskState>& state, uint64_t suspension) {
    return [weak = std::weak_ptr(state), suspension] {
        if (const auto state = weak.lock()) {
            resume(state, suspension);
        }
    };
}

const std::shared_ptr<TaskState>& stateOf(const TaskHandle& handle) {
    return handle.state_;
}

}  // namespace detail

uint64_t TaskHandle::id() const {
    return state_ ? state_->id : 0;
}

void TaskHandle::cancel() const {
    if (!state_ || state_->finished) {
        return;
    }
    state_->stop.request_stop();
    if (auto onCancel = std::exchange(state_->onCancel, nullptr)) {
        onCancel();
    }
}

bool TaskHandle::isCancelled() const {
    return state_ && state_->stop.stop_requested();
}

bool TaskHandle::isFinished() const {
    return state_ && state_->finished;
}

TaskScope::TaskScope(MainQueue& mainQueue, BackgroundExecutor& executor)
    : core_(std::make_shared<detail::TaskScopeCore>(mainQueue, executor)) {}

TaskScope::~TaskScope() {
    // Workers are told first, so that jobs end soon; then the frames go, each with its locals.
    const auto running = std::exchange(core_->running, {});
    for (const auto& [id, state] : running) {
        TaskHandle(state).cancel();
    }
    for (const auto& [id, state] : running) {
        detail::release(*state);
    }
}

std::size_t TaskScope::runningCount() const {
    return core_->running.size();
}

void TaskScope::setErrorHandler(ErrorHandler handler) {
    core_->onError = std::move(handler);
}

std::shared_ptr<detail::TaskState> TaskScope::makeTask(std::shared_ptr<void> body) {
    auto state = std::make_shared<detail::TaskState>();
    state->id = ++detail::lastTaskID;
    state->core = core_;
    state->body = std::move(body);
    return state;
}

void TaskScope::start(const std::shared_ptr<detail::TaskState>& state,
                      std::coroutine_handle<MainTask::promise_type> frame) {
    state->frame = frame;
    core_->running.emplace(state->id, state);
    const uint64_t suspension = detail::suspend(*state, frame, nullptr);
    core_->mainQueue.post(detail::resumeCallback(state, suspension));
}

void SleepAwaiter::await_suspend(std::coroutine_handle<> at) {
    const auto& state = detail::stateOf(task_);
    MainQueue& queue = detail::mainQueueOf(*state);
    // A cancel ends the wait in the next turn; the timer's late resumption then finds it over.
    auto resumeNow = std::make_shared<std::function<void()>>();
    const uint64_t suspension = detail::suspend(*state, at, [&queue, resumeNow] { queue.post(*resumeNow); });
    *resumeNow = detail::resumeCallback(state, suspension);
    queue.postAfter(duration_, *resumeNow);
}

void SleepAwaiter::await_resume() const {
    if (task_.isCancelled()) {
        throw CancelledError();
    }
}

}  // namespace nudgerly
