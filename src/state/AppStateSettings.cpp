#include "state/AppStateSettings.h"

#include <limits>

#include "core/RawEnum.h"

namespace nudgerly::AppStateSettings {

std::optional<LookbackWindow> storedLookback(const SettingsStore& settings, std::string_view key) {
    if (!settings.value(key)) {
        return std::nullopt;
    }
    const int64_t days = settings.integer(key);
    if (days < std::numeric_limits<int>::min() || days > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return fromRaw<LookbackWindow>(static_cast<int>(days));
}

}  // namespace nudgerly::AppStateSettings
