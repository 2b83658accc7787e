#pragma once

#include <memory>

#include "platform/ContactsStore.h"
#include "state/GmailSource.h"
#include "state/MessagesSource.h"
#include "state/SystemOpener.h"

// Stand-ins for the parts of the program that are not built yet, so that the state object can be
// composed and run today. Each says plainly what it cannot do; replace it where AppComposition makes
// it once the real part exists.
namespace nudgerly::AppStandIns {

// Until the Messages database reader exists: a scan fails with a plain sentence, nothing is pruned,
// and the Contacts question goes to the real Contacts store.
std::shared_ptr<MessagesSource> messagesReader(std::shared_ptr<ContactsStore> contacts);

// Until the Gmail service exists: no client is configured, so nothing connects.
std::shared_ptr<GmailSource> gmailService();

// Until the system opener exists: opens nothing.
std::shared_ptr<SystemOpener> systemOpener();

}  // namespace nudgerly::AppStandIns
