#pragma once

#include <chrono>
#include <exception>
#include <optional>
#include <string>

// When and how long the Gmail REST client waits before trying a request again.
namespace nudgerly::GmailRetryPolicy {

// True only for transport failures that usually pass: a time-out, a host that cannot be resolved or
// reached, a lost connection, a broken TLS handshake. Not for a certificate that fails verification,
// an oversized answer or anything else.
bool shouldRetry(const std::exception& error);

// The wait after a transient transport failure or an answer without a usable Retry-After:
// min(4, 0.5 × 2^attempt) seconds.
std::chrono::milliseconds backoff(int attempt);

// The wait after a rate-limit or server-error answer: the Retry-After header's seconds when the whole
// trimmed value reads as a number (C locale) that is 0 or more, at most 10 s; else the backoff.
std::chrono::milliseconds delayAfterAnswer(const std::optional<std::string>& retryAfter, int attempt);

}  // namespace nudgerly::GmailRetryPolicy
