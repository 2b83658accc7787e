#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>

#include "platform/net/HttpClient.h"
#include "platform/system/AppInfo.h"
#include "platform/system/SettingsStore.h"

namespace nudgerly {

// Sends the anonymous install event once per installation (see InstallationReportingPolicy). Safe to
// call from any thread: the settings are read and written under a lock that is never held while the
// post is in flight, so a second call during a post sends the same event too.
class InstallationReporter {
public:
    static constexpr std::chrono::milliseconds defaultTimeout{5'000};

    // Posts to the address that "NudgerlyInstallEndpoint" names, when it is an allowed one, else to the
    // service's built-in address.
    InstallationReporter(AppInfo info, std::shared_ptr<SettingsStore> settings, std::shared_ptr<HttpClient> http,
                         std::chrono::milliseconds timeout = defaultTimeout);

    static std::string defaultEndpoint(const AppInfo& info);
    const std::string& endpoint() const { return endpoint_; }

    // Posts the event unless it was already delivered, and remembers a 2xx answer. Blocks while the
    // post is in flight; a stop request (the window went away) ends it early. Failures are silent and
    // leave the event pending for the next call; never throws.
    void reportIfNeeded(std::stop_token stop);

private:
    const AppInfo info_;
    const std::shared_ptr<SettingsStore> settings_;
    const std::shared_ptr<HttpClient> http_;
    const std::chrono::milliseconds timeout_;
    const std::string endpoint_;
    std::mutex mutex_;
};

}  // namespace nudgerly
