// The Gmail operations, carried out by the Gmail connection once the queue's gates allow a sign-in.
#include "state/AppState.h"

namespace nudgerly {

void AppState::connectGmail() {
    assertMainThread();
    if (!requireModelChoice() || !requireContactsAccess()) {
        return;
    }
    gmail_.connectGmail();
}

void AppState::cancelGmailAuthorization() {
    assertMainThread();
    gmail_.cancelGmailAuthorization();
}

void AppState::disconnectGmail() {
    assertMainThread();
    gmail_.disconnectGmail();
}

}  // namespace nudgerly
