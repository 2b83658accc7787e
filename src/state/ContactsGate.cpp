// The Messages queue names people as the Contacts data did when it was built. When the contacts or the
// access to them change, the saved queue goes and a Messages refresh rebuilds it shortly afterwards,
// once nothing stands in its way. Without access no queue is shown or refreshed.
#include "state/ContactsGate.h"

#include <exception>
#include <utility>

#include "core/UserFacingError.h"

namespace nudgerly {

namespace {

// Contacts notifications that change nothing visible are ignored this long after start-up.
constexpr std::chrono::seconds contactsLaunchGracePeriod{5};
// A burst of changes starts one rebuild, this long after the last of them.
constexpr std::chrono::milliseconds messagesRebuildDelay{300};

// The program's own prompt is where access is given on this platform, and the Accounts page asks it.
const std::string allowOnAccountsPage = "Nudgerly requires Contacts access. Allow it on the Accounts page.";

std::string readyActivity(ContactsPermission permission) {
    return permission == ContactsPermission::limited ? "Limited Contacts access is ready" : "Contacts access is ready";
}

}  // namespace

ContactsGate::ContactsGate(StateContext context, Hooks hooks)
    : context_(context),
      hooks_(std::move(hooks)),
      contactsLaunchNotificationDeadline_(context.clock().steadyNow() + contactsLaunchGracePeriod) {}

void ContactsGate::contactsStoreDidChange(std::optional<std::string> activity) {
    const ContactsPermission previous = state().contactsPermission;
    const bool alertWasAboutAccess = alertIsAboutContactsAccess();
    publisher().setContactsPermission(context_.currentContactsPermission());
    const ContactsPermission permission = state().contactsPermission;

    // Right after start-up the store announces what the saved queue was already built with.
    const bool inGracePeriod = context_.clock().steadyNow() < contactsLaunchNotificationDeadline_;
    if (inGracePeriod && permission == previous && state().snapshot(ReviewSource::messages)) {
        return;
    }

    ++contactsRevision_;
    if (!restoreMessagesQueueAwaitingContacts()) {
        hooks_.invalidateMessagesSnapshot();
    }

    if (!contactsAccessIsUsable()) {
        stopWorkWithoutContactsAccess(true);
        return;
    }
    if (alertWasAboutAccess) {
        lines().clearError();
    }
    if (state().refreshingSources.contains(ReviewSource::messages)) {
        hooks_.cancelMessagesRefresh();
    }
    pendingMessagesRebuild_ = true;
    if (!activity) {
        activity = permission == previous                      ? "Contacts changed; rebuilding the Messages queue"
                   : permission == ContactsPermission::limited ? "Limited Contacts access changed"
                                                               : "Contacts access changed";
    }
    lines().showActivity(std::move(*activity));
    routeToModelChoiceIfNeeded();
    schedulePendingMessagesRebuild();
}

bool ContactsGate::alertIsAboutContactsAccess() const {
    const auto& message = state().errorMessage;
    return message && message->find("Contacts access") != std::string::npos;
}

void ContactsGate::stopWorkWithoutContactsAccess(bool showAlert) {
    dropPendingMessagesRebuild();
    hooks_.stopWorkNeedingContacts();
    publisher().setSection(Section::accounts);
    publisher().setSelectedItemID(std::nullopt);
    lines().showActivity("Contacts access is required");
    if (showAlert) {
        lines().showError(allowOnAccountsPage);
    }
}

void ContactsGate::reconcileContactsPermission(bool showError) {
    const ContactsPermission previous = state().contactsPermission;
    const bool alertWasAboutAccess = alertIsAboutContactsAccess();
    publisher().setContactsPermission(context_.currentContactsPermission());
    const ContactsPermission permission = state().contactsPermission;
    const bool changed = permission != previous;
    if (changed) {
        ++contactsRevision_;
        if (!restoreMessagesQueueAwaitingContacts()) {
            hooks_.invalidateMessagesSnapshot();
        }
    }

    if (!contactsAccessIsUsable()) {
        stopWorkWithoutContactsAccess(showError || allowsReadingContacts(previous));
        return;
    }
    if (changed) {
        pendingMessagesRebuild_ = true;
        if (state().refreshingSources.contains(ReviewSource::messages)) {
            hooks_.cancelMessagesRefresh();
        }
        schedulePendingMessagesRebuild();
    }
    if (alertWasAboutAccess) {
        lines().clearError();
    }
    if (changed || alertWasAboutAccess) {
        lines().showActivity(readyActivity(permission));
    }
    routeToModelChoiceIfNeeded();
}

void ContactsGate::revalidateAfterActivation() {
    const ContactsPermission previous = state().contactsPermission;
    reconcileContactsPermission(false);
    // A limited grant may have been given other contacts while the program was in the background.
    if (previous == ContactsPermission::limited && state().contactsPermission == ContactsPermission::limited) {
        contactsStoreDidChange("Revalidating limited Contacts access");
    }
}

bool ContactsGate::restoreMessagesQueueAwaitingContacts() {
    std::optional<PreparedSnapshot> saved = std::exchange(messagesQueueAwaitingContacts_, std::nullopt);
    if (!saved || !contactsAccessIsUsable()) {
        return false;
    }
    hooks_.publishMessagesSnapshot(std::move(*saved));
    hooks_.reconcileSelection();
    return true;
}

void ContactsGate::requestContacts(AccessQuestion question) {
    context_.tasks.spawn(
        [this, question](TaskHandle task) -> MainTask { co_await requestContactsAccess(std::move(task), question); });
}

MainAsync<> ContactsGate::requestContactsAccess(TaskHandle task, AccessQuestion question) {
    // The store's question is answered in the window, on the main thread, while this job waits for it.
    const auto ask = [reader = context_.dependencies.messages, question](std::stop_token stop) {
        return reader->requestContacts(stop, question);
    };
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
        lines().clearError();
        lines().showActivity(readyActivity(state().contactsPermission));
        routeToModelChoiceIfNeeded();
        co_return;
    }
    publisher().setSection(Section::accounts);
    if (!contactsAccessIsUsable()) {
        lines().showError(allowOnAccountsPage);
        co_return;
    }
    std::string reason = "the request failed unexpectedly.";
    try {
        std::rethrow_exception(failure);
    } catch (const UserFacingError& error) {
        reason = error.what();
    } catch (...) {
    }
    lines().showError("Contacts access could not be checked: " + reason);
}

void ContactsGate::routeToModelChoiceIfNeeded() {
    if (!contactsAccessIsUsable() || !state().needsModelChoice) {
        return;
    }
    publisher().setSection(Section::accounts);
    publisher().setSelectedItemID(std::nullopt);
    lines().showActivity("Choose Local AI or continue in Basic Mode");
}

bool ContactsGate::messagesRebuildCanStart() const {
    const PublishedState& s = state();
    return pendingMessagesRebuild_ && !hooks_.isTerminating() && contactsAccessIsUsable() && !s.needsModelChoice &&
           !isChangingModel(s) && !s.isDeletingLocalData && s.messagesPermission == MessagesPermission::granted &&
           !s.refreshingSources.contains(ReviewSource::messages);
}

void ContactsGate::schedulePendingMessagesRebuild() {
    if (!messagesRebuildCanStart()) {
        return;  // a later call (a run's clean-up, a model or permission change) finds the way clear
    }
    contactsRebuildTask_.cancel();
    contactsRebuildTask_ =
        context_.tasks.spawn([this](TaskHandle task) { return messagesRebuildRun(std::move(task)); });
}

void ContactsGate::cancelMessagesRebuild() {
    contactsRebuildTask_.cancel();
    contactsRebuildTask_ = {};
}

void ContactsGate::dropPendingMessagesRebuild() {
    pendingMessagesRebuild_ = false;
    cancelMessagesRebuild();
}

MainTask ContactsGate::messagesRebuildRun(TaskHandle task) {
    co_await sleepFor(task, messagesRebuildDelay);
    // Whatever came up during the wait is checked again, so the rebuild is never announced in vain.
    if (!messagesRebuildCanStart()) {
        co_return;
    }
    pendingMessagesRebuild_ = false;
    contactsRebuildTask_ = {};
    lines().showActivity("Rebuilding Messages with current Contacts access");
    hooks_.rebuildMessages();
}

}  // namespace nudgerly
