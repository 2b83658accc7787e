#include "ui/accounts/AccountRows.h"

#include "core/RawEnum.h"

namespace nudgerly {
namespace {

bool contactsUsable(const PublishedState& state) { return allowsReadingContacts(state.contactsPermission); }

bool noModelWork(const PublishedState& state) { return !state.isSwitchingModel && !state.isRemovingModel; }

// The row's refresh of one source over its own lookback window.
std::function<void()> refreshAction(AppStateView& state, ReviewSource source) {
    return [&state, source] {
        const RefreshLookbacks& lookbacks = state.state().refreshLookbacks;
        const LookbackWindow window = source == ReviewSource::messages ? lookbacks.messages : lookbacks.gmail;
        state.refresh(source, toRaw(window));
    };
}

}  // namespace

bool canRefreshSource(const PublishedState& state, ReviewSource source) {
    return contactsUsable(state) && !state.needsModelChoice && !state.refreshingSources.contains(source) &&
           noModelWork(state);
}

bool canConnectGmail(const AppStateView& state) {
    const PublishedState& published = state.state();
    return contactsUsable(published) && !published.needsModelChoice &&
           state.canConnectGmailDuringCurrentActivity() && noModelWork(published);
}

PermissionRowSpec contactsRowSpec(AppStateView& state) {
    PermissionRowSpec spec{.icon = "person.crop.circle",
                           .title = "Contacts",
                           .primaryEnabled = true,
                           .stepLabel = "Contacts access \u00B7 Required"};
    switch (state.state().contactsPermission) {
        case ContactsPermission::notDetermined:
            spec.detail = "Required to identify people and filter unknown Messages senders.";
            spec.primaryTitle = "Allow Contacts";
            spec.primary = [&state] { state.requestContacts(); };
            break;
        case ContactsPermission::granted:
            spec.detail = "Required contact access is available.";
            spec.connected = true;
            break;
        case ContactsPermission::limited:
            spec.detail = "Limited access is available. Unshared contacts are treated as unknown senders.";
            spec.connected = true;
            break;
        case ContactsPermission::denied:
            spec.detail = "Required access was not granted. Enable Contacts to continue.";
            spec.primaryTitle = "Open Settings";
            spec.primary = [&state] { state.openContactsSettings(); };
            spec.secondaryTitle = "Check again";
            spec.secondary = [&state] { state.reconcileContactsPermission(true); };
            break;
    }
    return spec;
}

PermissionRowSpec messagesRowSpec(AppStateView& state) {
    PermissionRowSpec spec{.icon = "message.fill", .title = "Messages", .primaryEnabled = true};
    switch (state.state().messagesPermission) {
        case MessagesPermission::denied:
            spec.detail = "macOS requires you to enable Full Disk Access in System Settings.";
            spec.primaryTitle = "Open Settings";
            spec.primary = [&state] { state.openFullDiskAccess(); };
            spec.secondaryTitle = "Check again";
            spec.secondary = [&state] { state.recheckMessagesPermission(); };
            break;
        case MessagesPermission::granted:
            spec.detail = "Full Disk Access is available \u00B7 " + state.lastRefreshLabel(ReviewSource::messages);
            spec.connected = true;
            spec.primaryTitle = "Refresh";
            spec.primary = refreshAction(state, ReviewSource::messages);
            spec.primaryEnabled = canRefreshSource(state.state(), ReviewSource::messages);
            break;
    }
    return spec;
}

PermissionRowSpec gmailRowSpec(AppStateView& state, std::function<void()> openGuide) {
    const PublishedState& published = state.state();
    PermissionRowSpec spec{.icon = "envelope.fill", .title = "Gmail", .primaryEnabled = true};
    if (published.gmailStatus.connected) {
        spec.detail = published.gmailStatus.email.value_or("Connected with read-only access") + " \u00B7 " +
                      state.lastRefreshLabel(ReviewSource::gmail);
        spec.connected = true;
        spec.primaryTitle = "Refresh";
        spec.primary = refreshAction(state, ReviewSource::gmail);
        spec.secondaryTitle = "Disconnect";
        spec.secondary = [&state] { state.disconnectGmail(); };
        spec.primaryEnabled = canRefreshSource(published, ReviewSource::gmail);
    } else if (published.isDisconnectingGmail) {
        spec.detail = "Removing Nudgerly's saved Gmail authorization.";
    } else if (published.gmailAuthorizationInProgress) {
        spec.detail = "Waiting for Google sign-in. If no browser window appeared, cancel this attempt and try again.";
        spec.primaryTitle = "Cancel authorization";
        // The sign-in may have ended on its own since this row was drawn; then there is nothing to stop.
        spec.primary = [&state] {
            if (state.state().gmailAuthorizationInProgress) {
                state.cancelGmailAuthorization();
            }
        };
    } else if (published.gmailStatus.configured) {
        spec.detail = contactsUsable(published) ? "Ready to request read-only Gmail access."
                                                : "Grant Contacts access before connecting Gmail.";
        spec.primaryTitle = "Connect Gmail";
        spec.primary = std::move(openGuide);
        spec.primaryEnabled = canConnectGmail(state);
    } else {
        spec.detail = "Gmail is unavailable in this build. Install the latest Nudgerly build.";
    }
    return spec;
}

PermissionRowSpec updatesRowSpec(const std::string& versionLabel, std::function<void()> checkNow) {
    return {.icon = "arrow.triangle.2.circlepath",
            .title = "Software updates",
            .detail = versionLabel + " \u00B7 Automatic updates are on \u00B7 Checks daily",
            .connected = true,
            .primaryTitle = "Check Now",
            .primary = std::move(checkNow),
            .primaryEnabled = true};
}

}  // namespace nudgerly
