#pragma once

#include <string>

#include "core/UserFacingError.h"

namespace nudgerly {

// Why a report was not accepted. what() is the sentence the feedback form shows.
class FeedbackClientError : public UserFacingError {
public:
    enum class Kind { rejected, connectionFailed, invalidResponse };

    // The service's own message; a blank one gives a general sentence, so the alert is never empty.
    static FeedbackClientError rejected(const std::string& message);
    static FeedbackClientError connectionFailed();
    static FeedbackClientError invalidResponse();

    Kind kind() const { return kind_; }

    friend bool operator==(const FeedbackClientError& a, const FeedbackClientError& b) {
        return a.kind_ == b.kind_ && std::string(a.what()) == b.what();
    }

private:
    FeedbackClientError(Kind kind, const std::string& sentence) : UserFacingError(sentence), kind_(kind) {}

    Kind kind_;
};

}  // namespace nudgerly
