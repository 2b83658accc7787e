// The two permissions the program needs: Contacts access, without which no queue is shown or refreshed
// (the Contacts gate's), and Full Disk Access, which opens the Messages database. They are asked for,
// re-read whenever the program comes back, and shown in their folders so the user can grant them.
#include "core/Files.h"
#include "core/RawEnum.h"
#include "state/AppState.h"

namespace nudgerly {

void AppState::requestContacts() {
    assertMainThread();
    contacts_.requestContacts();
}

void AppState::reconcileContactsPermission(bool showError) {
    assertMainThread();
    contacts_.reconcileContactsPermission(showError);
}

void AppState::appDidBecomeActive() {
    assertMainThread();
    publisher().setMessagesPermission(dependencies_.messagesPermission());
    removeDeletedMessagesFromSavedQueue();
    contacts_.revalidateAfterActivation();
}

void AppState::recheckMessagesPermission() {
    assertMainThread();
    publisher().setMessagesPermission(dependencies_.messagesPermission());
    if (state().messagesPermission == MessagesPermission::granted) {
        refresh(ReviewSource::messages, state().refreshLookbacks.messages);
    }
}

// The settings panes of the original platform have no counterpart here: the folder whose access is
// missing is shown instead, the nearest one that exists when it is not there yet.
void AppState::openContactsSettings() {
    assertMainThread();
    if (const auto folder = nearestExistingFolder(dependencies_.contactsFolder)) {
        dependencies_.opener->openFolder(*folder);
    }
}

void AppState::openFullDiskAccess() {
    assertMainThread();
    if (const auto folder = nearestExistingFolder(dependencies_.messagesDatabase.parent_path())) {
        dependencies_.opener->openFolder(*folder);
    }
}

}  // namespace nudgerly
