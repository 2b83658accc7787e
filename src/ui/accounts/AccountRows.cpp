#include "ui/accounts/AccountRows.h"

#include "core/RawEnum.h"
#include "platform/system/UserFolders.h"
#include "sources/gmail/oauth/GmailError.h"

namespace nudgerly {
namespace {

bool contactsUsable(const PublishedState& state) {
    return allowsReadingContacts(state.contactsPermission);
}

bool noModelWork(const PublishedState& state) {
    return !state.isSwitchingModel && !state.isRemovingModel;
}

// The row's refresh of one source over its own lookback window.
std::function<void()> refreshAction(AppStateView& state, ReviewSource source) {
    return [&state, source] {
        const RefreshLookbacks& lookbacks = state.state().refreshLookbacks;
        const LookbackWindow window = source == ReviewSource::messages ? lookbacks.messages : lookbacks.gmail;
        state.refresh(source, window);
    };
}

}  // namespace

bool canRefreshSource(const PublishedState& state, ReviewSource source) {
    return contactsUsable(state) && !state.needsModelChoice && !state.refreshingSources.contains(source) &&
           noModelWork(state);
}

bool canConnectGmail(const AppStateView& state) {
    const PublishedState& published = state.state();
    return contactsUsable(published) && !published.needsModelChoice && state.canConnectGmailDuringCurrentActivity() &&
           noModelWork(published);
}

PermissionRowSpec contactsRowSpec(AppStateView& state) {
    PermissionRowSpec details{.icon = "person.crop.circle",
                              .title = "Contacts",
                              .primaryEnabled = true,
                              .stepLabel = "Contacts access \u00B7 Required"};
    switch (state.state().contactsPermission) {
        case ContactsPermission::notDetermined:
            details.detail = "Required to identify people and filter unknown Messages senders.";
            details.primaryTitle = "Allow Contacts";
            details.primary = [&state] { state.requestContacts(); };
            break;
        case ContactsPermission::granted:
            details.detail = "Required contact access is available.";
            details.connected = true;
            break;
        case ContactsPermission::limited:
            details.detail = "Limited access is available. Unshared contacts are treated as unknown senders.";
            details.connected = true;
            break;
        case ContactsPermission::denied:
            details.detail = "Required access was not granted. Enable Contacts to continue.";
            details.primaryTitle = "Open Settings";
            details.primary = [&state] { state.openContactsSettings(); };
            details.secondaryTitle = "Check again";
            details.secondary = [&state] { state.reconcileContactsPermission(true); };
            break;
    }
    return details;
}

PermissionRowSpec messagesRowSpec(AppStateView& state) {
    PermissionRowSpec details{.icon = "message.fill", .title = "Messages", .primaryEnabled = true};
    switch (state.state().messagesPermission) {
        case MessagesPermission::denied:
            details.detail = "Nudgerly reads the Messages database copied from a Mac. Put it at " +
                             UserFolders::shown(state.messagesDatabase()) + ", then check again.";
            details.primaryTitle = "Open Messages Folder";
            details.primary = [&state] { state.openFullDiskAccess(); };
            details.secondaryTitle = "Check again";
            details.secondary = [&state] { state.recheckMessagesPermission(); };
            break;
        case MessagesPermission::granted:
            details.detail = "Messages database found \u00B7 " + state.lastRefreshLabel(ReviewSource::messages);
            details.connected = true;
            details.primaryTitle = "Refresh";
            details.primary = refreshAction(state, ReviewSource::messages);
            details.primaryEnabled = canRefreshSource(state.state(), ReviewSource::messages);
            break;
    }
    return details;
}

PermissionRowSpec gmailRowSpec(AppStateView& state, std::function<void()> openGuide) {
    const PublishedState& published = state.state();
    PermissionRowSpec details{.icon = "envelope.fill", .title = "Gmail", .primaryEnabled = true};
    if (published.gmailStatus.connected) {
        details.detail = published.gmailStatus.email.value_or("Connected with read-only access") + " \u00B7 " +
                         state.lastRefreshLabel(ReviewSource::gmail);
        details.connected = true;
        details.primaryTitle = "Refresh";
        details.primary = refreshAction(state, ReviewSource::gmail);
        details.secondaryTitle = "Disconnect";
        details.secondary = [&state] { state.disconnectGmail(); };
        details.primaryEnabled = canRefreshSource(published, ReviewSource::gmail);
    } else if (published.isDisconnectingGmail) {
        details.detail = "Removing Nudgerly's saved Gmail authorization.";
    } else if (published.gmailAuthorizationInProgress) {
        details.detail =
            "Waiting for Google sign-in. If no browser window appeared, cancel this attempt and try again.";
        details.primaryTitle = "Cancel authorization";
        // The sign-in may have ended on its own since this row was drawn; then there is nothing to stop.
        details.primary = [&state] {
            if (state.state().gmailAuthorizationInProgress) {
                state.cancelGmailAuthorization();
            }
        };
    } else if (published.gmailStatus.configured) {
        details.detail = contactsUsable(published) ? "Ready to request read-only Gmail access."
                                                   : "Grant Contacts access before connecting Gmail.";
        details.primaryTitle = "Connect Gmail";
        details.primary = std::move(openGuide);
        details.primaryEnabled = canConnectGmail(state);
    } else {
        details.detail = GmailError::missingOAuthClient(state.dataFolder()).what();
    }
    return details;
}

PermissionRowSpec updatesRowSpec(const std::string& versionLabel, std::function<void()> checkNow) {
    return {.icon = "arrow.triangle.2.circlepath",
            .title = "Software updates",
            .detail = versionLabel + " \u00B7 Updates come from your package manager",
            .connected = true,
            .primaryTitle = "Check Now",
            .primary = std::move(checkNow),
            .primaryEnabled = true};
}

}  // namespace nudgerly
