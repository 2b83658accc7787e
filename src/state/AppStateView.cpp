#include "state/AppStateView.h"

#include <utility>

#include "state/QueueDerivation.h"
#include "state/RefreshTimeText.h"

namespace nudgerly {

AppStateView::AppStateView(StateHub& hub) : hub_(hub) {}

AppStateView::~AppStateView() = default;

void AppStateView::assertMainThread() const {
    nudgerly::assertMainThread(hub_.mainQueue());
}

void AppStateView::setSection(Section section) {
    assertMainThread();
    publisher().setSection(section);
}

void AppStateView::setStatusFilter(std::optional<ReviewStatus> status) {
    assertMainThread();
    publisher().setStatusFilter(status);
}

void AppStateView::setSearch(std::string search) {
    assertMainThread();
    publisher().setSearch(std::move(search));
}

void AppStateView::setSelectedItemID(std::optional<std::string> id) {
    assertMainThread();
    publisher().setSelectedItemID(std::move(id));
}

void AppStateView::dismissError() {
    lines().clearError();
}

bool AppStateView::isRefreshing() const {
    return !state().refreshingSources.empty() || state().isDeletingLocalData;
}

bool AppStateView::canConnectGmailDuringCurrentActivity() const {
    return !state().refreshingSources.contains(ReviewSource::gmail) && !state().isDeletingLocalData;
}

std::shared_ptr<const QueueItems> AppStateView::visibleQueue() const {
    return hub_.derived().visible(cutoff());
}

std::vector<ReviewItem> AppStateView::visibleItems() const {
    const auto items = visibleQueue();
    return {items->begin(), items->end()};
}

std::vector<ReviewItem> AppStateView::sourceScopedItems() const {
    const auto items = hub_.derived().sourceScoped(cutoff());
    return {items->begin(), items->end()};
}

std::shared_ptr<const ReviewItem> AppStateView::selectedItem() const {
    return hub_.derived().selected(cutoff());
}

int64_t AppStateView::openQueueCount(std::optional<ReviewSource> source) const {
    return hub_.derived().openCount(source, cutoff());
}

int64_t AppStateView::completedQueueCount() const {
    return hub_.derived().completedCount(cutoff());
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
    return RefreshTimeText::lastRefreshLabel(snapshot->generatedAt, hub_.clock().now(), hub_.calendar());
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
