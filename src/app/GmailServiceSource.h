#pragma once

#include <memory>

#include "sources/gmail/GmailService.h"
#include "state/GmailSource.h"

namespace nudgerly {

// The state object's Gmail source over the real Gmail service, whose tokens are kept in
// `dependencies.secrets`.
std::shared_ptr<GmailSource> makeGmailServiceSource(GmailServiceDependencies dependencies);

}  // namespace nudgerly
