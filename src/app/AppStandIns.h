#pragma once

#include <memory>

#include "state/GmailSource.h"

// Stand-ins for the parts of the program that are not built yet, so that the state object can be
// composed and run today. Each says plainly what it cannot do; replace it where AppComposition makes
// it once the real part exists.
namespace nudgerly::AppStandIns {

// Until the Gmail service exists: no client is configured, so nothing connects.
std::shared_ptr<GmailSource> gmailService();

}  // namespace nudgerly::AppStandIns
