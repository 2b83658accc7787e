#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

#include "core/BackgroundExecutor.h"
#include "platform/net/DownloadResumeData.h"
#include "platform/net/DownloadTransfer.h"

namespace nudgerly {

// The handle of one transfer of the curl download transport: starts its run on the executor, stops
// it, and hands resume data to whoever asked for a pause. The run itself is a CurlTransferRun.
class CurlTransfer : public DownloadTransfer, public std::enable_shared_from_this<CurlTransfer> {
public:
    // Without `resume`, a transfer of `originalUrl` from its first byte; without an `originalUrl`
    // either (resume data that could not be read), one that fails as soon as it runs.
    CurlTransfer(std::weak_ptr<BackgroundExecutor> executor, DownloadConfiguration configuration,
                 std::shared_ptr<DownloadTransferDelegate> delegate, std::optional<std::string> originalUrl,
                 std::optional<std::string> currentUrl, std::optional<DownloadResumeData> resume);

    std::optional<std::string> originalUrl() const override { return original; }
    std::optional<std::string> currentUrl() const override;
    void start() override;
    void cancel() override;
    void cancelProducingResumeData(std::function<void(std::optional<std::string>)> done) override;

    // Called by the run as it follows a redirect.
    void setCurrentUrl(const std::string& url);
    // A pause asked for resume data (a plain cancel throws the partial body away).
    bool wantsResumeData() const;

    const DownloadConfiguration configuration;
    const std::shared_ptr<DownloadTransferDelegate> delegate;
    const std::optional<std::string> original;
    const std::optional<DownloadResumeData> resume;

private:
    void stopLocked();
    void run(std::stop_token stop);

    const std::weak_ptr<BackgroundExecutor> executor_;
    mutable std::mutex mutex_;
    std::optional<std::string> current_;
    bool started_ = false;
    bool finished_ = false;
    bool wantsResumeData_ = false;
    std::function<void(std::optional<std::string>)> resumeDataHandler_;
    std::stop_source stop_;
};

}  // namespace nudgerly
