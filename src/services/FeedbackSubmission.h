#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "core/JsonCoding.h"
#include "services/FeedbackArea.h"
#include "services/FeedbackCategory.h"
#include "services/FeedbackDiagnostics.h"

namespace nudgerly {

// One feedback report as the form sends it.
struct FeedbackSubmission {
    std::string clientReportID;  // one UUID per report, kept across retries
    FeedbackCategory category = FeedbackCategory::bug;
    FeedbackArea area = FeedbackArea::general;
    std::string summary;
    std::string details;
    std::string expectedOutcome;
    std::string contactEmail;
    bool privacyConfirmed = false;
    std::optional<FeedbackDiagnostics> diagnostics;
    std::string channel;

    // Snake-case keys; without diagnostics there is no "diagnostics" key at all. Never throws: text
    // that is not valid UTF-8 is repaired when written.
    nlohmann::json toJson(const JsonCoding& coding = {}) const;

    friend bool operator==(const FeedbackSubmission&, const FeedbackSubmission&) = default;
};

}  // namespace nudgerly
