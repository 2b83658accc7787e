// Refresh runs: a source is read, classified, saved and published by a task of its own, and every step
// after a suspension first checks that the run still counts, so that a cancelled or superseded run
// changes nothing a newer one owns.
#include <exception>
#include <set>
#include <system_error>
#include <vector>

#include "core/FileSystemError.h"
#include "core/JsonWriter.h"
#include "review/CompletionStatePolicy.h"
#include "review/PartialSnapshotPolicy.h"
#include "state/AppState.h"
#include "state/AppStateSettings.h"
#include "state/RefreshTimeText.h"
#include "storage/SnapshotStore.h"

namespace nudgerly {

namespace {

std::string join(const std::vector<std::string>& lines) {
    std::string joined;
    for (const std::string& line : lines) {
        joined += (joined.empty() ? "" : "\n") + line;
    }
    return joined;
}

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

void AppState::startRefresh(ReviewSource source, int64_t requestedDays) {
    if (terminating_) {
        return;  // the program is ending: nothing it would save may begin
    }
    if (source == ReviewSource::messages) {
        pendingMessagesRebuild_ = false;
        contactsRebuildTask_.cancel();
        contactsRebuildTask_ = {};
    }
    const OperationContext context = beginOperation(source, requestedDays);
    refreshTasks_[source] =
        tasks_.spawn([this, context](TaskHandle task) { return refreshRun(std::move(task), context); });
}

OperationContext AppState::beginOperation(ReviewSource source, int64_t requestedDays) {
    const int64_t generation = ++refreshGenerations_[source];
    const OperationContext context{
        .source = source,
        .requestedDays = requestedDays,
        .generation = generation,
        .contactsRevision = contactsRevision_,
        .contactsHistoryToken = dependencies_.contacts->currentHistoryToken(),
    };
    // A pending Messages rebuild was settled by startRefresh, the only way a run begins.
    publisher().insertRefreshingSource(source);
    publisher().setRefreshProgress(
        source, {.source = source, .detail = "Starting " + std::string(displayName(source)) + " refresh"});
    setRefreshIssue(std::nullopt, source);
    return context;
}

MainTask AppState::refreshRun(TaskHandle task, OperationContext context) {
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
                        allowsReading(dependencies_.contacts->authorizationStatus());
    if (counts && result) {
        if (const auto warning = result->userWarning()) {
            const char* outcome =
                result->modelIssue ? " refreshed using the safe local fallback" : " refreshed with a warning";
            publisher().setActivity(std::string(displayName(source)) + outcome);
            setRefreshIssue(warning, source);
        } else {
            setRefreshIssue(std::nullopt, source);
            publisher().setActivity(refreshedLabel(source));
        }
    } else if (counts && failure) {
        setRefreshIssue(failureSentence(failure, source), source);
        publisher().setActivity(std::string(displayName(source)) + " refresh failed");
    }

    if (operationGenerationIsCurrent(context)) {
        refreshTasks_.erase(source);
        publisher().removeRefreshingSource(source);
        publisher().removeRefreshProgress(source);
        schedulePendingMessagesRebuild();
    }
}

MainAsync<SourceRefreshResult> AppState::refreshMessages(TaskHandle task, OperationContext context) {
    const auto previous = sharedSnapshot(state(), ReviewSource::messages);
    if (state().contactsPermission == ContactsPermission::notDetermined) {
        updateProgress(context, "Requesting required Contacts access");
        const auto ask = [reader = messagesReader_](std::stop_token stop) { return reader->requestContacts(stop); };
        try {
            co_await offMain(task, "Contacts access request", ask);
        } catch (const CancelledError&) {
            throw;
        } catch (...) {
            if (operationGenerationIsCurrent(context)) {
                publisher().setErrorMessage("Contacts access failed: " +
                                            failureSentence(std::current_exception(), context.source));
            }
        }
        // Whatever the answer, the permission is read again; a change of it ends this run.
        reconcileContactsPermission(false);
    }
    validateContactsAccess(context, true, task);

    updateProgress(context, "Opening the local Messages database");
    const auto scan = [reader = messagesReader_, days = context.requestedDays](std::stop_token stop) {
        return reader->scan(days, stop);
    };
    ConversationBatch batch = co_await offMain(task, "Messages scan", scan);
    validateContactsAccess(context, true, task);

    ClassifiedRun classified = co_await classify(task, context, true, std::move(batch), previous);

    // From here on nothing suspends: a run that passed the last check saves and publishes whole.
    saveAndPublish(context, previous.get(), std::move(classified.snapshot));
    if (context.contactsHistoryToken) {
        settings_.setData(AppStateSettings::messagesContactsHistoryToken, *context.contactsHistoryToken);
    } else {
        settings_.remove(AppStateSettings::messagesContactsHistoryToken);
    }
    apply(classified.report, ReviewSource::messages);
    co_return SourceRefreshResult{.sourceWarning = std::nullopt, .modelIssue = classified.report.issue};
}

MainAsync<SourceRefreshResult> AppState::refreshGmail(TaskHandle task, OperationContext context) {
    const auto previous = sharedSnapshot(state(), ReviewSource::gmail);
    validateContactsAccess(context, false, task);

    const GmailSource::Progress onProgress = progressWriter(task, context, false);
    const auto read = [gmail = gmail_, days = context.requestedDays, onProgress](std::stop_token stop) {
        return gmail->refresh(days, onProgress, stop);
    };
    ConversationBatch batch = co_await offMain(task, "Gmail refresh", read);
    validateContactsAccess(context, false, task);

    const std::optional<std::string> warning = batch.warning;
    ClassifiedRun classified = co_await classify(task, context, false, std::move(batch), previous);
    saveAndPublish(context, previous.get(), std::move(classified.snapshot));

    const auto readStatus = [gmail = gmail_](std::stop_token) { return gmail->status(); };
    const GmailConnectionStatus status = co_await offMain(task, "Gmail status", readStatus);
    // A run superseded meanwhile (a disconnect, a newer run) must not bring back an older status.
    if (operationGenerationIsCurrent(context)) {
        publisher().setGmailStatus(status);
        apply(classified.report, ReviewSource::gmail);
    }
    co_return SourceRefreshResult{.sourceWarning = warning, .modelIssue = classified.report.issue};
}

GmailSource::Progress AppState::progressWriter(const TaskHandle& task, const OperationContext& context,
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

MainAsync<AppState::ClassifiedRun> AppState::classify(TaskHandle task, OperationContext context,
                                                      bool requiresCurrentContactsSnapshot, ConversationBatch batch,
                                                      std::shared_ptr<const ReviewSnapshot> previous) {
    const std::string detail = reviewDetail(state().modelAvailability);
    const ConversationClassifier::ProgressCallback onProgress =
        [write = progressWriter(task, context, requiresCurrentContactsSnapshot), detail](
            int64_t completed, int64_t total) { write(detail, completed, total); };
    const auto job = [classifier = classifier_, batch = std::make_shared<const ConversationBatch>(std::move(batch)),
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

void AppState::saveAndPublish(const OperationContext& context, const ReviewSnapshot* previous,
                              PreparedSnapshot snapshot) {
    updateProgress(context, "Saving the updated queue");
    writeSnapshot(*snapshot.snapshot, context.source);
    migrateCompletedItems(previous, *snapshot.snapshot);
    publishSnapshot(context.source, std::move(snapshot.snapshot), std::move(snapshot.answers));
}

void AppState::updateProgress(const OperationContext& context, std::string detail) {
    if (operationGenerationIsCurrent(context)) {
        publisher().setRefreshProgress(context.source, {.source = context.source, .detail = std::move(detail)});
    }
}

void AppState::writeSnapshot(const ReviewSnapshot& snapshot, ReviewSource source) const {
    const std::filesystem::path file = snapshotFile(source);
    const std::string context = "Couldn't save \u201C" + file.filename().string() + "\u201D";
    try {
        SnapshotStore::save(snapshot, file);
    } catch (const UserFacingError&) {
        throw;
    } catch (const JsonEncodingError&) {
        throw UserFacingError(context + ": the queue holds a date or number that cannot be written.");
    } catch (const std::system_error& error) {
        throw FileSystemError(context, error.code().value());
    }
}

bool AppState::operationGenerationIsCurrent(const OperationContext& context) const {
    const auto generation = refreshGenerations_.find(context.source);
    return generation != refreshGenerations_.end() && generation->second == context.generation &&
           state().refreshingSources.contains(context.source);
}

bool AppState::operationIsCurrent(const OperationContext& context, bool requiresCurrentContactsSnapshot,
                                  const TaskHandle& task) const {
    if (task.isCancelled() || !operationGenerationIsCurrent(context)) {
        return false;
    }
    if (!allowsReading(dependencies_.contacts->authorizationStatus())) {
        return false;
    }
    return !requiresCurrentContactsSnapshot ||
           (contactsRevision_ == context.contactsRevision &&
            dependencies_.contacts->currentHistoryToken() == context.contactsHistoryToken);
}

void AppState::validateContactsAccess(const OperationContext& context, bool requiresCurrentContactsSnapshot,
                                      const TaskHandle& task) {
    const auto stillCounts = [&] { return !task.isCancelled() && operationGenerationIsCurrent(context); };
    if (!stillCounts()) {
        throw CancelledError();
    }
    if (currentContactsPermission() != state().contactsPermission) {
        reconcileContactsPermission(false);
    }
    if (!contactsAccessIsUsable()) {
        throw ContactsAccessError();
    }
    if (!stillCounts()) {
        throw CancelledError();
    }
    if (requiresCurrentContactsSnapshot &&
        (contactsRevision_ != context.contactsRevision ||
         dependencies_.contacts->currentHistoryToken() != context.contactsHistoryToken)) {
        // The queue would name people as the Contacts data no longer do: start over with the new data.
        contactsStoreDidChange(std::nullopt);
        throw CancelledError();
    }
}

void AppState::setRefreshIssue(std::optional<std::string> issue, ReviewSource source) {
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
    publisher().setErrorMessage(issues.empty() ? std::nullopt : std::optional(join(issues)));
}

void AppState::migrateCompletedItems(const ReviewSnapshot* previous, const ReviewSnapshot& refreshed) {
    if (!previous) {
        return;
    }
    const std::set<std::string> completed(state().completed.begin(), state().completed.end());
    const std::set<std::string> migrated =
        CompletionStatePolicy::migratingLegacyItems(completed, previous->items, refreshed.items);
    if (migrated == completed) {
        return;
    }
    storeCompleted({migrated.begin(), migrated.end()});
}

void AppState::apply(const ModelRunReport& report, ReviewSource source) {
    modelRunReports_[source] = report;
    std::set<std::string> issues;  // the same problem in both sources is told once
    std::optional<std::string> diagnosticCode;
    for (const ReviewSource each : allCases<ReviewSource>()) {
        const auto found = modelRunReports_.find(each);
        if (found == modelRunReports_.end()) {
            continue;
        }
        if (found->second.issue) {
            issues.insert(*found->second.issue);
        }
        if (!diagnosticCode) {
            diagnosticCode = found->second.diagnosticCode;
        }
    }
    publisher().setModelRuntimeIssue(issues.empty() ? std::nullopt
                                                    : std::optional(join({issues.begin(), issues.end()})));
    publisher().setModelRuntimeDiagnosticCode(diagnosticCode);
}

void AppState::routeToModelChoiceIfNeeded() {
    if (!contactsAccessIsUsable() || !state().needsModelChoice) {
        return;
    }
    publisher().setSection(Section::accounts);
    publisher().setSelectedItemID(std::nullopt);
    publisher().setActivity("Choose Local AI or continue in Basic Mode");
}

std::string AppState::refreshedLabel(ReviewSource source) {
    LocalCalendar calendar;  // made now, so that it follows the user's current language and zone
    return std::string(displayName(source)) + " last refreshed at " +
           RefreshTimeText::shortTime(clock().now(), calendar);
}

void AppState::cancelRefresh(ReviewSource source) {
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
