#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "modelpacks/ModelDownloadEvent.h"
#include "platform/net/DownloadTransfer.h"
#include "platform/system/FileManager.h"

namespace nudgerly {

// Receives one transfer's events on its worker thread: moves the finished file to the staging path
// before the transfer deletes it, stores the resume data the transfer saves as it goes, refuses
// redirects that leave HTTPS, and turns progress, waits and the end into ModelDownloadEvents. Once
// deactivated (the manager abandoned the transfer) it sends and stores nothing more: everything is
// done while the lock is held, so nothing can slip out after deactivate() returns.
class ModelDownloadDelegate : public DownloadTransferDelegate {
public:
    // Called on the transfer's thread; it hands the event on to the main thread.
    using EventHandler = std::function<void(ModelDownloadEvent)>;
    // Called on the transfer's thread; it may throw.
    using ResumeDataStore = std::function<void(const std::string& resumeData)>;

    ModelDownloadDelegate(ModelDownloadOperationID operationID, std::filesystem::path stagingPath,
                          std::shared_ptr<const FileManager> fileManager, EventHandler eventHandler,
                          ResumeDataStore storeResumeData);

    // Active, and the finished file sits at the staging path.
    bool hasStagedFile() const;
    void deactivate();

    void transferDidWriteData(int64_t totalBytesWritten, int64_t totalBytesExpected) override;
    bool transferShouldFollowRedirect(const std::string& url) override;
    void transferDidFinishDownloading(const std::filesystem::path& temporaryFile, const std::string& sha256) override;
    void transferDidSaveResumeData(const std::string& resumeData) override;
    void transferIsWaitingForConnectivity() override;
    void transferDidComplete(const DownloadOutcome& outcome) override;

private:
    const ModelDownloadOperationID operationID_;
    const std::filesystem::path stagingPath_;
    const std::shared_ptr<const FileManager> fileManager_;
    const EventHandler eventHandler_;
    const ResumeDataStore storeResumeData_;

    mutable std::mutex mutex_;
    std::optional<std::filesystem::path> stagedFilePath_;
    std::optional<std::string> stagedFileSha256_;
    std::optional<std::string> stagingError_;
    bool insecureRedirect_ = false;
    bool isActive_ = true;
};

}  // namespace nudgerly
