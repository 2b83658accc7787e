#include "sources/gmail/GmailRetryPolicy.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/Text.h"
#include "platform/net/HttpClient.h"

namespace nudgerly::GmailRetryPolicy {
namespace {

constexpr double longestRetryAfterSeconds = 10;
constexpr double longestBackoffSeconds = 4;

std::chrono::milliseconds wholeMilliseconds(double seconds) {
    return std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
}

std::optional<double> secondsIn(const std::string& value) {
    const std::string trimmed = text::trimmed(value);
    std::string_view number = trimmed;
    // strtod's "+3" is a number too; from_chars alone would refuse the sign.
    if (number.starts_with('+')) {
        number.remove_prefix(1);
        if (number.starts_with('-')) {
            return std::nullopt;
        }
    }
    double seconds = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), seconds);
    if (error != std::errc() || end != number.data() + number.size()) {
        return std::nullopt;
    }
    return seconds;
}

}  // namespace

bool shouldRetry(const std::exception& error) {
    const auto* transport = dynamic_cast<const HttpError*>(&error);
    if (transport == nullptr) {
        return false;
    }
    switch (transport->kind()) {
        case HttpError::Kind::timedOut:
        case HttpError::Kind::cannotConnect:
        case HttpError::Kind::connectionLost:
        case HttpError::Kind::secureConnectionFailed: return true;
        case HttpError::Kind::responseTooLarge:
        case HttpError::Kind::insecureConnection:
        case HttpError::Kind::other: return false;
    }
    return false;
}

std::chrono::milliseconds backoff(int attempt) {
    return wholeMilliseconds(std::min(longestBackoffSeconds, 0.5 * std::pow(2.0, attempt)));
}

std::chrono::milliseconds delayAfterAnswer(const std::optional<std::string>& retryAfter, int attempt) {
    if (retryAfter) {
        if (const auto seconds = secondsIn(*retryAfter); seconds && *seconds >= 0) {
            return wholeMilliseconds(std::min(*seconds, longestRetryAfterSeconds));
        }
    }
    return backoff(attempt);
}

}  // namespace nudgerly::GmailRetryPolicy
