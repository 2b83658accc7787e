#include "services/InstallationReporter.h"

#include "services/InstallationReportingPolicy.h"
#include "services/ServiceRequest.h"

namespace nudgerly {

InstallationReporter::InstallationReporter(AppInfo info, std::shared_ptr<SettingsStore> settings,
                                           std::shared_ptr<HttpClient> http, std::chrono::milliseconds timeout)
    : info_(std::move(info)),
      settings_(std::move(settings)),
      http_(std::move(http)),
      timeout_(timeout),
      endpoint_(defaultEndpoint(info_)) {}

std::string InstallationReporter::defaultEndpoint(const AppInfo& info) {
    return ServiceRequest::endpoint(info, "NudgerlyInstallEndpoint", "/api/install");
}

void InstallationReporter::reportIfNeeded(std::stop_token stop) {
    try {
        std::optional<InstallationEvent> event;
        {
            std::lock_guard lock(mutex_);
            event = InstallationReportingPolicy::event(*settings_, info_);
        }
        if (!event) {
            return;
        }
        const HttpResponse response = http_->send(ServiceRequest::jsonPost(endpoint_, event->toJson(), timeout_), stop);
        if (response.status >= 200 && response.status <= 299) {
            std::lock_guard lock(mutex_);
            InstallationReportingPolicy::recordDelivery(*settings_);
        }
    } catch (const std::exception&) {
        // No connection, a time-out, a stop request, no random source: the event stays pending and
        // the next showing of the window tries again.
    }
}

}  // namespace nudgerly
