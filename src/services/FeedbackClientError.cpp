#include "services/FeedbackClientError.h"

#include "core/Text.h"

namespace nudgerly {

FeedbackClientError FeedbackClientError::rejected(const std::string& message) {
    if (text::isBlank(message)) {
        return {Kind::rejected, "The feedback service returned an error."};
    }
    return {Kind::rejected, message};
}

FeedbackClientError FeedbackClientError::connectionFailed() {
    return {Kind::connectionFailed,
            "Nudgerly could not reach the feedback service. Check your connection and try again."};
}

FeedbackClientError FeedbackClientError::invalidResponse() {
    return {Kind::invalidResponse, "Nudgerly received an unexpected response. Try again later."};
}

}  // namespace nudgerly
