#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "core/JsonCoding.h"

namespace nudgerly {

// The technical details a report may carry: versions, model and permission states, queue counts and
// refresh state, never names, addresses or message text. The state object decides what each text says.
struct FeedbackDiagnostics {
    std::string appVersion;
    std::string buildNumber;
    std::string macOSVersion;  // the operating system's version text
    std::string architecture;
    std::string model;
    std::string modelState;
    std::optional<std::string> localAIFailure;
    std::string contactsPermission;
    std::string messagesPermission;
    std::string gmailState;
    int64_t messagesQueueCount = 0;
    int64_t gmailQueueCount = 0;
    std::optional<std::string> messagesLastRefresh;
    std::optional<std::string> gmailLastRefresh;
    std::string refreshState;

    // Snake-case keys; absent optionals are left out.
    nlohmann::json toJson(const JsonCoding& coding = {}) const;
    static FeedbackDiagnostics fromJson(const nlohmann::json& value, const JsonCoding& coding = {});

    friend bool operator==(const FeedbackDiagnostics&, const FeedbackDiagnostics&) = default;
};

}  // namespace nudgerly
