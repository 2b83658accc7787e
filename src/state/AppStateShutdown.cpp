// Stopping the state object's work when the window goes or the program quits.
#include "core/RawEnum.h"
#include "state/AppState.h"
#include "state/ModelServerJobs.h"

namespace nudgerly {

namespace {

// How long quitting waits for work already running to notice it was stopped. Jobs honour a stop
// within about a second; work that was not stopped (a deletion, a model removal) gets the rest.
constexpr std::chrono::milliseconds runningWorkBound{3000};
constexpr std::chrono::milliseconds runningWorkPoll{50};

}  // namespace

void AppState::cancelAllRefreshes() {
    for (const ReviewSource source : allCases<ReviewSource>()) {
        if (refreshTasks_.contains(source)) {
            cancelRefresh(source);
        }
    }
}

void AppState::prepareForShutdown() {
    for (auto& [source, task] : savedQueueTasks_) {
        task.cancel();  // what they would take and start is not wanted any more
    }
    contactsRebuildTask_.cancel();
    cancelAllRefreshes();
    cancelGmailAuthorizationTask();
    // Paused rather than cancelled, so that the next start resumes it.
    if (state().modelDownloadState.kind == ModelDownloadState::Kind::downloading) {
        modelDownloadManager_->pause();
    }
}

void AppState::shutdown() {
    prepareForShutdown();
    tasks_.spawn([this](TaskHandle task) -> MainTask { co_await stopModelServer(std::move(task)); });
}

MainAsync<> AppState::stopModelServer(TaskHandle task) {
    const auto stopServer = ModelServerJobs::stopServer(classifier_);
    co_await offMain(task, "Model server shutdown", stopServer);
}

void AppState::shutdownForTermination(std::function<void()> finished) {
    // The window stays while quitting waits: a refresh asked for meanwhile, or the start-up's pending
    // rebuild, must not begin the work that was just stopped.
    terminating_ = true;
    prepareForShutdown();
    tasks_.spawn([this, finished = std::move(finished)](TaskHandle task) {
        return terminationRun(std::move(task), finished);
    });
}

MainTask AppState::terminationRun(TaskHandle task, std::function<void()> finished) {
    try {
        co_await stopModelServer(task);
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
