#include "platform/net/CurlDownloadTransport.h"

#include <utility>

#include "platform/net/CurlTransfer.h"
#include "platform/net/DownloadResumeData.h"

namespace nudgerly {

CurlDownloadTransport::CurlDownloadTransport(std::shared_ptr<BackgroundExecutor> executor)
    : executor_(executor ? std::move(executor) : std::make_shared<ThreadPoolExecutor>()) {}

std::shared_ptr<DownloadTransfer> CurlDownloadTransport::transferWithUrl(
    const std::string& url, const DownloadConfiguration& configuration,
    std::shared_ptr<DownloadTransferDelegate> delegate) {
    return std::make_shared<CurlTransfer>(executor_, configuration, std::move(delegate), url, url, std::nullopt);
}

std::shared_ptr<DownloadTransfer> CurlDownloadTransport::transferWithResumeData(
    const std::string& resumeData, const DownloadConfiguration& configuration,
    std::shared_ptr<DownloadTransferDelegate> delegate) {
    auto resume = DownloadResumeData::decode(resumeData);
    if (!resume) {
        return std::make_shared<CurlTransfer>(executor_, configuration, std::move(delegate), std::nullopt, std::nullopt,
                                              std::nullopt);
    }
    auto original = resume->originalUrl;
    auto current = resume->currentUrl;
    return std::make_shared<CurlTransfer>(executor_, configuration, std::move(delegate), std::move(original),
                                          std::move(current), std::move(resume));
}

}  // namespace nudgerly
