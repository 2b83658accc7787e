#include "state/RefreshCoordinator.h"

#include <exception>
#include <set>
#include <vector>

#include "platform/system/LocalCalendar.h"
#include "review/CompletionStatePolicy.h"
#include "review/PartialSnapshotPolicy.h"
#include "state/AppStateSettings.h"
#include "state/ContactsAccessRequiredError.h"
#include "state/RefreshTimeText.h"
#include "state/TextLines.h"

namespace nudgerly {

namespace {

// The sentence a failed run shows: the error's own when it has one, never a library's raw text.
std::string failureSentence(std::exception_ptr error, ReviewSource source) {
    try {
        std::rethrow_exception(error);
    } catch (const UserFacingError& failure) {
        return failure.what();
    } catch (...) {
        return std::string(displayName(source)) + " could not be refreshed because of an unexpected problem.";
    }
}

std::shared_ptr<const ReviewSnapshot> sharedSnapshot(const PublishedState& state, ReviewSource source) {
    const auto found = state.snapshots.find(source);
    return found == state.snapshots.end() ? nullptr : found->second;
}

std::string reviewDetail(const ModelAvailability& availability) {
    return availability.kind == ModelAvailability::Kind::bundled
               ? "Reviewing new or changed conversations with the local model"
               : "Reviewing new or changed conversations";
}

}  // namespace

RefreshCoordinator::RefreshCoordinator(StateContext context, ContactsGate& contacts, ModelController& model,
                                       GmailConnection& gmail, const SnapshotFiles& files, Hooks hooks)
    : context_(context), contacts_(contacts), model_(model), gmail_(gmail), files_(files), hooks_(std::move(hooks)) {}

void RefreshCoordinator::startRefresh(ReviewSource source, LookbackWindow lookback) {
    if (terminating_) {
        return;  // the program is ending: nothing it would save may begin
    }
    if (source == ReviewSource::messages) {
        contacts_.dropPendingMessagesRebuild();
    }
    const OperationContext context = beginOperation(source, lookback);
    refreshTasks_[source] =
        context_.tasks.spawn([this, context](TaskHandle task) { return refreshRun(std::move(task), context); });
}

OperationContext RefreshCoordinator::beginOperation(ReviewSource source, LookbackWindow lookback) {
    const int64_t generation = ++refreshGenerations_[source];
    const OperationContext context{
        .source = source,
        .lookback = lookback,
        .generation = generation,
        .contactsRevision = contacts_.contactsRevision(),
        .contactsHistoryToken = context_.dependencies.contacts->currentHistoryToken(),
    };
    // A pending Messages rebuild was settled by startRefresh, the only way a run begins.
    publisher().insertRefreshingSource(source);
    publisher().setRefreshProgress(
        source, {.source = source, .detail = "Starting " + std::string(displayName(source)) + " refresh"});
    setRefreshIssue(std::nullopt, source);
    return context;
}

MainTask RefreshCoordinator::refreshRun(TaskHandle task, OperationContext context) {
    const ReviewSource source = context.source;
    std::optional<SourceRefreshResult> result;
    std::exception_ptr failure;
    try {
        if (source == ReviewSource::messages) {
            SourceRefreshResult read = co_await refreshMessages(task, context);
            result = std::move(read);
        } else {
            SourceRefreshResult read = co_await refreshGmail(task, context);
            result = std::move(read);
        }
    } catch (const CancelledError&) {
        // Whoever cancelled the run has said what there is to say.
    } catch (...) {
        failure = std::current_exception();
    }

    const bool counts = !task.isCancelled() && operationGenerationIsCurrent(context) &&
                        allowsReading(context_.dependencies.contacts->authorizationStatus());
    if (counts && result) {
        if (const auto warning = result->userWarning()) {
            const char* outcome =
                result->modelIssue ? " refreshed using the safe local fallback" : " refreshed with a warning";
            lines().showActivity(std::string(displayName(source)) + outcome);
            setRefreshIssue(warning, source);
        } else {
            setRefreshIssue(std::nullopt, source);
            lines().showActivity(refreshedLabel(source));
        }
    } else if (counts && failure) {
        setRefreshIssue(failureSentence(failure, source), source);
        lines().showActivity(std::string(displayName(source)) + " refresh failed");
    }

    if (operationGenerationIsCurrent(context)) {
        refreshTasks_.erase(source);
        publisher().removeRefreshingSource(source);
        publisher().removeRefreshProgress(source);
        contacts_.schedulePendingMessagesRebuild();
    }
}

MainAsync<SourceRefreshResult> RefreshCoordinator::refreshMessages(TaskHandle task, OperationContext context) {
    const auto previous = sharedSnapshot(state(), ReviewSource::messages);
    if (state().contactsPermission == ContactsPermission::notDetermined) {
        updateProgress(context, "Requesting required Contacts access");
        const auto ask = [reader = context_.dependencies.messages](std::stop_token stop) {
            return reader->requestContacts(stop, AccessQuestion::whenUndecided);
        };
        try {
            co_await offMain(task, "Contacts access request", ask);
        } catch (const CancelledError&) {
            throw;
        } catch (...) {
            if (operationGenerationIsCurrent(context)) {
                lines().showError("Contacts access failed: " +
                                  failureSentence(std::current_exception(), context.source));
            }
        }
        // Whatever the answer, the permission is read again; a change of it ends this run.
        contacts_.reconcileContactsPermission(false);
    }
    validateContactsAccess(context, true, task);

    updateProgress(context, "Opening the local Messages database");
    const auto scan = [reader = context_.dependencies.messages, lookback = context.lookback](std::stop_token stop) {
        return reader->scan(lookback, stop);
    };
    ConversationBatch batch = co_await offMain(task, "Messages scan", scan);
    validateContactsAccess(context, true, task);

    ClassifiedRun classified = co_await classify(task, context, true, std::move(batch), previous);

    // From here on nothing suspends: a run that passed the last check saves and publishes whole.
    std::optional<std::string> saveFailure = saveAndPublish(context, previous.get(), std::move(classified.snapshot));
    // The token tells what the saved file was built with: an unsaved queue leaves the older file's.
    if (!saveFailure) {
        if (context.contactsHistoryToken) {
            context_.settings.setData(AppStateSettings::messagesContactsHistoryToken, *context.contactsHistoryToken);
        } else {
            context_.settings.remove(AppStateSettings::messagesContactsHistoryToken);
        }
        if (context_.settings.value(AppStateSettings::messagesContactsHistoryTokenUnknown)) {
            context_.settings.remove(AppStateSettings::messagesContactsHistoryTokenUnknown);
        }
    }
    model_.apply(classified.report, ReviewSource::messages);
    co_return SourceRefreshResult{.modelIssue = classified.report.issue, .saveFailure = std::move(saveFailure)};
}

MainAsync<SourceRefreshResult> RefreshCoordinator::refreshGmail(TaskHandle task, OperationContext context) {
    const auto previous = sharedSnapshot(state(), ReviewSource::gmail);
    validateContactsAccess(context, false, task);

    const GmailSource::Progress onProgress = progressWriter(task, context, false);
    const auto read = [gmail = gmail_.service(), lookback = context.lookback, onProgress](std::stop_token stop) {
        return gmail->refresh(lookback, onProgress, stop);
    };
    ConversationBatch batch = co_await offMain(task, "Gmail refresh", read);
    validateContactsAccess(context, false, task);

    const std::optional<std::string> warning = batch.warning;
    ClassifiedRun classified = co_await classify(task, context, false, std::move(batch), previous);
    std::optional<std::string> saveFailure = saveAndPublish(context, previous.get(), std::move(classified.snapshot));

    const auto readStatus = [gmail = gmail_.service()](std::stop_token) { return gmail->status(); };
    const GmailConnectionStatus status = co_await offMain(task, "Gmail status", readStatus);
    // A run superseded meanwhile (a disconnect, a newer run) must not bring back an older status.
    if (operationGenerationIsCurrent(context)) {
        publisher().setGmailStatus(status);
        model_.apply(classified.report, ReviewSource::gmail);
    }
    co_return SourceRefreshResult{
        .sourceWarning = warning, .modelIssue = classified.report.issue, .saveFailure = std::move(saveFailure)};
}

GmailSource::Progress RefreshCoordinator::progressWriter(const TaskHandle& task, const OperationContext& context,
                                                         bool requiresCurrentContactsSnapshot) {
    return [this, task, context, requiresCurrentContactsSnapshot](
               const std::string& detail, std::optional<int64_t> completed, std::optional<int64_t> total) {
        // Checked before the state object is touched: a line may arrive after it is gone.
        if (task.isCancelled() || task.isFinished() ||
            !operationIsCurrent(context, requiresCurrentContactsSnapshot, task)) {
            return;
        }
        publisher().setRefreshProgress(
            context.source, {.source = context.source, .detail = detail, .completed = completed, .total = total});
    };
}

MainAsync<RefreshCoordinator::ClassifiedRun> RefreshCoordinator::classify(
    TaskHandle task, OperationContext context, bool requiresCurrentContactsSnapshot, ConversationBatch batch,
    std::shared_ptr<const ReviewSnapshot> previous) {
    const std::string detail = reviewDetail(state().modelAvailability);
    const ConversationClassifier::ProgressCallback onProgress =
        [write = progressWriter(task, context, requiresCurrentContactsSnapshot), detail](
            int64_t completed, int64_t total) { write(detail, completed, total); };
    const auto job = [classifier = model_.classifier(),
                      batch = std::make_shared<const ConversationBatch>(std::move(batch)),
                      previous = std::move(previous), onProgress](std::stop_token stop) {
        // The worker copies what it reuses: the published snapshot is shared, never lent.
        const std::optional<ReviewSnapshot> reused = previous ? std::optional(*previous) : std::nullopt;
        SnapshotClassificationResult result = classifier->makeSnapshotWithReport(*batch, reused, onProgress, stop);
        if (stop.stop_requested()) {
            throw CancelledError();  // what a stopped run gathered is only part of the queue
        }
        if (!batch->unavailableConversationIDs.empty()) {
            result.snapshot = PartialSnapshotPolicy::preservingUnavailableConversations(
                reused, result.snapshot, batch->unavailableConversationIDs);
        }
        return ClassifiedRun{PreparedSnapshot::of(std::move(result.snapshot), stop), std::move(result.report)};
    };
    const std::string label = std::string(displayName(context.source)) + " classification";
    ClassifiedRun classified = co_await offMain(task, label, job);
    validateContactsAccess(context, requiresCurrentContactsSnapshot, task);
    co_return classified;
}

std::optional<std::string> RefreshCoordinator::saveAndPublish(const OperationContext& context,
                                                              const ReviewSnapshot* previous,
                                                              PreparedSnapshot snapshot) {
    updateProgress(context, "Saving the updated queue");
    std::optional<std::string> saveFailure;
    try {
        files_.write(*snapshot.snapshot, context.source);
    } catch (const UserFacingError& failure) {
        // A full disk must not hide what the run found: the queue is shown until the program ends.
        saveFailure = "The refreshed " + std::string(displayName(context.source)) +
                      " queue is shown but was not saved. " + failure.what();
    }
    migrateCompletedItems(previous, *snapshot.snapshot, saveFailure.has_value());
    hooks_.publishSnapshot(context.source, std::move(snapshot.snapshot), std::move(snapshot.answers));
    return saveFailure;
}

void RefreshCoordinator::updateProgress(const OperationContext& context, std::string detail) {
    if (operationGenerationIsCurrent(context)) {
        publisher().setRefreshProgress(context.source, {.source = context.source, .detail = std::move(detail)});
    }
}

bool RefreshCoordinator::operationGenerationIsCurrent(const OperationContext& context) const {
    const auto generation = refreshGenerations_.find(context.source);
    return generation != refreshGenerations_.end() && generation->second == context.generation &&
           state().refreshingSources.contains(context.source);
}

bool RefreshCoordinator::operationIsCurrent(const OperationContext& context, bool requiresCurrentContactsSnapshot,
                                            const TaskHandle& task) const {
    if (task.isCancelled() || !operationGenerationIsCurrent(context)) {
        return false;
    }
    if (!allowsReading(context_.dependencies.contacts->authorizationStatus())) {
        return false;
    }
    return !requiresCurrentContactsSnapshot ||
           (contacts_.contactsRevision() == context.contactsRevision &&
            context_.dependencies.contacts->currentHistoryToken() == context.contactsHistoryToken);
}

void RefreshCoordinator::validateContactsAccess(const OperationContext& context, bool requiresCurrentContactsSnapshot,
                                                const TaskHandle& task) {
    const auto stillCounts = [&] { return !task.isCancelled() && operationGenerationIsCurrent(context); };
    if (!stillCounts()) {
        throw CancelledError();
    }
    if (context_.currentContactsPermission() != state().contactsPermission) {
        contacts_.reconcileContactsPermission(false);
    }
    if (!contactsAccessIsUsable(state())) {
        throw ContactsAccessRequiredError();
    }
    if (!stillCounts()) {
        throw CancelledError();
    }
    if (requiresCurrentContactsSnapshot &&
        (contacts_.contactsRevision() != context.contactsRevision ||
         context_.dependencies.contacts->currentHistoryToken() != context.contactsHistoryToken)) {
        // The queue would name people as the Contacts data no longer do: start over with the new data.
        contacts_.contactsStoreDidChange(std::nullopt);
        throw CancelledError();
    }
}

void RefreshCoordinator::setRefreshIssue(std::optional<std::string> issue, ReviewSource source) {
    if (issue) {
        sourceRefreshIssues_[source] = std::move(*issue);
    } else {
        sourceRefreshIssues_.erase(source);
    }
    std::vector<std::string> issues;
    for (const ReviewSource each : allCases<ReviewSource>()) {
        if (const auto found = sourceRefreshIssues_.find(each); found != sourceRefreshIssues_.end()) {
            issues.push_back(found->second);
        }
    }
    if (issues.empty()) {
        lines().clearError();
    } else {
        lines().showError(joinLines(issues));
    }
}

void RefreshCoordinator::migrateCompletedItems(const ReviewSnapshot* previous, const ReviewSnapshot& refreshed,
                                               bool keepPrevious) {
    if (!previous) {
        return;
    }
    const std::set<std::string> completed(state().completed.begin(), state().completed.end());
    std::set<std::string> migrated =
        CompletionStatePolicy::migratingLegacyItems(completed, previous->items, refreshed.items);
    if (keepPrevious) {
        migrated.insert(completed.begin(), completed.end());
    }
    if (migrated == completed) {
        return;
    }
    hooks_.storeCompleted({migrated.begin(), migrated.end()});
}

std::string RefreshCoordinator::refreshedLabel(ReviewSource source) const {
    LocalCalendar calendar;  // made now, so that it follows the user's current language and zone
    return std::string(displayName(source)) + " last refreshed at " +
           RefreshTimeText::shortTime(context_.clock().now(), calendar);
}

void RefreshCoordinator::cancelAllRefreshes() {
    for (const ReviewSource source : allCases<ReviewSource>()) {
        if (refreshTasks_.contains(source)) {
            cancelRefresh(source);
        }
    }
}

void RefreshCoordinator::cancelRefresh(ReviewSource source) {
    const auto found = refreshTasks_.find(source);
    if (found == refreshTasks_.end() || !found->second) {
        return;
    }
    ++refreshGenerations_[source];
    found->second.cancel();
    refreshTasks_.erase(found);
    publisher().removeRefreshingSource(source);
    publisher().removeRefreshProgress(source);
}

}  // namespace nudgerly
