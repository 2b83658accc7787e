#pragma once

#include <string_view>

#include "core/UserFacingError.h"

namespace nudgerly {

// The errors of the local model path. Each kind has a short diagnostic code and a sentence for the
// user; what() is that sentence.
class LocalModelError : public UserFacingError {
public:
    enum class Kind {
        missingBundle,      // the server program or the model file cannot be found or used
        launchFailed,       // the child process could not be started
        startupTimedOut,    // the server never became healthy, or died on every launch
        serverUnavailable,  // the server is gone, the transport failed, or it answered 5xx
        contextTooLarge,    // the conversation does not fit the model's context
        badResponse,        // any other unusable answer
        answerMissing,      // no answer in time, from a server that still passes its health check
    };

    explicit LocalModelError(Kind kind);

    Kind kind() const { return kind_; }

    static std::string_view diagnosticCode(Kind kind);
    static std::string_view userMessage(Kind kind);

    // The code and sentence reported for a failure that is not one of the kinds above.
    static constexpr std::string_view unexpectedDiagnosticCode = "unexpected_error";
    static constexpr std::string_view unexpectedUserMessage =
        "Local AI encountered an unexpected runtime error. Nudgerly used its safe local fallback. Send feedback "
        "with technical details if this repeats.";

    friend bool operator==(const LocalModelError& a, const LocalModelError& b) { return a.kind_ == b.kind_; }

private:
    Kind kind_;
};

}  // namespace nudgerly
