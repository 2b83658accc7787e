// What the queue screens ask of the state object to change what the queue shows, and their refresh
// requests. A request passes two gates first: a model choice made, and Contacts access.
#include <algorithm>
#include <string>
#include <vector>

#include "review/RefreshLaunchPolicy.h"
#include "state/AppState.h"
#include "state/AppStateSettings.h"
#include "state/ContactsAccessRequiredError.h"
#include "state/MessagesDatabaseMissingError.h"
#include "state/QueueDerivation.h"

namespace nudgerly {

bool AppState::requireModelChoice() {
    const auto& s = state();
    const char* refusal = s.isSwitchingModel || s.isRemovingModel ? "Finish the Local AI model operation first"
                          : s.needsModelChoice                    ? "Choose Local AI or continue in Basic Mode"
                                                                  : nullptr;
    if (!refusal) {
        return true;
    }
    publisher().setSection(Section::accounts);
    publisher().setSelectedItemID(std::nullopt);
    lines().showActivity(refusal);
    return false;
}

bool AppState::requireContactsAccess() {
    contacts_.reconcileContactsPermission(false);
    if (contactsAccessIsUsable(state())) {
        return true;
    }
    publisher().setSection(Section::accounts);
    publisher().setSelectedItemID(std::nullopt);
    lines().showActivity("Contacts access is required");
    lines().showError(ContactsAccessRequiredError::sentence);
    return false;
}

void AppState::showQueue(std::optional<ReviewSource> source, QueueCompletionScope completion) {
    assertMainThread();
    if (!requireModelChoice() || !requireContactsAccess()) {
        return;
    }
    publisher().setSection(Section::queue);
    publisher().setSourceFilter(source);
    publisher().setCompletionScope(completion);
    reconcileSelection();
    if (completion == QueueCompletionScope::open) {
        ensureLookbackCoverageForCurrentView();
    }
}

void AppState::setLookback(LookbackWindow window) {
    assertMainThread();
    RefreshLookbacks lookbacks = state().refreshLookbacks;
    const auto filter = state().sourceFilter;
    LookbackWindow& scoped = !filter                             ? lookbacks.combined
                             : *filter == ReviewSource::messages ? lookbacks.messages
                                                                 : lookbacks.gmail;
    if (scoped == window) {
        return;
    }
    scoped = window;
    const std::string_view key = !filter                             ? AppStateSettings::lookbackDaysCombined
                                 : *filter == ReviewSource::messages ? AppStateSettings::lookbackDaysMessages
                                                                     : AppStateSettings::lookbackDaysGmail;
    publisher().setRefreshLookbacks(lookbacks);
    settings_.setInteger(key, toRaw(window));
    ensureLookbackCoverageForCurrentView();
}

void AppState::ensureLookbackCoverageForCurrentView() {
    const auto& s = state();
    if (s.isDeletingLocalData) {
        return;  // no refresh may start, so announce none
    }
    if (!s.sourceFilter && isRefreshingCurrentView()) {
        return;
    }
    const LookbackWindow lookback = QueueDerivation::viewLookback(s);
    const int64_t days = toRaw(lookback);
    std::vector<ReviewSource> targets;
    bool anySetUp = false;
    for (const ReviewSource source : QueueDerivation::viewSources(s)) {
        // A source the user never set up is not short of anything: its refusal would raise an alert on
        // every visit, where its view's empty state already says how to set it up.
        if (!QueueDerivation::isSetUp(s, source)) {
            continue;
        }
        anySetUp = true;
        const ReviewSnapshot* snapshot = s.snapshot(source);
        const bool isShort = !snapshot || QueueDerivation::savedDays(*snapshot) < days;
        if (isShort && !s.refreshingSources.contains(source)) {
            targets.push_back(source);
        }
    }
    const std::string count = std::to_string(days);
    if (targets.empty()) {
        if (anySetUp && !isRefreshingCurrentView()) {
            lines().showActivity("Showing the last " + count + " days from saved history");
        }
    } else if (targets.size() == 2) {
        lines().showActivity("Expanding Messages and Gmail history to " + count + " days");
        refreshAll(lookback);
    } else {
        lines().showActivity("Expanding " + std::string(displayName(targets.front())) + " history to " + count +
                             " days");
        refresh(targets.front(), lookback);
    }
}

void AppState::setQueueSort(QueueSort sort) {
    assertMainThread();
    publisher().setQueueSort(sort);
    settings_.setString(AppStateSettings::queueSort, toRaw(sort));
}

void AppState::setContactsOnly(bool on) {
    assertMainThread();
    publisher().setContactsOnly(on);
    settings_.setBool(AppStateSettings::contactsOnly, on);
    const ReviewSnapshot* messages = state().snapshot(ReviewSource::messages);
    // Queues saved before the known-contact flag existed lack it until Messages is read again.
    if (on && messages &&
        std::ranges::any_of(messages->items, [](const ReviewItem& item) { return !item.isKnownContact.has_value(); })) {
        lines().showActivity("Refresh Messages once to apply the Contacts-only filter");
    }
}

void AppState::refreshCurrentView() {
    assertMainThread();
    const auto& s = state();
    if (!s.sourceFilter) {
        refreshAll(s.refreshLookbacks.combined);
    } else {
        refresh(*s.sourceFilter, QueueDerivation::viewLookback(s));
    }
}

void AppState::refresh(ReviewSource source, LookbackWindow lookback) {
    assertMainThread();
    if (state().isDeletingLocalData) {
        return;  // a run's save would bring back a file the deletion removes
    }
    if (!requireModelChoice() || !requireContactsAccess()) {
        return;
    }
    if (state().refreshingSources.contains(source)) {
        return;  // a running refresh is neither restarted nor cancelled by another request
    }
    if (source == ReviewSource::gmail && !state().gmailStatus.connected) {
        publisher().setSection(Section::accounts);
        lines().showError("Connect Gmail before refreshing it.");
        return;
    }
    if (source == ReviewSource::messages && state().messagesPermission != MessagesPermission::granted) {
        lines().showError(MessagesDatabaseMissingError(dependencies_.messagesDatabase).what());
        return;
    }
    refreshes_.startRefresh(source, lookback);
}

void AppState::refreshAll(LookbackWindow lookback) {
    assertMainThread();
    if (state().isDeletingLocalData) {
        return;  // a run's save would bring back a file the deletion removes
    }
    if (!requireModelChoice() || !requireContactsAccess()) {
        return;
    }
    const auto& s = state();
    std::vector<ReviewSource> targets;
    for (const ReviewSource source : RefreshLaunchPolicy::launchableTargets(std::nullopt, s.refreshingSources)) {
        if (QueueDerivation::isSetUp(s, source)) {
            targets.push_back(source);
        }
    }
    if (targets.empty()) {
        if (!QueueDerivation::isSetUp(s, ReviewSource::messages) && !QueueDerivation::isSetUp(s, ReviewSource::gmail)) {
            publisher().setSection(Section::accounts);
            lines().showActivity("Connect Messages or Gmail before refreshing");
        }
        return;
    }
    lines().showActivity(targets.size() == 2 ? "Refreshing Messages and Gmail in parallel"
                                             : "Refreshing " + std::string(displayName(targets.front())));
    for (const ReviewSource source : targets) {
        refreshes_.startRefresh(source, lookback);
    }
}

}  // namespace nudgerly
