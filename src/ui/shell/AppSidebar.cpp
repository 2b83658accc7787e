#include "ui/shell/AppSidebar.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "state/AppStateView.h"
#include "state/LocalModelStatus.h"
#include "ui/accounts/ModelRowPresentation.h"

namespace nudgerly::AppSidebar {

const std::vector<Section>& sections() {
    static const std::vector<Section> all{
        {"Queue",
         {{SidebarDestination::queueAll, "All", "inbox"},
          {SidebarDestination::queueMessages, "Messages", "message"},
          {SidebarDestination::queueGmail, "Gmail", "envelope"},
          {SidebarDestination::queueCompleted, "Completed", "checkmark.circle"}}},
        {"Nudgerly",
         {{SidebarDestination::accounts, "Accounts", "at"},
          {SidebarDestination::privacy, "Privacy", "lock.shield"},
          {SidebarDestination::feedback, "Send Feedback", "bubble.left.and.text.bubble.right"}}},
    };
    return all;
}

std::optional<int64_t> count(const AppStateView& state, SidebarDestination destination) {
    switch (destination) {
        case SidebarDestination::queueAll: return state.openQueueCount(std::nullopt);
        case SidebarDestination::queueMessages: return state.openQueueCount(ReviewSource::messages);
        case SidebarDestination::queueGmail: return state.openQueueCount(ReviewSource::gmail);
        case SidebarDestination::queueCompleted: return state.completedQueueCount();
        case SidebarDestination::accounts:
        case SidebarDestination::privacy:
        case SidebarDestination::feedback: return std::nullopt;
    }
    return std::nullopt;
}

SidebarDestination selection(const PublishedState& state) {
    switch (state.section) {
        case nudgerly::Section::accounts: return SidebarDestination::accounts;
        case nudgerly::Section::privacy: return SidebarDestination::privacy;
        case nudgerly::Section::feedback: return SidebarDestination::feedback;
        case nudgerly::Section::queue: break;
    }
    if (state.completionScope == QueueCompletionScope::completed) {
        return SidebarDestination::queueCompleted;
    }
    if (!state.sourceFilter) {
        return SidebarDestination::queueAll;
    }
    return *state.sourceFilter == ReviewSource::messages ? SidebarDestination::queueMessages
                                                         : SidebarDestination::queueGmail;
}

void select(AppStateView& state, SidebarDestination destination) {
    switch (destination) {
        case SidebarDestination::queueAll: state.showQueue(std::nullopt, QueueCompletionScope::open); return;
        case SidebarDestination::queueMessages:
            state.showQueue(ReviewSource::messages, QueueCompletionScope::open);
            return;
        case SidebarDestination::queueGmail: state.showQueue(ReviewSource::gmail, QueueCompletionScope::open); return;
        case SidebarDestination::queueCompleted: state.showQueue(std::nullopt, QueueCompletionScope::completed); return;
        case SidebarDestination::accounts: state.setSection(nudgerly::Section::accounts); return;
        case SidebarDestination::privacy: state.setSection(nudgerly::Section::privacy); return;
        case SidebarDestination::feedback: state.setSection(nudgerly::Section::feedback); return;
    }
}

LocalAIStatus localAIStatus(const PublishedState& state) {
    if (LocalModelStatus::isInstalled(state)) {
        if (LocalModelStatus::hasFallenBack(state)) {
            return {"Basic fallback"};
        }
        return {.value = "Installed", .good = true};
    }
    const ModelDownloadState& download = state.modelDownloadState;
    switch (download.kind) {
        case ModelDownloadState::Kind::downloading:
            if (download.waitingForNetwork) {
                return {downloadWaitingForNetwork};
            }
            return {"Downloading " + downloadPercent(download.receivedBytes, download.totalBytes)};
        case ModelDownloadState::Kind::failed: return {"Download failed"};
        case ModelDownloadState::Kind::missing:
            if (state.needsModelChoice) {
                return {"Choose a mode"};
            }
            return {.value = "Basic mode", .neutral = true};
        case ModelDownloadState::Kind::paused: return {"Download paused"};
        case ModelDownloadState::Kind::verifying: return {"Verifying download"};
        case ModelDownloadState::Kind::installed: break;  // told above
    }
    return {};
}

std::string downloadPercent(int64_t received, int64_t total) {
    if (total < 1) {
        return "";
    }
    const double percent = std::round(static_cast<double>(received) / static_cast<double>(total) * 100.0);
    // Compared before converting, so a negative or enormous count never overflows the integer.
    const int whole = percent <= 0.0 ? 0 : percent >= 100.0 ? 100 : static_cast<int>(percent);
    char digits[4];
    const auto end = std::to_chars(digits, digits + sizeof digits, whole).ptr;
    return std::string(digits, end) + "%";
}

std::vector<SidebarStatusLineSpec> statusLines(const AppStateView& state) {
    const PublishedState& published = state.state();
    const LocalAIStatus localAI = localAIStatus(published);
    return {
        {"Messages", state.lastRefreshLabel(ReviewSource::messages),
         published.messagesPermission == MessagesPermission::granted, false},
        {"Gmail", state.lastRefreshLabel(ReviewSource::gmail), published.gmailStatus.connected, false},
        {"Local AI", localAI.value, localAI.good, localAI.neutral},
    };
}

}  // namespace nudgerly::AppSidebar
