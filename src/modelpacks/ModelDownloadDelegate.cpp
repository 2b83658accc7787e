#include "modelpacks/ModelDownloadDelegate.h"

#include "modelpacks/ModelVerification.h"
#include "platform/formats/Url.h"

namespace nudgerly {

ModelDownloadDelegate::ModelDownloadDelegate(ModelDownloadOperationID operationID, std::filesystem::path stagingPath,
                                             std::shared_ptr<const FileManager> fileManager, EventHandler eventHandler,
                                             ResumeDataStore storeResumeData)
    : operationID_(operationID),
      stagingPath_(std::move(stagingPath)),
      fileManager_(std::move(fileManager)),
      eventHandler_(std::move(eventHandler)),
      storeResumeData_(std::move(storeResumeData)) {}

bool ModelDownloadDelegate::hasStagedFile() const {
    std::lock_guard lock(mutex_);
    return isActive_ && stagedFilePath_.has_value();
}

void ModelDownloadDelegate::deactivate() {
    std::lock_guard lock(mutex_);
    isActive_ = false;
}

void ModelDownloadDelegate::transferDidWriteData(int64_t totalBytesWritten, int64_t totalBytesExpected) {
    std::lock_guard lock(mutex_);
    if (isActive_) {
        eventHandler_({operationID_, ModelDownloadProgress{totalBytesWritten, totalBytesExpected}});
    }
}

bool ModelDownloadDelegate::transferShouldFollowRedirect(const std::string& url) {
    std::lock_guard lock(mutex_);
    if (!isActive_) {
        return false;
    }
    // Only the scheme matters here; the host may change (model hubs redirect to their file servers).
    const auto parsed = Url::parse(url);
    if (parsed && parsed->scheme() == "https") {
        return true;
    }
    insecureRedirect_ = true;
    return false;
}

void ModelDownloadDelegate::transferDidSaveResumeData(const std::string& resumeData) {
    // Under the lock: once deactivate() returns, a cancel's deletion of the resume data is final.
    std::lock_guard lock(mutex_);
    if (!isActive_) {
        return;
    }
    try {
        storeResumeData_(resumeData);
    } catch (const std::exception&) {
        // Only a safeguard against the process ending mid-way: the download goes on, a pause still
        // stores resume data, and the next one saved tries again.
    }
}

void ModelDownloadDelegate::transferIsWaitingForConnectivity() {
    std::lock_guard lock(mutex_);
    if (isActive_) {
        eventHandler_({operationID_, ModelDownloadWaiting{}});
    }
}

void ModelDownloadDelegate::transferDidFinishDownloading(const std::filesystem::path& temporaryFile,
                                                         const std::string& sha256) {
    std::lock_guard lock(mutex_);
    if (!isActive_) {
        return;
    }
    try {
        fileManager_->createDirectories(stagingPath_.parent_path());
        if (fileManager_->fileExists(stagingPath_)) {
            fileManager_->removeItem(stagingPath_);
        }
        fileManager_->moveItem(temporaryFile, stagingPath_);
        stagedFilePath_ = stagingPath_;
        stagedFileSha256_ = sha256;
    } catch (const std::exception& error) {
        stagingError_ = ModelVerification::message(error);
    }
}

void ModelDownloadDelegate::transferDidComplete(const DownloadOutcome& outcome) {
    std::lock_guard lock(mutex_);
    if (!isActive_) {
        return;
    }
    ModelDownloadCompletion completion{
        .stagedFilePath = stagedFilePath_,
        .stagedFileSha256 = stagedFileSha256_,
        .resumeData = outcome.resumeData,
        .insecureRedirect = insecureRedirect_,
        .errorMessage = stagingError_ ? stagingError_ : outcome.errorMessage,
    };
    if (outcome.httpStatusCode) {
        completion.httpStatusCode = static_cast<int>(*outcome.httpStatusCode);
    }
    eventHandler_({operationID_, std::move(completion)});
}

}  // namespace nudgerly
