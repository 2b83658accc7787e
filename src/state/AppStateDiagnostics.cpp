// The technical details a feedback report carries about this installation and its state.
#include <string>
#include <vector>

#include "services/WireValues.h"
#include "state/AppState.h"
#include "state/LocalModelStatus.h"

namespace nudgerly {
namespace {

std::string permissionText(ContactsPermission permission) {
    switch (permission) {
        case ContactsPermission::notDetermined: return "not requested";
        case ContactsPermission::granted: return "granted";
        case ContactsPermission::limited: return "limited";
        case ContactsPermission::denied: return "denied";
    }
    return "denied";
}

}  // namespace

FeedbackDiagnostics AppState::feedbackDiagnostics() const {
    assertMainThread();
    const auto& s = state();
    const AppInfo& info = dependencies_.info;
    const auto itemCount = [&](ReviewSource source) {
        const ReviewSnapshot* snapshot = s.snapshot(source);
        return snapshot ? static_cast<int64_t>(snapshot->items.size()) : 0;
    };
    const auto lastRefresh = [&](ReviewSource source) -> std::optional<std::string> {
        const ReviewSnapshot* snapshot = s.snapshot(source);
        return snapshot ? Iso8601::format(snapshot->generatedAt) : std::nullopt;
    };
    return {
        .appVersion = info.string("CFBundleShortVersionString").value_or("Development"),
        .buildNumber = info.string("CFBundleVersion").value_or("Local"),
        .macOSVersion = WireValues::operatingSystemVersion(),
        .architecture = WireValues::architecture(),
        .model = s.selectedModelPack.repository + " \u2014 " + s.selectedModelPack.filename,
        .modelState = feedbackModelState(),
        .localAIFailure = s.modelRuntimeDiagnosticCode,
        .contactsPermission = permissionText(s.contactsPermission),
        .messagesPermission = s.messagesPermission == MessagesPermission::granted ? "granted" : "denied",
        .gmailState = s.gmailStatus.connected    ? "connected"
                      : s.gmailStatus.configured ? "configured"
                                                 : "not configured",
        .messagesQueueCount = itemCount(ReviewSource::messages),
        .gmailQueueCount = itemCount(ReviewSource::gmail),
        .messagesLastRefresh = lastRefresh(ReviewSource::messages),
        .gmailLastRefresh = lastRefresh(ReviewSource::gmail),
        .refreshState = feedbackRefreshState(),
    };
}

std::string AppState::feedbackModelState() const {
    const auto& s = state();
    if (LocalModelStatus::isInstalled(s)) {
        return LocalModelStatus::hasFallenBack(s) ? "safe fallback used" : "installed";
    }
    switch (s.modelDownloadState.kind) {
        case ModelDownloadState::Kind::downloading: return "downloading";
        case ModelDownloadState::Kind::failed: return "download failed";
        case ModelDownloadState::Kind::missing: return s.needsModelChoice ? "not selected" : "basic mode";
        case ModelDownloadState::Kind::paused: return "download paused";
        case ModelDownloadState::Kind::verifying: return "verifying";
        case ModelDownloadState::Kind::installed: break;  // told above
    }
    return "not selected";
}

std::string AppState::feedbackRefreshState() const {
    const auto& s = state();
    if (s.refreshingSources.empty()) {
        return s.isDeletingLocalData ? "deleting local data" : "idle";
    }
    std::string text;
    for (const ReviewSource source : s.refreshingSources) {  // ordered: Messages first
        const auto progress = s.refreshProgressBySource.find(source);
        const bool counted =
            progress != s.refreshProgressBySource.end() && progress->second.completed && progress->second.total;
        text +=
            (text.empty() ? "" : "; ") + std::string(toRaw(source)) + " \u00B7 " +
            (counted ? std::to_string(*progress->second.completed) + " of " + std::to_string(*progress->second.total)
                     : "refreshing");
    }
    return text;
}

}  // namespace nudgerly
