#include "state/AppStateView.h"

#include "state/QueueDerivation.h"
#include "state/RefreshTimeText.h"

namespace nudgerly {

AppStateView::AppStateView(MainQueue& mainQueue, const Clock& clock)
    : mainQueue_(mainQueue), clock_(clock), publisher_(mainQueue) {}

AppStateView::~AppStateView() = default;

Date AppStateView::cutoff() const {
    return QueueDerivation::lookbackCutoff(state(), clock_.now(), calendar_);
}

bool AppStateView::isRefreshing() const {
    return !state().refreshingSources.empty() || state().isDeletingLocalData;
}

bool AppStateView::canConnectGmailDuringCurrentActivity() const {
    return !state().refreshingSources.contains(ReviewSource::gmail) && !state().isDeletingLocalData;
}

std::vector<ReviewItem> AppStateView::sourceScopedItems() const {
    return QueueDerivation::sourceScopedItems(state(), cutoff(), memo_);
}

std::vector<ReviewItem> AppStateView::visibleItems() const {
    return QueueDerivation::visibleItems(state(), cutoff(), memo_);
}

std::optional<ReviewItem> AppStateView::selectedItem() const {
    return QueueDerivation::selectedItem(state(), cutoff(), memo_);
}

int64_t AppStateView::openQueueCount(std::optional<ReviewSource> source) const {
    return QueueDerivation::openQueueCount(state(), source, cutoff(), memo_);
}

int64_t AppStateView::completedQueueCount() const {
    return QueueDerivation::completedQueueCount(state(), cutoff(), memo_);
}

std::vector<RefreshProgress> AppStateView::visibleRefreshProgresses() const {
    return QueueDerivation::visibleRefreshProgresses(state());
}

bool AppStateView::isRefreshingCurrentView() const {
    return QueueDerivation::isRefreshingCurrentView(state());
}

bool AppStateView::canRefreshCurrentView() const {
    return QueueDerivation::canRefreshCurrentView(state());
}

std::string AppStateView::rangeSummary() const {
    return QueueDerivation::rangeSummary(state());
}

std::string AppStateView::refreshLabel() const {
    if (!state().sourceFilter) {
        return "Refresh All";
    }
    return *state().sourceFilter == ReviewSource::messages ? "Refresh Messages" : "Refresh Gmail";
}

std::string AppStateView::lastRefreshLabel(ReviewSource source) const {
    const ReviewSnapshot* snapshot = state().snapshot(source);
    if (!snapshot) {
        return "Never refreshed";
    }
    return RefreshTimeText::lastRefreshLabel(snapshot->generatedAt, clock_.now(), calendar_);
}

bool AppStateView::canSelectModelPack() const {
    const auto& s = state();
    const auto download = s.modelDownloadState.kind;
    // The environment's model is loaded whatever pack is chosen.
    return !s.environmentModelFile && !isRefreshing() && !s.gmailAuthorizationInProgress && !s.isSwitchingModel &&
           !s.isRemovingModel && download != ModelDownloadState::Kind::downloading &&
           download != ModelDownloadState::Kind::verifying;
}

}  // namespace nudgerly
