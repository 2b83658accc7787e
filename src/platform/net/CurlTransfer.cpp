#include "platform/net/CurlTransfer.h"

#include <utility>

#include "platform/net/CurlTransferRun.h"

namespace nudgerly {

CurlTransfer::CurlTransfer(std::weak_ptr<BackgroundExecutor> executor, DownloadConfiguration configuration,
                           std::shared_ptr<DownloadTransferDelegate> delegate, std::optional<std::string> originalUrl,
                           std::optional<std::string> currentUrl, std::optional<DownloadResumeData> resume)
    : configuration(std::move(configuration)),
      delegate(std::move(delegate)),
      original(std::move(originalUrl)),
      resume(std::move(resume)),
      executor_(std::move(executor)),
      current_(std::move(currentUrl)) {}

std::optional<std::string> CurlTransfer::currentUrl() const {
    std::lock_guard lock(mutex_);
    return current_;
}

void CurlTransfer::start() {
    std::lock_guard lock(mutex_);
    if (started_ || finished_) {
        return;
    }
    // Only the transport holds its executor for good: a transfer must not keep it alive from a job.
    const auto executor = executor_.lock();
    if (!executor) {
        finished_ = true;
        return;
    }
    started_ = true;
    stop_ =
        executor->submit("download transfer", [self = shared_from_this()](std::stop_token stop) { self->run(stop); });
}

void CurlTransfer::cancel() {
    std::function<void(std::optional<std::string>)> waiting;
    {
        std::lock_guard lock(mutex_);
        wantsResumeData_ = false;
        waiting = std::move(resumeDataHandler_);
        resumeDataHandler_ = nullptr;
        stopLocked();
    }
    if (waiting) {
        waiting(std::nullopt);
    }
}

void CurlTransfer::cancelProducingResumeData(std::function<void(std::optional<std::string>)> done) {
    std::function<void(std::optional<std::string>)> replaced;
    {
        std::lock_guard lock(mutex_);
        if (started_ && !finished_) {
            replaced = std::move(resumeDataHandler_);
            resumeDataHandler_ = std::move(done);
            wantsResumeData_ = true;
            stop_.request_stop();
        } else {
            stopLocked();
            replaced = std::move(done);
        }
    }
    if (replaced) {
        replaced(std::nullopt);
    }
}

void CurlTransfer::setCurrentUrl(const std::string& url) {
    std::lock_guard lock(mutex_);
    current_ = url;
}

bool CurlTransfer::wantsResumeData() const {
    std::lock_guard lock(mutex_);
    return wantsResumeData_;
}

void CurlTransfer::stopLocked() {
    if (started_) {
        stop_.request_stop();
    } else {
        finished_ = true;  // never runs, never reports
    }
}

void CurlTransfer::run(std::stop_token stop) {
    DownloadOutcome outcome;
    {
        CurlTransferRun transferRun(*this, stop);
        outcome = transferRun.run();
    }
    std::function<void(std::optional<std::string>)> waiting;
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
        waiting = std::move(resumeDataHandler_);
        resumeDataHandler_ = nullptr;
    }
    if (waiting) {
        waiting(outcome.resumeData);
    }
    delegate->transferDidComplete(outcome);
}

}  // namespace nudgerly
