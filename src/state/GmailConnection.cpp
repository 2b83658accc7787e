// Connecting and disconnecting the one Gmail account. The browser sign-in runs in a task the user can
// cancel; a new connection is published and followed at once by a Gmail refresh.
#include "state/GmailConnection.h"

#include <exception>

#include "core/CancelledError.h"
#include "state/ContactsAccessRequiredError.h"

namespace nudgerly {

GmailConnection::GmailConnection(StateContext context, std::shared_ptr<GmailSource> gmail, Hooks hooks)
    : context_(context), gmail_(std::move(gmail)), hooks_(std::move(hooks)) {}

void GmailConnection::connectGmail() {
    if (state().gmailAuthorizationInProgress) {
        lines().showError(
            "A Google sign-in attempt is still waiting. Cancel authorization to stop it and start again.");
        return;
    }
    if (state().isDisconnectingGmail) {
        lines().showError("Wait for Gmail to finish disconnecting before connecting again.");
        return;
    }
    if (!context_.view.canConnectGmailDuringCurrentActivity()) {
        lines().showError("Wait for the Gmail operation to finish before connecting Gmail.");
        return;
    }
    const bool wasConnected = state().gmailStatus.connected;
    publisher().setGmailAuthorizationInProgress(true);
    lines().clearError();
    gmailAuthorizationTask_ = context_.tasks.spawn(
        [this, wasConnected](TaskHandle task) { return gmailAuthorizationRun(std::move(task), wasConnected); });
}

MainTask GmailConnection::gmailAuthorizationRun(TaskHandle task, bool wasConnected) {
    try {
        // The task's stop token ends the wait for the browser's callback.
        const auto signIn = [gmail = gmail_](std::stop_token stop) { return gmail->connect(stop); };
        const GmailConnectionStatus connected = co_await offMain(task, "Gmail sign-in", signIn);
        if (task.isCancelled()) {
            throw CancelledError();  // the tokens were kept just before the cancel; a disconnect follows
        }
        if (allowsReadingContacts(context_.currentContactsPermission())) {
            publisher().setGmailStatus(connected);
            lines().showActivity("Gmail connected");
            hooks_.refreshGmail();
        } else {
            const auto undo = [gmail = gmail_](std::stop_token) { gmail->disconnect(); };
            if (!wasConnected) {
                co_await offMain(task, "Gmail disconnect", undo);
                if (!allowsReadingContacts(context_.currentContactsPermission())) {
                    co_await offMain(task, "Gmail disconnect", undo);
                }
            }
            // A reconnection keeps its new tokens, so the account shown must be the one they are for.
            publisher().setGmailStatus(gmail_->status());
            throw ContactsAccessRequiredError();
        }
    } catch (const CancelledError&) {
    } catch (const std::exception& error) {
        if (!task.isCancelled()) {
            lines().showError(error.what());
        }
    }
    // A newer sign-in may own the flag and the handle by now.
    if (gmailAuthorizationTask_ == task) {
        gmailAuthorizationTask_ = {};
        publisher().setGmailAuthorizationInProgress(false);
    }
}

void GmailConnection::cancelGmailAuthorization() {
    if (!state().gmailAuthorizationInProgress) {
        return;
    }
    cancelGmailAuthorizationTask();
    lines().clearError();
    lines().showActivity("Gmail authorization canceled");
}

void GmailConnection::cancelGmailAuthorizationTask() {
    gmailAuthorizationTask_.cancel();
    gmailAuthorizationTask_ = {};
    publisher().setGmailAuthorizationInProgress(false);
}

void GmailConnection::disconnectGmail() {
    if (state().isDisconnectingGmail) {
        return;
    }
    // A sign-in still waiting would connect again afterwards.
    if (state().gmailAuthorizationInProgress) {
        cancelGmailAuthorizationTask();
    }
    if (state().refreshingSources.contains(ReviewSource::gmail)) {
        hooks_.cancelGmailRefresh();
    }
    publisher().setIsDisconnectingGmail(true);
    publisher().setGmailStatus(
        {.configured = state().gmailStatus.configured, .connected = false, .email = std::nullopt});
    lines().showActivity("Disconnecting Gmail");
    context_.tasks.spawn([this](TaskHandle task) { return gmailDisconnectRun(std::move(task)); });
}

MainTask GmailConnection::gmailDisconnectRun(TaskHandle task) {
    const auto disconnect = [gmail = gmail_](std::stop_token) {
        gmail->disconnect();
        return gmail->status();
    };
    const GmailConnectionStatus status = co_await offMain(task, "Gmail disconnect", disconnect);
    publisher().setGmailStatus(status);
    publisher().setIsDisconnectingGmail(false);
    lines().showActivity("Gmail disconnected");
}

}  // namespace nudgerly
