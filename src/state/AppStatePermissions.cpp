// The two permissions the program needs: Contacts access, without which no queue is shown or refreshed,
// and Full Disk Access, which opens the Messages database. They are asked for, re-read whenever the
// window comes back, and shown in their folders so the user can grant them.
#include <exception>
#include <utility>

#include "core/Files.h"
#include "core/RawEnum.h"
#include "core/UserFacingError.h"
#include "state/AppState.h"

namespace nudgerly {

namespace {

const std::string enableInSettings =
    "Nudgerly requires Contacts access. Enable it in System Settings \u2192 Privacy & Security \u2192 Contacts.";
const std::string allowInSettings =
    "Nudgerly requires Contacts access. Open System Settings \u2192 Privacy & Security \u2192 Contacts and enable "
    "Nudgerly.";

std::string readyActivity(ContactsPermission permission) {
    return permission == ContactsPermission::limited ? "Limited Contacts access is ready" : "Contacts access is ready";
}

}  // namespace

bool AppState::alertIsAboutContactsAccess() const {
    const auto& message = state().errorMessage;
    return message && message->find("Contacts access") != std::string::npos;
}

void AppState::stopWorkWithoutContactsAccess(bool showAlert) {
    pendingMessagesRebuild_ = false;
    contactsRebuildTask_.cancel();
    contactsRebuildTask_ = {};
    cancelAllRefreshes();
    cancelGmailAuthorizationTask();
    publisher().setSection(Section::accounts);
    publisher().setSelectedItemID(std::nullopt);
    publisher().setActivity("Contacts access is required");
    if (showAlert) {
        publisher().setErrorMessage(enableInSettings);
    }
}

void AppState::reconcileContactsPermission(bool showError) {
    const ContactsPermission previous = state().contactsPermission;
    const bool alertWasAboutAccess = alertIsAboutContactsAccess();
    publisher().setContactsPermission(currentContactsPermission());
    const ContactsPermission permission = state().contactsPermission;
    const bool changed = permission != previous;
    if (changed) {
        ++contactsRevision_;
        if (!restoreMessagesQueueAwaitingContacts()) {
            invalidateMessagesSnapshot();
        }
    }

    if (!contactsAccessIsUsable()) {
        stopWorkWithoutContactsAccess(showError || allowsReadingContacts(previous));
        return;
    }
    if (changed) {
        pendingMessagesRebuild_ = true;
        if (state().refreshingSources.contains(ReviewSource::messages)) {
            cancelRefresh(ReviewSource::messages);
        }
        schedulePendingMessagesRebuild();
    }
    if (alertWasAboutAccess) {
        publisher().setErrorMessage(std::nullopt);
    }
    if (changed || alertWasAboutAccess) {
        publisher().setActivity(readyActivity(permission));
    }
    routeToModelChoiceIfNeeded();
}

bool AppState::restoreMessagesQueueAwaitingContacts() {
    auto saved = std::exchange(messagesQueueAwaitingContacts_, nullptr);
    if (!saved || !contactsAccessIsUsable()) {
        return false;
    }
    publisher().setSnapshot(ReviewSource::messages, std::move(saved));
    reconcileSelection();
    return true;
}

void AppState::requestContacts() {
    tasks_.spawn([this](TaskHandle task) -> MainTask { co_await requestContactsAccess(std::move(task)); });
}

MainAsync<> AppState::requestContactsAccess(TaskHandle task) {
    // The store's question is answered in the window, on the main thread, while this job waits for it.
    const auto ask = [reader = messagesReader_](std::stop_token stop) { return reader->requestContacts(stop); };
    std::exception_ptr failure;
    try {
        co_await offMain(task, "Contacts access request", ask);
    } catch (const CancelledError&) {
        throw;
    } catch (...) {
        failure = std::current_exception();
    }

    reconcileContactsPermission(false);
    if (!failure && contactsAccessIsUsable()) {
        publisher().setErrorMessage(std::nullopt);
        publisher().setActivity(readyActivity(state().contactsPermission));
        routeToModelChoiceIfNeeded();
        co_return;
    }
    publisher().setSection(Section::accounts);
    if (!contactsAccessIsUsable()) {
        publisher().setErrorMessage(allowInSettings);
        co_return;
    }
    std::string reason = "the request failed unexpectedly.";
    try {
        std::rethrow_exception(failure);
    } catch (const UserFacingError& error) {
        reason = error.what();
    } catch (...) {
    }
    publisher().setErrorMessage("Contacts access could not be checked: " + reason);
}

void AppState::appDidBecomeActive() {
    const ContactsPermission previous = state().contactsPermission;
    reconcileContactsPermission(false);
    // A limited grant may have been given other contacts while the program was in the background.
    if (previous == ContactsPermission::limited && state().contactsPermission == ContactsPermission::limited) {
        contactsStoreDidChange("Revalidating limited Contacts access");
    }
}

void AppState::applicationDidBecomeActive() {
    publisher().setMessagesPermission(dependencies_.messagesPermission());
    removeDeletedMessagesFromSavedQueue();
}

void AppState::recheckMessagesPermission() {
    publisher().setMessagesPermission(dependencies_.messagesPermission());
    if (state().messagesPermission == MessagesPermission::granted) {
        refresh(ReviewSource::messages, toRaw(state().refreshLookbacks.messages));
    }
}

// The settings panes of the original platform have no counterpart here: the folder whose access is
// missing is shown instead, the nearest one that exists when it is not there yet.
void AppState::openContactsSettings() {
    if (const auto folder = nearestExistingFolder(dependencies_.contactsFolder)) {
        dependencies_.opener->openFolder(*folder);
    }
}

void AppState::openFullDiskAccess() {
    if (const auto folder = nearestExistingFolder(dependencies_.messagesDatabase.parent_path())) {
        dependencies_.opener->openFolder(*folder);
    }
}

}  // namespace nudgerly
