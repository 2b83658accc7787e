#pragma once

#include <functional>
#include <string>

#include "review/ReviewSource.h"
#include "state/AppStateView.h"
#include "ui/shared/PermissionRow.h"

// The four permission cards of the accounts page, worked out afresh from the state on every change.
// Their buttons call the state object's operations; the page supplies what only it can do (open the
// Gmail guide, ask the updater).
namespace nudgerly {

// Whether a source's "Refresh" can be pressed: Contacts usable, a model choice made, the source not
// refreshing, no model being switched or removed; the first failing test decides.
bool canRefreshSource(const PublishedState& state, ReviewSource source);
// Whether "Connect Gmail" can be pressed: Contacts usable, a model choice made, Gmail neither
// refreshing nor being deleted, no model being switched or removed.
bool canConnectGmail(const AppStateView& state);

PermissionRowSpec contactsRowSpec(AppStateView& state);
PermissionRowSpec messagesRowSpec(AppStateView& state);
// `openGuide` runs on "Connect Gmail": the sign-in starts only from the guide.
PermissionRowSpec gmailRowSpec(AppStateView& state, std::function<void()> openGuide);
// `checkNow` asks the updater to check.
PermissionRowSpec updatesRowSpec(const std::string& versionLabel, std::function<void()> checkNow);

}  // namespace nudgerly
