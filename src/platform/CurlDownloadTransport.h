#pragma once

#include "platform/DownloadTransfer.h"

namespace nudgerly {

// Transfers over libcurl, each on a detached worker thread. Redirects are followed by hand, each one
// only when the delegate agrees. Loopback addresses never go through a proxy.
class CurlDownloadTransport : public DownloadTransport {
public:
    std::shared_ptr<DownloadTransfer> transferWithUrl(const std::string& url, const DownloadConfiguration& configuration,
                                                      std::shared_ptr<DownloadTransferDelegate> delegate) override;
    std::shared_ptr<DownloadTransfer> transferWithResumeData(const std::string& resumeData,
                                                             const DownloadConfiguration& configuration,
                                                             std::shared_ptr<DownloadTransferDelegate> delegate) override;
};

}  // namespace nudgerly
