#pragma once

#include <memory>

#include "core/BackgroundExecutor.h"
#include "platform/net/DownloadTransfer.h"

namespace nudgerly {

// Transfers over libcurl, each a job of a background executor. Redirects are followed by hand, each
// one only when the delegate agrees. Loopback addresses never go through a proxy.
class CurlDownloadTransport : public DownloadTransport {
public:
    // Transfers run on `executor`, whose owner stops it; without one, on workers of the transport's own,
    // stopped and joined when the transport goes. A transfer started once its executor is gone never
    // runs and never reports, like one cancelled before it started.
    explicit CurlDownloadTransport(std::shared_ptr<BackgroundExecutor> executor = nullptr);

    std::shared_ptr<DownloadTransfer> transferWithUrl(const std::string& url,
                                                      const DownloadConfiguration& configuration,
                                                      std::shared_ptr<DownloadTransferDelegate> delegate) override;
    std::shared_ptr<DownloadTransfer> transferWithResumeData(
        const std::string& resumeData, const DownloadConfiguration& configuration,
        std::shared_ptr<DownloadTransferDelegate> delegate) override;

private:
    std::shared_ptr<BackgroundExecutor> executor_;
};

}  // namespace nudgerly
