#pragma once

#include <optional>
#include <string_view>

#include "platform/system/AppInfo.h"
#include "platform/system/SettingsStore.h"
#include "services/InstallationEvent.h"

// When the install event is due and what it carries. An install moves from "not yet attempted" to
// "pending" (an identifier stored) to "reported" (the flag set, the identifier removed); every attempt
// while pending reuses the stored identifier, so the service can count an install once.
namespace nudgerly::InstallationReportingPolicy {

inline constexpr std::string_view reportedKey = "anonymous-install-event-reported-v1";
inline constexpr std::string_view pendingIDKey = "anonymous-install-event-pending-id-v1";

// The event to send, or absent when it was already reported or the program's version or build is not
// known (then nothing is written). Stores the pending identifier before returning, making a new
// lower-case UUID when none is stored (an empty or non-text value counts as none).
std::optional<InstallationEvent> event(SettingsStore& defaults, const AppInfo& info);

// Remembers that the service accepted the event: it is never sent again.
void recordDelivery(SettingsStore& defaults);

}  // namespace nudgerly::InstallationReportingPolicy
