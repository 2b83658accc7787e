#include "services/ServiceRequest.h"

#include <algorithm>

#include "core/JsonWriter.h"
#include "platform/formats/Url.h"
#include "services/WireValues.h"

namespace nudgerly::ServiceRequest {

bool isAllowedEndpoint(std::string_view address) {
    const auto url = Url::parse(address);
    if (!url) {
        return false;
    }
    if (url->isSecure()) {
        return true;
    }
    return url->scheme() == "http" && url->host() && !url->user() && !url->password() && isLoopbackUrl(url->string());
}

std::string endpoint(const AppInfo& info, std::string_view infoKey, std::string_view path) {
    if (const auto configured = info.string(infoKey); configured && isAllowedEndpoint(*configured)) {
        return *configured;
    }
    return "https://" + std::string(WireValues::serviceHost) + std::string(path);
}

HttpRequest jsonPost(const std::string& endpoint, const nlohmann::json& body, std::chrono::milliseconds timeout) {
    return {
        .method = "POST",
        .url = endpoint,
        .headers = {{"Content-Type", "application/json"}, {"Accept", "application/json"}},
        .body = JsonWriter::write(body),
        .timeout = timeout,
        // Never longer to connect than the whole exchange may take.
        .connectTimeout = std::min(timeout, std::chrono::milliseconds(15'000)),
        .maxResponseBytes = maxAnswerBytes,
    };
}

}  // namespace nudgerly::ServiceRequest
