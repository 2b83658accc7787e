#include "services/FeedbackClient.h"

#include "core/JsonCoding.h"
#include "services/ServiceRequest.h"

namespace nudgerly {
namespace {

// The body of a refused report: {"error": "<message>"}.
std::optional<std::string> refusalMessage(std::string_view body) {
    try {
        return Json::required<std::string>(Json::object(parseJson(body)), "error");
    } catch (const JsonDecodingError&) {
        return std::nullopt;
    }
}

}  // namespace

FeedbackClient::FeedbackClient(const AppInfo& info, std::shared_ptr<HttpClient> http)
    : endpoint_(defaultEndpoint(info)), http_(std::move(http)) {}

std::string FeedbackClient::defaultEndpoint(const AppInfo& info) {
    return ServiceRequest::endpoint(info, "NudgerlyFeedbackEndpoint", "/api/feedback");
}

FeedbackReceipt FeedbackClient::readAnswer(long status, std::string_view body) {
    if (status < 200 || status > 299) {
        // Redirects are not followed: a 3xx is a refusal like any other non-success answer.
        throw FeedbackClientError::rejected(refusalMessage(body).value_or(""));
    }
    if (auto receipt = FeedbackReceipt::decode(body)) {
        return std::move(*receipt);
    }
    throw FeedbackClientError::invalidResponse();
}

FeedbackReceipt FeedbackClient::submit(const FeedbackSubmission& submission, std::stop_token stop) const {
    const HttpRequest request = ServiceRequest::jsonPost(endpoint_, submission.toJson(), timeout);
    HttpResponse response;
    try {
        response = http_->send(request, stop);
    } catch (const HttpError& error) {
        if (error.kind() == HttpError::Kind::responseTooLarge) {
            throw FeedbackClientError::invalidResponse();
        }
        throw FeedbackClientError::connectionFailed();
    }
    return readAnswer(response.status, response.body);
}

}  // namespace nudgerly
