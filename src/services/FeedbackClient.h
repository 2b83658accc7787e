#pragma once

#include <chrono>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

#include "platform/net/HttpClient.h"
#include "platform/system/AppInfo.h"
#include "services/FeedbackClientError.h"
#include "services/FeedbackReceipt.h"
#include "services/FeedbackSender.h"
#include "services/FeedbackSubmission.h"

namespace nudgerly {

// Posts feedback reports to the maker's feedback service. Holds only where to post and how; every call
// is independent (no retry, no queue, no local copy of a report), so one client may serve any thread.
class FeedbackClient final : public FeedbackSender {
public:
    static constexpr std::chrono::milliseconds timeout{60'000};

    // Posts to the address that "NudgerlyFeedbackEndpoint" names, when it is an allowed one, else to the
    // service's built-in address.
    FeedbackClient(const AppInfo& info, std::shared_ptr<HttpClient> http);

    static std::string defaultEndpoint(const AppInfo& info);
    const std::string& endpoint() const { return endpoint_; }

    // Sends the report and waits for the service's receipt. Throws FeedbackClientError when the service
    // cannot be reached, refuses the report or answers with something that is not a receipt;
    // CancelledError when `stop` is requested first.
    FeedbackReceipt submit(const FeedbackSubmission& submission, std::stop_token stop) const override;

    // The receipt in the service's answer, or the error the answer stands for.
    static FeedbackReceipt readAnswer(long status, std::string_view body);

private:
    std::string endpoint_;
    std::shared_ptr<HttpClient> http_;
};

}  // namespace nudgerly
