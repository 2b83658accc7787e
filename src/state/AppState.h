#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

#include "core/MainTask.h"
#include "modelpacks/ModelDownloadManager.h"
#include "platform/contacts/ContactsChangeObservers.h"
#include "state/AppStateDependencies.h"
#include "state/AppStateView.h"
#include "state/ContactsGate.h"
#include "state/GmailConnection.h"
#include "state/ModelController.h"
#include "state/RefreshCoordinator.h"
#include "state/SavedQueues.h"
#include "state/SnapshotFiles.h"
#include "state/StateContext.h"

namespace nudgerly {

// The one state object of the application: it loads the settings and the saved queues at start, runs
// the refresh of each source, derives the queue and carries out every user action. The window reads
// it through AppStateView. Lives on the main thread and is touched only there; every entry point
// asserts so in debug builds.
//
// Its state and logic live in its parts, and its operations delegate to them: the Local AI model
// (ModelController), the Gmail account (GmailConnection), the refresh runs (RefreshCoordinator) and
// the Contacts gate before them (ContactsGate). What is left here are the start-up, the saved
// queues, the queue view's requests and their gates, the item actions, local data and shutdown.
//
// Built in two steps: the constructor loads the settings and has the saved queues read and decoded on
// a worker (nothing in it reports an error); they are taken as they arrive, with `isLoadingSavedQueues`
// published meanwhile. `start()` subscribes to Contacts and download changes and starts the task that
// reads the Gmail status and whether Local AI can run, once the saved queues are in. Long operations
// are tasks of its own scope, destroyed with it.
class AppState final : public AppStateView {
public:
    explicit AppState(AppStateDependencies dependencies);
    ~AppState() override;

    void start();

    // ---- What the window calls (AppStateView) ----
    FeedbackDiagnostics feedbackDiagnostics() const override;
    std::filesystem::path messagesDatabase() const override { return dependencies_.messagesDatabase; }
    std::filesystem::path dataFolder() const override { return dependencies_.dataDirectory; }

    void showQueue(std::optional<ReviewSource> source, QueueCompletionScope completion) override;
    void reconcileSelection() override;
    void setLookback(LookbackWindow window) override;
    void setQueueSort(QueueSort sort) override;
    void setContactsOnly(bool on) override;
    void refreshCurrentView() override;
    void refresh(ReviewSource source, LookbackWindow lookback) override;
    void refreshAll(LookbackWindow lookback) override;

    void requestContacts() override;
    void reconcileContactsPermission(bool showError) override;
    void appDidBecomeActive() override;
    void recheckMessagesPermission() override;
    void openContactsSettings() override;
    void openFullDiskAccess() override;

    void toggleCompleted(const ReviewItem& item) override;
    void copyDraft(const ReviewItem& item) override;
    void open(const ReviewItem& item) override;

    void connectGmail() override;
    void cancelGmailAuthorization() override;
    void disconnectGmail() override;

    void deleteLocalData() override;

    void startModelDownload() override;
    void continueInBasicMode() override;
    void retryModelDownload() override;
    void cancelModelDownload() override;
    void pauseModelDownload() override;
    void resumeModelDownload() override;
    void removeLocalModel() override;
    void selectModelPack(std::string_view identifier) override;

    void shutdown() override;
    void shutdownForTermination(std::function<void()> finished) override;

    // ---- What the tests drive and read beyond the window's calls ----
    // Starts a run past the request's gates.
    void startRefresh(ReviewSource source, LookbackWindow lookback);
    void cancelRefresh(ReviewSource source);
    // Forgets the saved Messages queue: the published one, its history token and its file.
    void invalidateMessagesSnapshot();
    void schedulePendingMessagesRebuild();
    bool pendingMessagesRebuild() const { return contacts_.pendingMessagesRebuild(); }
    int64_t contactsRevision() const { return contacts_.contactsRevision(); }
    std::chrono::steady_clock::time_point contactsLaunchNotificationDeadline() const {
        return contacts_.contactsLaunchNotificationDeadline();
    }
    const ModelDownloadManager& modelDownloadManager() const { return model_.modelDownloadManager(); }

private:
    // ---- Start-up and the saved queues ----
    void loadSettings();
    // Tells the user, once, of the stored files that start-up could not take up as they were.
    void tellOfStoredFileProblems();
    // Reads the source's saved queue on a worker; the last of the two to arrive takes both.
    MainTask savedQueueLoad(TaskHandle task, ReviewSource source);
    // Takes each saved queue unless its source's snapshot was set or dropped while it was read.
    void takeSavedQueues();
    void subscribeAndStart();
    MainTask startUpTask(TaskHandle task);
    // Drops the messages deleted since from the saved Messages queue, on a worker, when it may be read.
    void removeDeletedMessagesFromSavedQueue();
    // Publishes and saves the saved Messages queue without the messages deleted since, unless a newer
    // queue took its place meanwhile.
    MainTask deletedMessagesPruning(TaskHandle task, std::shared_ptr<const ReviewSnapshot> saved);
    StateContext context();

    // ---- Gates and helpers of the queue operations ----
    bool requireModelChoice();
    bool requireContactsAccess();
    void ensureLookbackCoverageForCurrentView();
    std::string feedbackModelState() const;
    std::string feedbackRefreshState() const;

    // ---- Item actions, local data and shutdown ----
    // Publishes the completion marks and stores them under "completed-items".
    void storeCompleted(std::unordered_set<std::string> completed);
    // Hands an item's link to the desktop on a worker and says so when no program took it.
    MainTask linkOpening(TaskHandle task, std::string url, ReviewSource source);
    MainTask deleteLocalDataRun(TaskHandle task);
    void prepareForShutdown();
    MainTask terminationRun(TaskHandle task, std::function<void()> finished);

    void assertMainThread() const;

    // First, so that it goes last: the parts write through it until they are gone.
    StateHub hub_;
    AppStateDependencies dependencies_;
    SettingsStore& settings_;
    SnapshotFiles files_;
    ContactsChangeSubscription contactsStoreObserver_;
    bool startRequested_ = false;  // start() was called, maybe before the saved queues were in
    // The reads of the saved queues, what they brought, and the snapshot write counts of Messages and
    // Gmail when they began.
    std::map<ReviewSource, TaskHandle> savedQueueTasks_;
    SavedQueues savedQueues_;
    std::array<uint64_t, 2> savedQueueWrites_{};

    // The parts. They hold references to the task scope below, which is made after them: none of them
    // spawns a task while it is made.
    ModelController model_;
    GmailConnection gmail_;
    ContactsGate contacts_;
    RefreshCoordinator refreshes_;

    // Last, so that it goes first: no task frame outlives the members it uses.
    TaskScope tasks_;
};

}  // namespace nudgerly
