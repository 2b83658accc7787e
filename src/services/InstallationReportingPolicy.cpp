#include "services/InstallationReportingPolicy.h"

#include "core/SecureRandom.h"
#include "services/WireValues.h"

namespace nudgerly::InstallationReportingPolicy {
namespace {

std::optional<std::string> storedPendingID(const SettingsStore& defaults) {
    const auto stored = defaults.value(pendingIDKey);
    if (!stored || !stored->is_string() || stored->get_ref<const std::string&>().empty()) {
        return std::nullopt;
    }
    return stored->get<std::string>();
}

}  // namespace

std::optional<InstallationEvent> event(SettingsStore& defaults, const AppInfo& info) {
    if (defaults.boolean(reportedKey)) {
        return std::nullopt;
    }
    const auto version = info.string("CFBundleShortVersionString");
    const auto build = info.string("CFBundleVersion");
    if (!version || !build) {
        return std::nullopt;
    }
    const auto stored = storedPendingID(defaults);
    std::string eventID = stored ? *stored : randomUuid();
    defaults.setString(pendingIDKey, eventID);
    return InstallationEvent{
        .eventID = std::move(eventID),
        .appVersion = *version,
        .buildNumber = *build,
        .platform = std::string(WireValues::platform),
    };
}

void recordDelivery(SettingsStore& defaults) {
    defaults.setBool(reportedKey, true);
    defaults.remove(pendingIDKey);
}

}  // namespace nudgerly::InstallationReportingPolicy
