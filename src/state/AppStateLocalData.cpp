// Deleting local data: Gmail is disconnected, the model server stopped, the completion marks and run
// reports forgotten and every file of the data folder but the model packs deleted; the settings stay.
#include <exception>

#include "state/AppState.h"
#include "state/AppStateSettings.h"
#include "storage/AppFiles.h"

namespace nudgerly {

void AppState::deleteLocalData() {
    assertMainThread();
    const PublishedState& s = state();
    if (isRefreshing() || s.gmailAuthorizationInProgress || s.isDisconnectingGmail || isChangingModel(s)) {
        lines().showError(
            "Wait for the current refresh or Local AI model operation to finish before deleting local data.");
        return;
    }
    contacts_.dropPendingMessagesRebuild();
    publisher().setIsDeletingLocalData(true);
    lines().clearError();
    lines().showActivity("Deleting local Nudgerly data");
    tasks_.spawn([this](TaskHandle task) { return deleteLocalDataRun(std::move(task)); });
}

MainTask AppState::deleteLocalDataRun(TaskHandle task) {
    // A removal that did not take leaves the token item behind, and the service cannot tell: look.
    const auto disconnect = [gmail = gmail_.service()](std::stop_token stop) {
        gmail->disconnect();
        return !gmail->hasStoredTokens(stop);
    };
    const bool tokensDeleted = co_await offMain(task, "Gmail disconnect", disconnect);
    co_await model_.stopModelServer(task);

    model_.clearModelRuntimeReports();
    refreshes_.clearRefreshIssues();
    publisher().setCompleted({});
    settings_.remove(AppStateSettings::completedItems);
    publisher().setCompletionScope(QueueCompletionScope::open);

    const auto deleteFiles = [folder = dependencies_.dataDirectory](std::stop_token) -> std::optional<std::string> {
        try {
            AppFiles::deleteLocalData(folder);
            return std::nullopt;
        } catch (const std::exception& error) {
            return error.what();
        }
    };
    const std::optional<std::string> filesError = co_await offMain(task, "Local data deletion", deleteFiles);

    if (tokensDeleted && !filesError) {
        publisher().setSnapshots({});
        contacts_.forgetMessagesQueueAwaitingContacts();
        settings_.remove(AppStateSettings::messagesContactsHistoryToken);
        settings_.remove(AppStateSettings::messagesContactsHistoryTokenUnknown);
        publisher().setSelectedItemID(std::nullopt);
        publisher().setSearch("");
        publisher().setStatusFilter(std::nullopt);
        lines().showActivity("Local Nudgerly data deleted");
    } else {
        std::string reason = tokensDeleted ? "" : "The stored Gmail tokens could not be deleted.";
        if (filesError) {
            reason += (reason.empty() ? "" : " ") + *filesError;
        }
        lines().showActivity("Some local data could not be deleted");
        lines().showError("Nudgerly disconnected Gmail, but could not remove all cached data: " + reason);
        reconcileSelection();
    }

    const auto reloadClient = [gmail = gmail_.service()](std::stop_token) {
        gmail->reloadClientConfiguration();
        return gmail->status();
    };
    const GmailConnectionStatus status = co_await offMain(task, "Gmail client reload", reloadClient);
    publisher().setGmailStatus(status);
    contacts_.dropPendingMessagesRebuild();
    publisher().setIsDeletingLocalData(false);
}

}  // namespace nudgerly
