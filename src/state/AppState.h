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

#include "classifier/ConversationClassifier.h"
#include "classifier/ModelRunReport.h"
#include "core/MainTask.h"
#include "core/UserFacingError.h"
#include "modelpacks/ModelDownloadManager.h"
#include "platform/contacts/ContactsChangeObservers.h"
#include "state/AppStateDependencies.h"
#include "state/AppStateView.h"
#include "state/OperationContext.h"
#include "state/PreparedSnapshot.h"
#include "state/SavedQueues.h"

namespace nudgerly {

// The one state object of the application: it loads the settings and the saved queues at start, runs
// the refresh of each source, derives the queue and carries out every user action. The window reads
// it through AppStateView. Lives on the main thread and is touched only there.
//
// Built in two steps: the constructor loads the settings and has the saved queues read and decoded on
// a worker (nothing in it reports an error); they are taken as they arrive, with `isLoadingSavedQueues`
// published meanwhile. `start()` subscribes to Contacts and download changes and starts the task that
// reads the Gmail status and whether Local AI can run, once the saved queues are in. Long operations
// are tasks of its own scope, destroyed with it.
class AppState final : public AppStateView {
public:
    using Section = nudgerly::Section;
    using OperationContext = nudgerly::OperationContext;
    using SourceRefreshResult = nudgerly::SourceRefreshResult;

    explicit AppState(AppStateDependencies dependencies);
    ~AppState() override;

    void start();

    // ---- What the window calls (AppStateView) ----
    FeedbackDiagnostics feedbackDiagnostics() const override;

    void showQueue(std::optional<ReviewSource> source, QueueCompletionScope completion) override;
    void reconcileSelection() override;
    void setLookback(LookbackWindow window) override;
    void setQueueSort(QueueSort sort) override;
    void setContactsOnly(bool on) override;
    void refreshCurrentView() override;
    void refresh(ReviewSource source, int64_t requestedDays) override;
    void refreshAll(int64_t requestedDays) override;

    void requestContacts() override;
    void reconcileContactsPermission(bool showError) override;
    void appDidBecomeActive() override;
    void applicationDidBecomeActive() override;
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

    // ---- Refresh runs ----
    void startRefresh(ReviewSource source, int64_t requestedDays);
    OperationContext beginOperation(ReviewSource source, int64_t requestedDays);
    MainAsync<SourceRefreshResult> refreshMessages(TaskHandle task, OperationContext context);
    MainAsync<SourceRefreshResult> refreshGmail(TaskHandle task, OperationContext context);
    bool operationGenerationIsCurrent(const OperationContext& context) const;
    bool operationIsCurrent(const OperationContext& context, bool requiresCurrentContactsSnapshot,
                            const TaskHandle& task) const;
    // Throws CancelledError when the run no longer counts, and the Contacts access error without access.
    void validateContactsAccess(const OperationContext& context, bool requiresCurrentContactsSnapshot,
                                const TaskHandle& task);
    void setRefreshIssue(std::optional<std::string> issue, ReviewSource source);
    void migrateCompletedItems(const ReviewSnapshot* previous, const ReviewSnapshot& refreshed);
    void apply(const ModelRunReport& report, ReviewSource source);
    void routeToModelChoiceIfNeeded();
    std::string refreshedLabel(ReviewSource source);
    void cancelRefresh(ReviewSource source);

    // ---- Contacts changes, the pending rebuild and pruning ----
    void contactsStoreDidChange(std::optional<std::string> activity);
    // Forgets the saved Messages queue: the published one, its history token and its file.
    void invalidateMessagesSnapshot();
    void schedulePendingMessagesRebuild();
    void removeDeletedMessagesFromSavedQueue();

    // ---- What the tests read of the plain state ----
    bool pendingMessagesRebuild() const { return pendingMessagesRebuild_; }
    int64_t contactsRevision() const { return contactsRevision_; }
    std::chrono::steady_clock::time_point contactsLaunchNotificationDeadline() const {
        return contactsLaunchNotificationDeadline_;
    }
    const ModelDownloadManager& modelDownloadManager() const { return *modelDownloadManager_; }
    ConversationClassifier& classifier() { return *classifier_; }

private:
    // ---- Refresh runs ----
    // A refresh or a Gmail sign-in needs Contacts access, and it is not there.
    class ContactsAccessError : public UserFacingError {
    public:
        static constexpr const char* sentence =
            "Nudgerly requires Contacts access before it can review Messages or Gmail.";
        ContactsAccessError() : UserFacingError(sentence) {}
    };
    // The run of one refresh, from the source read to its clean-up.
    MainTask refreshRun(TaskHandle task, OperationContext context);
    // Shows the run's progress line, while its generation is current.
    void updateProgress(const OperationContext& context, std::string detail);
    // Shows the progress a worker reports, on the main thread, while the run is current.
    GmailSource::Progress progressWriter(const TaskHandle& task, const OperationContext& context,
                                         bool requiresCurrentContactsSnapshot);
    // Classifies the batch on a worker and checks the run again. The previous queue entries of the
    // conversations the batch could not read are kept.
    struct ClassifiedRun {
        PreparedSnapshot snapshot;
        ModelRunReport report;
    };
    MainAsync<ClassifiedRun> classify(TaskHandle task, OperationContext context, bool requiresCurrentContactsSnapshot,
                                      ConversationBatch batch, std::shared_ptr<const ReviewSnapshot> previous);
    // Saves the run's snapshot, carries the completion marks over and publishes it. Throws when saving fails.
    void saveAndPublish(const OperationContext& context, const ReviewSnapshot* previous, PreparedSnapshot snapshot);
    // Writes the source's snapshot file atomically; a failure is a UserFacingError naming the file.
    void writeSnapshot(const ReviewSnapshot& snapshot, ReviewSource source) const;

    // ---- Start-up ----
    void loadModelChoice();
    void loadSettings();
    // Tells the user, once, of the stored files that start-up could not take up as they were.
    void tellOfStoredFileProblems();
    // Reads the source's saved queue on a worker; the last of the two to arrive takes both.
    MainTask savedQueueLoad(TaskHandle task, ReviewSource source);
    // Takes each saved queue unless its source's snapshot was set or dropped while it was read.
    void takeSavedQueues();
    void subscribeAndStart();
    void observeModelDownloadManager(ModelDownloadManager& manager);
    void stopObservingModelDownloadManager();
    MainTask startUpTask(TaskHandle task);
    // Contacts access as the store says now, mapped for the window.
    ContactsPermission currentContactsPermission() const;
    bool contactsAccessIsUsable() const;
    std::filesystem::path snapshotFile(ReviewSource source) const;

    // ---- Gates and helpers of the queue operations ----
    bool requireModelChoice();
    bool requireContactsAccess();
    void ensureLookbackCoverageForCurrentView();
    std::string feedbackModelState() const;
    std::string feedbackRefreshState() const;

    // ---- Contacts changes and permissions ----
    // Whether a pending Messages rebuild may start now: everything its refresh request checks allows it.
    bool messagesRebuildCanStart() const;
    MainTask messagesRebuildRun(TaskHandle task);
    // Publishes and saves the saved Messages queue without the messages deleted since, unless a newer
    // queue took its place meanwhile.
    MainTask deletedMessagesPruning(TaskHandle task, std::shared_ptr<const ReviewSnapshot> saved);
    // Contacts access is gone: every refresh, the rebuild and the Gmail sign-in stop, and the accounts
    // page shows; with `showAlert` also the alert that says where to allow it.
    void stopWorkWithoutContactsAccess(bool showAlert);
    bool alertIsAboutContactsAccess() const;
    // Publishes the saved Messages queue that waited for a new Contacts answer, once access is usable;
    // false (and it is forgotten) otherwise.
    bool restoreMessagesQueueAwaitingContacts();
    MainAsync<> requestContactsAccess(TaskHandle task);

    // ---- Item actions and shutdown ----
    // Publishes the completion marks and stores them under "completed-items".
    void storeCompleted(std::unordered_set<std::string> completed);
    void prepareForShutdown();
    void cancelAllRefreshes();
    // Stops the classifier's model server on a worker and waits for it.
    MainAsync<> stopModelServer(TaskHandle task);
    MainTask terminationRun(TaskHandle task, std::function<void()> finished);

    // ---- Gmail and the model ----
    void cancelGmailAuthorizationTask();
    MainTask gmailAuthorizationRun(TaskHandle task, bool wasConnected);
    MainTask gmailDisconnectRun(TaskHandle task);
    MainTask deleteLocalDataRun(TaskHandle task);
    // Whether a model operation holds the model; the model operations wait for it.
    bool isChangingModel() const;
    void completeModelChoice();
    void modelDownloadStateDidChange(const ModelDownloadState& state);
    MainTask removeLocalModelRun(TaskHandle task, ModelDownloadManager* manager, ModelPack pack);
    MainTask modelSwitchRun(TaskHandle task, ModelPack pack, int64_t generation);
    MainTask modelAvailabilityRecheck(TaskHandle task, int64_t generation);
    // Forgets what the previous model reported about itself.
    void clearModelRuntimeReports();

    AppStateDependencies dependencies_;
    SettingsStore& settings_;

    // The services the state object owns (its plain stored properties).
    std::shared_ptr<MessagesSource> messagesReader_;
    std::shared_ptr<GmailSource> gmail_;
    std::shared_ptr<ConversationClassifier> classifier_;
    std::unique_ptr<ModelDownloadManager> modelDownloadManager_;
    ContactsChangeSubscription contactsStoreObserver_;
    std::optional<ModelDownloadManager::ObserverID> modelDownloadObserver_;
    TaskHandle contactsRebuildTask_;
    std::map<ReviewSource, TaskHandle> refreshTasks_;
    TaskHandle gmailAuthorizationTask_;
    std::map<ReviewSource, int64_t> refreshGenerations_;
    int64_t contactsRevision_ = 0;
    std::chrono::steady_clock::time_point contactsLaunchNotificationDeadline_;
    bool pendingMessagesRebuild_ = false;
    // The saved Messages queue while a damaged Contacts answer leaves access undecided: the user may
    // grant it again, and then it is shown (and rebuilt) instead of lost. Its file and token stay.
    std::shared_ptr<const ReviewSnapshot> messagesQueueAwaitingContacts_;
    bool terminating_ = false;  // quitting has begun; no refresh starts any more
    bool startRequested_ = false;  // start() was called, maybe before the saved queues were in
    // The reads of the saved queues, what they brought, and the snapshot write counts of Messages and
    // Gmail when they began.
    std::map<ReviewSource, TaskHandle> savedQueueTasks_;
    SavedQueues savedQueues_;
    std::array<uint64_t, 2> savedQueueWrites_{};
    int64_t modelSelectionGeneration_ = 0;
    std::map<ReviewSource, ModelRunReport> modelRunReports_;
    std::map<ReviewSource, std::string> sourceRefreshIssues_;

    // Last, so that it goes first: no task frame outlives the members it uses.
    TaskScope tasks_;
};

}  // namespace nudgerly
