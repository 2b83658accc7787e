#pragma once

#include <string>
#include <vector>

#include "review/ReviewSource.h"
#include "state/AppStateView.h"
#include "ui/shared/EmptyStateSpec.h"

namespace nudgerly {

// The empty state for the view that is shown, assuming it lists nothing.
EmptyStateSpec decideEmptyState(const AppStateView& view);

// Carries out a button's action: a state operation, or showing the accounts page.
void performEmptyStateAction(const EmptyStateAction& action, AppStateView& view);

// The pieces of the decision, each for the view that is shown.
namespace EmptyState {

// A refresh of the view runs and the view has never produced a saved queue.
bool isInitialRefresh(const AppStateView& view);
// "Building your … queue".
std::string initialRefreshTitle(const PublishedState& state);
std::string unscannedDescription(const AppStateView& view, ReviewSource source);
std::vector<EmptyStateButton> sourceAction(const PublishedState& state, ReviewSource source);
std::string allSourcesDescription(const PublishedState& state);
std::vector<EmptyStateButton> allSourcesAction(const AppStateView& view);
std::string caughtUpDescription(const PublishedState& state);

}  // namespace EmptyState

}  // namespace nudgerly
