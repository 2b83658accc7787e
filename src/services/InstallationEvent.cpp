#include "services/InstallationEvent.h"

namespace nudgerly {

nlohmann::json InstallationEvent::toJson() const {
    return {
        {"event_id", eventID},
        {"app_version", appVersion},
        {"build_number", buildNumber},
        {"platform", platform},
    };
}

}  // namespace nudgerly
