#include "state/AppStateView.h"

#include "state/QueueDerivation.h"
#include "state/RefreshTimeText.h"

namespace nudgerly {

AppStateView::AppStateView(MainQueue& mainQueue, const Clock& clock)
    : mainQueue_(mainQueue), clock_(clock), publisher_(mainQueue), derived_(publisher_) {}

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

void AppStateView::publishSnapshot(ReviewSource source, std::shared_ptr<const ReviewSnapshot> snapshot,
                                   SnapshotMemo::Answers answers) {
    derived_.memo().adopt(snapshot, std::move(answers));
    publisher_.setSnapshot(source, std::move(snapshot));
}

std::shared_ptr<const QueueItems> AppStateView::visibleQueue() const { return derived_.visible(cutoff()); }

std::vector<ReviewItem> AppStateView::visibleItems() const {
    const auto items = visibleQueue();
    return {items->begin(), items->end()};
}

std::vector<ReviewItem> AppStateView::sourceScopedItems() const {
    const auto items = derived_.sourceScoped(cutoff());
    return {items->begin(), items->end()};
}

std::shared_ptr<const ReviewItem> AppStateView::selectedItem() const { return derived_.selected(cutoff()); }

int64_t AppStateView::openQueueCount(std::optional<ReviewSource> source) const {
    return derived_.openCount(source, cutoff());
}

int64_t AppStateView::completedQueueCount() const { return derived_.completedCount(cutoff()); }

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
