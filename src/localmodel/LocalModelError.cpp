#include "localmodel/LocalModelError.h"

#include <string>

namespace nudgerly {

LocalModelError::LocalModelError(Kind kind) : UserFacingError(std::string(userMessage(kind))), kind_(kind) {}

std::string_view LocalModelError::diagnosticCode(Kind kind) {
    switch (kind) {
        case Kind::missingBundle: return "model_files_missing";
        case Kind::launchFailed: return "runtime_launch_failed";
        case Kind::startupTimedOut: return "runtime_startup_timeout";
        case Kind::serverUnavailable: return "runtime_unavailable";
        case Kind::contextTooLarge: return "context_too_large";
        case Kind::badResponse: return "invalid_model_response";
        case Kind::answerMissing: return "model_answer_missing";
    }
    return unexpectedDiagnosticCode;
}

std::string_view LocalModelError::userMessage(Kind kind) {
    switch (kind) {
        case Kind::missingBundle:
            return "Nudgerly could not find the selected Local AI model or runtime. Remove the model and download it "
                   "again.";
        case Kind::launchFailed:
        case Kind::startupTimedOut:
            return "Local AI could not start after an automatic retry. Nudgerly used its safe local fallback. Try "
                   "refreshing once, then send feedback with technical details if this repeats.";
        case Kind::serverUnavailable:
            return "Local AI stopped responding and did not recover after an automatic restart. Nudgerly used its "
                   "safe local fallback. Try refreshing once, then send feedback with technical details if this "
                   "repeats.";
        case Kind::contextTooLarge:
            return "A conversation was too large for Local AI to finish safely. Nudgerly used its local fallback for "
                   "that conversation. Send feedback with technical details if this repeats.";
        case Kind::badResponse:
            return "Local AI returned an invalid classification again after an automatic retry. Nudgerly used its "
                   "safe local fallback for those items. Send feedback with technical details if this repeats.";
        case Kind::answerMissing:
            return "Local AI did not answer in time for a conversation. Nudgerly used its local fallback for that "
                   "conversation.";
    }
    return unexpectedUserMessage;
}

}  // namespace nudgerly
