// The two things the program needs: Contacts access, without which no queue is shown or refreshed
// (the Contacts gate's), and a readable Messages database, copied from a Mac. They are asked for,
// re-read whenever the program comes back, and the database's folder is shown so the user can put it.
#include "core/FileSystemError.h"
#include "core/Files.h"
#include "core/RawEnum.h"
#include "state/AppState.h"
#include "state/MessagesDatabaseMissingError.h"

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
    } else {
        lines().showActivity(MessagesDatabaseMissingError(dependencies_.messagesDatabase).what());
    }
}

// Access to the contacts is given in the program's own question, so its settings are that question,
// put again even after a refusal.
void AppState::openContactsSettings() {
    assertMainThread();
    contacts_.requestContacts(AccessQuestion::evenAfterRefusal);
}

// The database's folder is made when missing, so the user has the place to put the copy in.
void AppState::openFullDiskAccess() {
    assertMainThread();
    const std::filesystem::path folder = dependencies_.messagesDatabase.parent_path();
    std::error_code unreachable;
    if (!std::filesystem::is_directory(folder, unreachable)) {
        try {
            createPrivateDirectories(folder);
        } catch (const FileSystemError& error) {
            lines().showError(error.what());
            return;
        }
    }
    dependencies_.opener->openFolder(folder);
}

}  // namespace nudgerly
