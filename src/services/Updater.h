#pragma once

#include <optional>
#include <string>

namespace nudgerly {

// A software updater as the window uses it: started once, then asked to check when the user wants.
// Called on the main thread only.
class Updater {
public:
    virtual ~Updater() = default;

    virtual void start() = 0;
    // Carries out a check the user asked for. Returns a sentence for the window to show when the
    // updater has no interface of its own to answer with.
    virtual std::optional<std::string> checkForUpdates() = 0;
};

}  // namespace nudgerly
