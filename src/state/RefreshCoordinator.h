#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

#include "classifier/ConversationClassifier.h"
#include "core/MainTask.h"
#include "state/ContactsGate.h"
#include "state/GmailConnection.h"
#include "state/ModelController.h"
#include "state/OperationContext.h"
#include "state/PreparedSnapshot.h"
#include "state/SnapshotFiles.h"
#include "state/StateContext.h"

namespace nudgerly {

// The refresh runs of the state object: a source is read, classified, saved and published by a task
// of its own, and every step after a suspension first checks that the run still counts (its source's
// generation, the task, Contacts access and, for Messages, the Contacts data it began with), so that a
// cancelled or superseded run changes nothing a newer one owns. It keeps the last warning or failure
// of each source for the alert. Main thread only.
class RefreshCoordinator {
public:
    struct Hooks {
        // Publishes the completion marks and stores them, after a run carried them over to new keys.
        std::function<void(std::unordered_set<std::string> completed)> storeCompleted;
        // Publishes a run's snapshot with what the derivation needs of it, worked out on the worker.
        std::function<void(ReviewSource, std::shared_ptr<const ReviewSnapshot>, SnapshotMemo::Answers)> publishSnapshot;
    };

    RefreshCoordinator(StateContext context, ContactsGate& contacts, ModelController& model, GmailConnection& gmail,
                       const SnapshotFiles& files, Hooks hooks);
    RefreshCoordinator(const RefreshCoordinator&) = delete;
    RefreshCoordinator& operator=(const RefreshCoordinator&) = delete;

    // Starts a run of the source, once its request passed the gates; none while quitting.
    void startRefresh(ReviewSource source, LookbackWindow lookback);
    void cancelRefresh(ReviewSource source);
    void cancelAllRefreshes();
    // Quitting has begun: no refresh starts any more.
    void beginTermination() { terminating_ = true; }
    bool isTerminating() const { return terminating_; }
    // Forgets the warnings and failures of the last runs (the local data were deleted).
    void clearRefreshIssues() { sourceRefreshIssues_.clear(); }

private:
    const PublishedState& state() const { return context_.state(); }
    StatePublisher& publisher() { return context_.publisher; }
    StatusLines& lines() { return context_.lines; }

    OperationContext beginOperation(ReviewSource source, LookbackWindow lookback);
    // The run of one refresh, from the source read to its clean-up.
    MainTask refreshRun(TaskHandle task, OperationContext context);
    MainAsync<SourceRefreshResult> refreshMessages(TaskHandle task, OperationContext context);
    MainAsync<SourceRefreshResult> refreshGmail(TaskHandle task, OperationContext context);
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
    // Saves the run's snapshot, carries the completion marks over and publishes it. A queue that could
    // not be saved is published all the same, and the sentence saying so comes back.
    std::optional<std::string> saveAndPublish(const OperationContext& context, const ReviewSnapshot* previous,
                                              PreparedSnapshot snapshot);
    // Shows the run's progress line, while its generation is current.
    void updateProgress(const OperationContext& context, std::string detail);
    bool operationGenerationIsCurrent(const OperationContext& context) const;
    bool operationIsCurrent(const OperationContext& context, bool requiresCurrentContactsSnapshot,
                            const TaskHandle& task) const;
    // Throws CancelledError when the run no longer counts, and ContactsAccessRequiredError without access.
    void validateContactsAccess(const OperationContext& context, bool requiresCurrentContactsSnapshot,
                                const TaskHandle& task);
    void setRefreshIssue(std::optional<std::string> issue, ReviewSource source);
    // With `keepPrevious` the marks of the previous items stay beside their new keys, as the saved
    // file still holds those items.
    void migrateCompletedItems(const ReviewSnapshot* previous, const ReviewSnapshot& refreshed, bool keepPrevious);
    std::string refreshedLabel(ReviewSource source) const;

    StateContext context_;
    ContactsGate& contacts_;
    ModelController& model_;
    GmailConnection& gmail_;
    const SnapshotFiles& files_;
    Hooks hooks_;
    std::map<ReviewSource, TaskHandle> refreshTasks_;
    std::map<ReviewSource, int64_t> refreshGenerations_;
    std::map<ReviewSource, std::string> sourceRefreshIssues_;
    bool terminating_ = false;
};

}  // namespace nudgerly
