// Operations of the state object that are declared with the rest of its interface but not built yet.
// Each does nothing here (or gives an empty answer); it moves to the file of its own topic when it is
// built: refresh runs and the queue operations, Contacts and permissions, item actions and shutdown,
// Gmail, local data and the Local AI model.
#include "state/AppState.h"

namespace nudgerly {

// ---- Shared with the fake: the label of the last refresh ----

std::string AppStateView::lastRefreshLabel(ReviewSource source) const {
    return state().snapshot(source) ? "" : "Never refreshed";
}

// ---- Refresh runs ----

void AppState::startRefresh(ReviewSource, int64_t) {}
OperationContext AppState::beginOperation(ReviewSource source, int64_t requestedDays) {
    return {.source = source, .requestedDays = requestedDays};
}
MainAsync<SourceRefreshResult> AppState::refreshMessages(TaskHandle, OperationContext) { co_return SourceRefreshResult{}; }
MainAsync<SourceRefreshResult> AppState::refreshGmail(TaskHandle, OperationContext) { co_return SourceRefreshResult{}; }
bool AppState::operationGenerationIsCurrent(const OperationContext&) const { return false; }
bool AppState::operationIsCurrent(const OperationContext&, bool, const TaskHandle&) const { return false; }
void AppState::validateContactsAccess(const OperationContext&, bool, const TaskHandle&) {}
void AppState::setRefreshIssue(std::optional<std::string>, ReviewSource) {}
void AppState::migrateCompletedItems(const ReviewSnapshot*, const ReviewSnapshot&) {}
void AppState::apply(const ModelRunReport&, ReviewSource) {}
void AppState::routeToModelChoiceIfNeeded() {}
std::string AppState::refreshedLabel(ReviewSource) { return ""; }
void AppState::cancelRefresh(ReviewSource) {}

// ---- Queue view operations ----

FeedbackDiagnostics AppState::feedbackDiagnostics() const { return {}; }
void AppState::showQueue(std::optional<ReviewSource>, QueueCompletionScope) {}
void AppState::setLookback(LookbackWindow) {}
void AppState::setQueueSort(QueueSort) {}
void AppState::setContactsOnly(bool) {}
void AppState::refreshCurrentView() {}
void AppState::refresh(ReviewSource, int64_t) {}
void AppState::refreshAll(int64_t) {}
bool AppState::requireModelChoice() { return false; }
bool AppState::requireContactsAccess() { return false; }
void AppState::ensureLookbackCoverageForCurrentView() {}
std::string AppState::feedbackModelState() const { return ""; }
std::string AppState::feedbackRefreshState() const { return ""; }

// ---- Contacts changes, the pending rebuild and pruning ----

void AppState::contactsStoreDidChange(std::optional<std::string>) {}
void AppState::schedulePendingMessagesRebuild() {}
void AppState::removeDeletedMessagesFromSavedQueue() {}

// ---- Permissions and activation ----

void AppState::requestContacts() {}
MainAsync<> AppState::requestContactsAccess(TaskHandle) { co_return; }
void AppState::reconcileContactsPermission(bool) {}
void AppState::appDidBecomeActive() {}
void AppState::applicationDidBecomeActive() {}
void AppState::recheckMessagesPermission() {}
void AppState::openContactsSettings() {}
void AppState::openFullDiskAccess() {}

// ---- Item actions and shutdown ----

void AppState::toggleCompleted(const ReviewItem&) {}
void AppState::copyDraft(const ReviewItem&) {}
void AppState::open(const ReviewItem&) {}
void AppState::prepareForShutdown() {}
void AppState::cancelAllRefreshes() {}
void AppState::shutdown() {}
void AppState::shutdownForTermination(std::function<void()> finished) {
    if (finished) {
        finished();
    }
}

// ---- Gmail ----

void AppState::connectGmail() {}
void AppState::cancelGmailAuthorization() {}
void AppState::cancelGmailAuthorizationTask() {}
void AppState::disconnectGmail() {}

// ---- Local data ----

void AppState::deleteLocalData() {}

// ---- Local AI model ----

void AppState::startModelDownload() {}
void AppState::continueInBasicMode() {}
void AppState::retryModelDownload() {}
void AppState::cancelModelDownload() {}
void AppState::pauseModelDownload() {}
void AppState::resumeModelDownload() {}
void AppState::removeLocalModel() {}
void AppState::selectModelPack(std::string_view) {}
void AppState::completeModelChoice() {}
void AppState::modelDownloadStateDidChange(const ModelDownloadState&) {}

}  // namespace nudgerly
