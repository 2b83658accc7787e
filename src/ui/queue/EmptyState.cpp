#include "ui/queue/EmptyState.h"

#include "platform/system/UserFolders.h"
#include "state/QueueDerivation.h"
#include "ui/queue/QueueList.h"
#include "ui/shared/ReviewDisplay.h"

namespace nudgerly {
namespace {

using namespace EmptyStateActions;

bool isScanned(const PublishedState& state, ReviewSource source) {
    return state.snapshots.contains(source);
}

// Messages can be read or Gmail is connected: a refresh has something to read.
bool hasUsableSource(const PublishedState& state) {
    return QueueDerivation::isSetUp(state, ReviewSource::messages) ||
           QueueDerivation::isSetUp(state, ReviewSource::gmail);
}

EmptyStateButton openAccountsButton() {
    return {.text = "Open Accounts", .prominent = true, .action = OpenAccounts{}};
}

}  // namespace

namespace EmptyState {

bool isInitialRefresh(const AppStateView& view) {
    if (view.visibleRefreshProgresses().empty()) {
        return false;
    }
    const PublishedState& state = view.state();
    if (state.sourceFilter) {
        return !isScanned(state, *state.sourceFilter);
    }
    return state.snapshots.empty();
}

std::string initialRefreshTitle(const PublishedState& state) {
    if (state.sourceFilter) {
        return "Building your " + std::string(ReviewDisplay::sourceName(*state.sourceFilter)) + " queue";
    }
    return "Building your follow-up queue";
}

std::string unscannedDescription(const AppStateView& view, ReviewSource source) {
    const PublishedState& state = view.state();
    if (source == ReviewSource::messages && state.messagesPermission == MessagesPermission::denied) {
        return "Put the Messages database from a Mac at " + UserFolders::shown(view.messagesDatabase()) +
               ", then check again.";
    }
    if (source == ReviewSource::gmail && !state.gmailStatus.connected) {
        return "Connect Gmail before running its first scan.";
    }
    return "Run a " + std::to_string(toRaw(QueueDerivation::viewLookback(state))) +
           " days refresh to create the first saved snapshot.";
}

std::vector<EmptyStateButton> sourceAction(const PublishedState& state, ReviewSource source) {
    if (source == ReviewSource::messages && state.messagesPermission == MessagesPermission::denied) {
        return {{.text = "Open Messages Folder", .prominent = true, .action = OpenFullDiskAccess{}},
                {.text = "Check Again", .action = CheckAgain{}}};
    }
    if (source == ReviewSource::gmail && !state.gmailStatus.connected) {
        return {openAccountsButton()};
    }
    const LookbackWindow lookback =
        source == ReviewSource::gmail ? state.refreshLookbacks.gmail : state.refreshLookbacks.messages;
    return {{.text = "Refresh " + std::string(ReviewDisplay::sourceName(source)),
             .prominent = true,
             .enabled = !state.refreshingSources.contains(source),
             .action = RefreshSource{source, lookback}}};
}

std::string allSourcesDescription(const PublishedState& state) {
    return hasUsableSource(state) ? "Refresh your connected sources to create the first saved queue."
                                  : "Set up Messages or Gmail, then refresh to create the first saved queue.";
}

std::vector<EmptyStateButton> allSourcesAction(const AppStateView& view) {
    const PublishedState& state = view.state();
    if (!hasUsableSource(state)) {
        return {openAccountsButton()};
    }
    return {{.text = "Refresh connected sources",
             .prominent = true,
             .enabled = view.canRefreshCurrentView(),
             .action = RefreshAll{state.refreshLookbacks.combined}}};
}

std::string caughtUpDescription(const PublishedState& state) {
    const ReviewSnapshot* snapshot = state.sourceFilter ? state.snapshot(*state.sourceFilter) : nullptr;
    if (!snapshot) {
        return "No open follow-ups were found for this view.";
    }
    return "The last scan reviewed " + QueueList::localizedCount(snapshot->messageCount) + " messages across " +
           QueueList::localizedCount(snapshot->activeConversations) + " conversations and found no open follow-ups.";
}

}  // namespace EmptyState

EmptyStateSpec decideEmptyState(const AppStateView& view) {
    const PublishedState& state = view.state();
    if (EmptyState::isInitialRefresh(view)) {
        return {.kind = EmptyStateKind::initialRefresh,
                .title = EmptyState::initialRefreshTitle(state),
                .description = "Results will appear here as soon as the first scan finishes."};
    }
    if (const auto source = state.sourceFilter; source && !isScanned(state, *source)) {
        return {.kind = EmptyStateKind::unscanned,
                .title = std::string(ReviewDisplay::sourceName(*source)) + " hasn\u2019t been scanned",
                .symbol = *source == ReviewSource::messages ? "message.badge" : "envelope.badge",
                .description = EmptyState::unscannedDescription(view, *source),
                .buttons = EmptyState::sourceAction(state, *source)};
    }
    if (state.completionScope == QueueCompletionScope::completed) {
        return {.kind = EmptyStateKind::nothingCompleted,
                .title = "Nothing completed yet",
                .symbol = "checkmark.circle",
                .description = "Items you mark completed will appear here."};
    }
    if (!state.sourceFilter && state.snapshots.empty()) {
        return {.kind = EmptyStateKind::nothingScanned,
                .title = "No conversations scanned yet",
                .symbol = "tray",
                .description = EmptyState::allSourcesDescription(state),
                .buttons = EmptyState::allSourcesAction(view)};
    }
    if (view.openQueueCount(state.sourceFilter) != 0) {
        return {.kind = EmptyStateKind::noMatches,
                .title = "No matching conversations",
                .symbol = "line.3.horizontal.decrease.circle",
                .description = "Try changing the status, lookback, Contacts filter, or search."};
    }
    return {.kind = EmptyStateKind::caughtUp,
            .title = "You\u2019re caught up",
            .symbol = "checkmark.circle",
            .description = EmptyState::caughtUpDescription(state)};
}

void performEmptyStateAction(const EmptyStateAction& action, AppStateView& view) {
    struct Perform {
        AppStateView& view;
        void operator()(const OpenFullDiskAccess&) const { view.openFullDiskAccess(); }
        void operator()(const CheckAgain&) const { view.recheckMessagesPermission(); }
        void operator()(const OpenAccounts&) const { view.setSection(Section::accounts); }
        void operator()(const RefreshSource& refresh) const { view.refresh(refresh.source, refresh.lookback); }
        void operator()(const RefreshAll& refresh) const { view.refreshAll(refresh.lookback); }
    };
    std::visit(Perform{view}, action);
}

}  // namespace nudgerly
