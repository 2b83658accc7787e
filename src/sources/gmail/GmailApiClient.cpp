#include "sources/gmail/GmailApiClient.h"

#include "core/CancelledError.h"
#include "core/Sleep.h"
#include "platform/formats/PercentEncoding.h"
#include "sources/gmail/GmailRetryPolicy.h"
#include "sources/gmail/oauth/GmailError.h"

namespace nudgerly {
namespace {

bool isRetriedStatus(long status) {
    return status == 429 || (status >= 500 && status <= 599);
}

std::string failureMessage(const std::string& body) {
    try {
        return decodeGmailRecord<GmailAPIError>(body).error.message;
    } catch (const JsonDecodingError&) {
        return "Gmail request failed";
    }
}

}  // namespace

GmailApiClient::GmailApiClient(std::shared_ptr<HttpClient> http, GmailApiEndpoint endpoint, Sleeper sleeper)
    : http_(std::move(http)), endpoint_(std::move(endpoint)), sleeper_(std::move(sleeper)) {
    if (!sleeper_) {
        sleeper_ = [](std::chrono::milliseconds duration, std::stop_token stop) { sleepFor(duration, stop); };
    }
}

std::string GmailApiClient::address(std::string_view path, const GmailQuery& query) const {
    std::vector<std::pair<std::string, std::string>> items;
    for (const auto& [name, value] : query) {
        if (value) {
            items.emplace_back(name, *value);
        }
    }
    std::string result = endpoint_.baseAddress + std::string(path);
    if (!items.empty()) {
        result += '?' + PercentEncoding::formEncoded(items);
    }
    return result;
}

std::string GmailApiClient::threadPath(std::string_view threadID) {
    return "/users/me/threads/" + PercentEncoding::pathSegment(threadID);
}

std::string GmailApiClient::successfulBody(std::string_view path, const GmailQuery& query,
                                           const std::string& accessToken, std::stop_token stop) const {
    const HttpRequest request{
        .method = "GET",
        .url = address(path, query),
        .headers = {{"Authorization", "Bearer " + accessToken}},
        .timeout = requestTimeout,
        .stallTimeout = endpoint_.stallTimeout,
        .maxResponseBytes = largestAnswer,
        .caFile = endpoint_.caFile,
    };
    for (int attempt = 0;; ++attempt) {
        if (stop.stop_requested()) {
            throw CancelledError();
        }
        const bool mayRetry = attempt + 1 < maximumAttempts;
        HttpResponse response;
        try {
            response = http_->send(request, stop);
        } catch (const HttpError& error) {
            if (!mayRetry || !GmailRetryPolicy::shouldRetry(error)) {
                throw;
            }
            sleeper_(GmailRetryPolicy::backoff(attempt), stop);
            continue;
        }
        if (response.status < 100 || response.status > 999) {
            throw GmailError::google("Gmail returned an invalid response.");
        }
        if (response.status == 200) {
            return std::move(response.body);
        }
        if (mayRetry && isRetriedStatus(response.status)) {
            sleeper_(GmailRetryPolicy::delayAfterAnswer(response.header("Retry-After"), attempt), stop);
            continue;
        }
        throw GmailError::google(failureMessage(response.body));
    }
}

}  // namespace nudgerly
