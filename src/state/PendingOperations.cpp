// Operations of the state object that are declared with the rest of its interface but not built yet.
// Each does nothing here (or gives an empty answer); it moves to the file of its own topic when it is
// built: Contacts and permissions, item actions and shutdown.
#include "state/AppState.h"

namespace nudgerly {

// ---- Contacts changes, the pending rebuild and pruning ----

void AppState::contactsStoreDidChange(std::optional<std::string>) {}
void AppState::schedulePendingMessagesRebuild() {}
void AppState::removeDeletedMessagesFromSavedQueue() {}

// ---- Permissions and activation ----

void AppState::requestContacts() {}
MainAsync<> AppState::requestContactsAccess(TaskHandle) { co_return; }
void AppState::reconcileContactsPermission(bool) {}
void AppState::appDidBecomeActive() {}
void AppState::applicationDidBecomeActive() {}
void AppState::recheckMessagesPermission() {}
void AppState::openContactsSettings() {}
void AppState::openFullDiskAccess() {}

}  // namespace nudgerly
