#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/MainTask.h"
#include "review/ReviewSnapshot.h"
#include "state/PreparedSnapshot.h"
#include "state/StateContext.h"

namespace nudgerly {

// The Messages queue names people as the Contacts data did when it was built. The gate follows the
// Contacts store and the access decision: it counts their accepted changes (the revision a refresh
// run is checked against), ignores what the store announces right after start-up, stops the work
// that needs access when it goes, and keeps a Messages rebuild pending until nothing stands in its
// way. Main thread only.
class ContactsGate {
public:
    struct Hooks {
        std::function<void()> invalidateMessagesSnapshot;  // the saved Messages queue goes
        std::function<void()> cancelMessagesRefresh;       // the running Messages refresh stops
        std::function<void()> stopWorkNeedingContacts;     // every refresh and the Gmail sign-in stop
        std::function<void()> rebuildMessages;             // a Messages refresh of the Messages lookback
        std::function<void()> reconcileSelection;
        std::function<bool()> isTerminating;  // quitting has begun: no rebuild starts any more
        std::function<void(PreparedSnapshot)> publishMessagesSnapshot;  // with the answers worked out for it
    };

    ContactsGate(StateContext context, Hooks hooks);
    ContactsGate(const ContactsGate&) = delete;
    ContactsGate& operator=(const ContactsGate&) = delete;

    int64_t contactsRevision() const { return contactsRevision_; }
    bool pendingMessagesRebuild() const { return pendingMessagesRebuild_; }
    std::chrono::steady_clock::time_point contactsLaunchNotificationDeadline() const {
        return contactsLaunchNotificationDeadline_;
    }

    // The Contacts store or the access decision changed (`activity` says so in the activity line).
    void contactsStoreDidChange(std::optional<std::string> activity);
    // Reads the access decision again and acts on a change of it.
    void reconcileContactsPermission(bool showError);
    // The window came back: access is reconciled, and a limited grant revalidated.
    void revalidateAfterActivation();
    // Asks for access (the store's question is answered in the window) and tells how it went.
    void requestContacts(AccessQuestion question = AccessQuestion::whenUndecided);
    // With access usable and a model choice made, sends the user to choose between Local AI and Basic Mode.
    void routeToModelChoiceIfNeeded();

    // Whether the Messages queue must be rebuilt with the current Contacts data.
    void setPendingMessagesRebuild(bool pending) { pendingMessagesRebuild_ = pending; }
    // Starts the pending rebuild shortly, when nothing stands in its way.
    void schedulePendingMessagesRebuild();
    // Stops a scheduled rebuild; it stays pending.
    void cancelMessagesRebuild();
    // Stops a scheduled rebuild and forgets it was pending.
    void dropPendingMessagesRebuild();

    // The saved Messages queue while a damaged Contacts answer leaves access undecided: the user may
    // grant it again, and then it is shown (and rebuilt) instead of lost. Its file and token stay.
    void keepMessagesQueueAwaitingContacts(PreparedSnapshot saved) {
        messagesQueueAwaitingContacts_ = std::move(saved);
    }
    void forgetMessagesQueueAwaitingContacts() { messagesQueueAwaitingContacts_.reset(); }

private:
    const PublishedState& state() const { return context_.state(); }
    StatePublisher& publisher() { return context_.publisher; }
    StatusLines& lines() { return context_.lines; }
    bool contactsAccessIsUsable() const { return nudgerly::contactsAccessIsUsable(state()); }
    bool alertIsAboutContactsAccess() const;
    // Contacts access is gone: every refresh, the rebuild and the Gmail sign-in stop, and the accounts
    // page shows; with `showAlert` also the alert that says where to allow it.
    void stopWorkWithoutContactsAccess(bool showAlert);
    MainAsync<> requestContactsAccess(TaskHandle task, AccessQuestion question);
    // Publishes the queue awaiting Contacts, once access is usable; false (and it is forgotten) otherwise.
    bool restoreMessagesQueueAwaitingContacts();
    // Whether a pending Messages rebuild may start now: everything its refresh request checks allows it.
    bool messagesRebuildCanStart() const;
    MainTask messagesRebuildRun(TaskHandle task);

    StateContext context_;
    Hooks hooks_;
    int64_t contactsRevision_ = 0;
    std::chrono::steady_clock::time_point contactsLaunchNotificationDeadline_;
    bool pendingMessagesRebuild_ = false;
    TaskHandle contactsRebuildTask_;
    std::optional<PreparedSnapshot> messagesQueueAwaitingContacts_;
};

}  // namespace nudgerly
