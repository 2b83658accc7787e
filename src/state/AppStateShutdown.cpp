// Stopping the state object's work when the window goes or the program quits.
#include "state/AppState.h"

namespace nudgerly {

namespace {

// How long quitting waits for work already running to notice it was stopped. Jobs honour a stop
// within about a second; work that was not stopped (a deletion, a model removal) gets the rest.
constexpr std::chrono::milliseconds runningWorkBound{3000};
constexpr std::chrono::milliseconds runningWorkPoll{50};

}  // namespace

void AppState::prepareForShutdown() {
    for (auto& [source, task] : savedQueueTasks_) {
        task.cancel();  // what they would take and start is not wanted any more
    }
    contacts_.cancelMessagesRebuild();
    refreshes_.cancelAllRefreshes();
    gmail_.cancelGmailAuthorizationTask();
    model_.pauseForShutdown();
}

void AppState::shutdown() {
    assertMainThread();
    prepareForShutdown();
    tasks_.spawn([this](TaskHandle task) -> MainTask { co_await model_.stopModelServer(std::move(task)); });
}

void AppState::shutdownForTermination(std::function<void()> finished) {
    assertMainThread();
    // The window stays while quitting waits: a refresh asked for meanwhile, or the start-up's pending
    // rebuild, must not begin the work that was just stopped.
    refreshes_.beginTermination();
    prepareForShutdown();
    tasks_.spawn(
        [this, finished = std::move(finished)](TaskHandle task) { return terminationRun(std::move(task), finished); });
}

MainTask AppState::terminationRun(TaskHandle task, std::function<void()> finished) {
    try {
        co_await model_.stopModelServer(task);
    } catch (const CancelledError&) {
        // The workers are stopping already; the classifier stops its server when it goes.
    }
    // Cancelled tasks end once their jobs do. This task is one of the running ones.
    const auto deadline = clock().steadyNow() + runningWorkBound;
    while (tasks_.runningCount() > 1 && clock().steadyNow() < deadline) {
        co_await sleepFor(task, runningWorkPoll);
    }
    // Posted, so that `finished` may end the program, and this state object with it, outside this task.
    if (finished) {
        mainQueue().post(std::move(finished));
    }
}

}  // namespace nudgerly
