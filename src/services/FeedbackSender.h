#pragma once

#include <stop_token>

#include "services/FeedbackReceipt.h"
#include "services/FeedbackSubmission.h"

namespace nudgerly {

// Something that delivers a feedback report and waits for the receipt: the feedback client, or a test's
// stand-in. Called on a worker thread.
class FeedbackSender {
public:
    virtual ~FeedbackSender() = default;

    // The service's receipt. Throws a UserFacingError whose sentence says why the report was not taken;
    // CancelledError when `stop` is requested first.
    virtual FeedbackReceipt submit(const FeedbackSubmission& submission, std::stop_token stop) const = 0;
};

}  // namespace nudgerly
