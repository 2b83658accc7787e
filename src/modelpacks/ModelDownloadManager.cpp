#include "modelpacks/ModelDownloadManager.h"

#include <algorithm>
#include <chrono>
#include <limits>

#include "modelpacks/ModelDownloadError.h"
#include "modelpacks/ModelVerification.h"
#include "platform/formats/Url.h"
#include "platform/net/CurlDownloadTransport.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;

// Room kept free beyond the model itself.
constexpr int64_t freeSpaceMargin = 512LL * 1024 * 1024;
constexpr auto transferResourceTimeout = std::chrono::seconds(86'400);

constexpr const char* incompleteInstall = "The installed model is incomplete. Remove it and try again.";
constexpr const char* cleanupFailed = "The incomplete model download could not be cleaned up: ";
constexpr const char* cannotPause = "The model download could not be paused. Try again.";
constexpr const char* producedNoFile = "The model download did not produce a file.";

std::string messageOf(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& caught) {
        return ModelVerification::message(caught);
    } catch (...) {
        return "The operation couldn't be completed.";
    }
}

bool hasBytes(const std::optional<std::string>& data) {
    return data && !data->empty();
}

// Both addresses present and secure (HTTPS, a host, no user or password).
bool isSecureResumeRequest(const std::optional<std::string>& originalURL,
                           const std::optional<std::string>& currentURL) {
    return originalURL && currentURL && isSecureAddress(*originalURL) && isSecureAddress(*currentURL);
}

}  // namespace

ModelDownloadManager::ModelDownloadManager(Dependencies dependencies)
    : pack_(std::move(dependencies.pack)),
      rootDirectory_(std::move(dependencies.rootDirectory)),
      sessionConfiguration_(std::move(dependencies.configuration)),
      fileManager_(dependencies.fileManager ? std::move(dependencies.fileManager)
                                            : std::make_shared<SystemFileManager>()),
      mainQueue_(dependencies.mainQueue),
      executor_(dependencies.executor ? std::move(dependencies.executor) : std::make_shared<ThreadPoolExecutor>()),
      transport_(dependencies.transport ? std::move(dependencies.transport)
                                        : std::make_shared<CurlDownloadTransport>(executor_)),
      paths_(ModelPackPaths::of(pack_, rootDirectory_)),
      artifacts_(paths_, fileManager_),
      installer_(pack_, paths_, fileManager_, mainQueue_, executor_),
      self_(std::make_shared<ModelDownloadManager*>(this)) {
    assertMainThread(mainQueue_);
    state_ = initialState();
}

ModelDownloadManager::~ModelDownloadManager() {
    assertMainThread(mainQueue_);
    self_.reset();
    if (activeDelegate_) {
        activeDelegate_->deactivate();
    }
    if (activeTask_) {
        activeTask_->cancel();
    }
    installer_.stop();
    // Every worker has ended before the files, the pack and the queue it used go.
    executor_->stop();
}

ModelDownloadManager::ObserverID ModelDownloadManager::observe(StateObserver observer) {
    assertMainThread(mainQueue_);
    observers_.emplace_back(++lastObserverID_, std::move(observer));
    return lastObserverID_;
}

void ModelDownloadManager::removeObserver(ObserverID id) {
    assertMainThread(mainQueue_);
    std::erase_if(observers_, [id](const auto& entry) { return entry.first == id; });
}

void ModelDownloadManager::publish(ModelDownloadState state) {
    assertMainThread(mainQueue_);
    state_ = state;
    // A copy: an observer may subscribe or unsubscribe while being told.
    const auto observers = observers_;
    for (const auto& [id, observer] : observers) {
        observer(state);
    }
}

// MARK: - State from disk

ModelDownloadState ModelDownloadManager::initialState() {
    std::optional<std::string> cleanupFailure;
    try {
        artifacts_.removeStagedFile();
    } catch (const std::exception& error) {
        cleanupFailure = ModelVerification::message(error);
    }
    try {
        pack_.validate();
    } catch (const std::exception& error) {
        return ModelDownloadState::failed(ModelVerification::message(error));
    }
    if (cleanupFailure) {
        return ModelDownloadState::failed(cleanupFailed + *cleanupFailure);
    }
    if (installer_.hasVerifiedInstall()) {
        return ModelDownloadState::installed();
    }
    if (artifacts_.hasResumeData()) {
        return ModelDownloadState::paused();
    }
    if (fileManager_->fileExists(paths_.installedModelPath)) {
        return ModelDownloadState::failed(incompleteInstall);
    }
    return ModelDownloadState::missing();
}

ModelDownloadState ModelDownloadManager::currentDiskState() const {
    try {
        pack_.validate();
    } catch (const std::exception& error) {
        return ModelDownloadState::failed(ModelVerification::message(error));
    }
    if (installer_.hasVerifiedInstall()) {
        return ModelDownloadState::installed();
    }
    if (fileManager_->fileExists(paths_.installedModelPath)) {
        return ModelDownloadState::failed(incompleteInstall);
    }
    return ModelDownloadState::missing();
}

// MARK: - Transfers

void ModelDownloadManager::beginDownload(bool useResumeData) {
    assertMainThread(mainQueue_);
    // A begin during verification would delete the file being hashed.
    if (activeTask_ || installer_.isChecking()) {
        return;
    }
    try {
        pack_.validate();
        if (state_.kind == ModelDownloadState::Kind::installed) {
            return;
        }
        artifacts_.prepareDownloadDirectory();
        artifacts_.removeStagedFile();
        std::optional<std::string> resumeData;
        if (useResumeData) {
            resumeData = artifacts_.resumeData();  // unreadable or missing: start afresh
        } else {
            artifacts_.removeResumeArtifacts();
        }
        artifacts_.removeUnnamedPartialFiles();
        const int64_t keptBytes = artifacts_.resumablePartialByteCount(resumeData, pack_.byteCount);
        verifyFreeSpace(keptBytes);

        ModelDownloadOperationID operationID = ++lastID_;
        auto delegate = makeDelegate(operationID);
        std::shared_ptr<DownloadTransfer> task;
        bool usedResumeData = false;
        if (hasBytes(resumeData)) {
            task = transport_->transferWithResumeData(*resumeData, transferConfiguration(), delegate);
            if (isSecureResumeRequest(task->originalUrl(), task->currentUrl())) {
                usedResumeData = true;
            } else {
                delegate->deactivate();
                task->cancel();
                artifacts_.removeResumeArtifacts();
                operationID = ++lastID_;
                delegate = makeDelegate(operationID);
                task.reset();
            }
        }
        if (!task) {
            task = transport_->transferWithUrl(pack_.sourceURL, transferConfiguration(), delegate);
        }
        activeOperationID_ = operationID;
        activeDelegate_ = delegate;
        activeTask_ = task;
        activeUsedResumeData_ = usedResumeData;
        operationIntent_ = OperationIntent::download;
        // A wait for the network may come before any progress report: the kept bytes are shown until then.
        publish(ModelDownloadState::downloading(usedResumeData ? keptBytes : 0, pack_.byteCount));
        task->start();
    } catch (const std::exception& error) {
        // A transfer that failed to start must not pass for a running one, or every later begin
        // would be ignored.
        clearActiveOperation();
        publish(ModelDownloadState::failed(ModelVerification::message(error)));
    }
}

std::shared_ptr<ModelDownloadDelegate> ModelDownloadManager::makeDelegate(ModelDownloadOperationID operationID) {
    return std::make_shared<ModelDownloadDelegate>(
        operationID, paths_.stagingPath, fileManager_,
        [queue = &mainQueue_, weakSelf = std::weak_ptr(self_)](ModelDownloadEvent event) {
            queue->post([weakSelf, event = std::move(event)] {
                if (const auto self = weakSelf.lock()) {
                    (*self)->handle(event);
                }
            });
        },
        // Stored from the transfer's thread as it goes, so that a process that ends mid-way (killed,
        // or the power lost) resumes from the bytes it kept.
        [artifacts = artifacts_](const std::string& resumeData) { artifacts.storeResumeData(resumeData); });
}

DownloadConfiguration ModelDownloadManager::transferConfiguration() const {
    DownloadConfiguration configuration = sessionConfiguration_;
    configuration.temporaryDirectory = paths_.temporaryDirectory;
    configuration.waitsForConnectivity = true;
    configuration.resourceTimeout = transferResourceTimeout;
    return configuration;
}

void ModelDownloadManager::verifyFreeSpace(int64_t resumedBytes) const {
    const auto available = fileManager_->availableCapacity(rootDirectory_);
    if (!available) {
        return;
    }
    const int64_t remaining = pack_.byteCount - std::clamp<int64_t>(resumedBytes, 0, pack_.byteCount);
    const int64_t required = remaining > std::numeric_limits<int64_t>::max() - freeSpaceMargin
                                 ? std::numeric_limits<int64_t>::max()
                                 : remaining + freeSpaceMargin;
    if (*available < required) {
        throw ModelDownloadError::insufficientDiskSpace(required, *available);
    }
}

void ModelDownloadManager::pause() {
    assertMainThread(mainQueue_);
    if (operationIntent_ != OperationIntent::download || !activeOperationID_ || !activeTask_) {
        return;
    }
    operationIntent_ = OperationIntent::pause;
    activeTask_->cancelProducingResumeData([queue = &mainQueue_, weakSelf = std::weak_ptr(self_),
                                            operationID = *activeOperationID_](std::optional<std::string> resumeData) {
        queue->post([weakSelf, operationID, resumeData = std::move(resumeData)] {
            if (const auto self = weakSelf.lock()) {
                (*self)->finishPause(operationID, resumeData);
            }
        });
    });
}

void ModelDownloadManager::finishPause(ModelDownloadOperationID operationID,
                                       const std::optional<std::string>& resumeData) {
    if (operationID != activeOperationID_ || operationIntent_ != OperationIntent::pause) {
        return;
    }
    if (activeDelegate_ && activeDelegate_->hasStagedFile()) {
        // The transfer finished just as it was paused.
        const bool usedResumeData = activeUsedResumeData_;
        clearActiveOperation();
        publish(ModelDownloadState::verifying());
        verifyAndInstallStagedFile(usedResumeData, std::nullopt);
        return;
    }
    if (!hasBytes(resumeData)) {
        return;  // the transfer's completion decides
    }
    storeResumeDataAndPause(*resumeData);
}

void ModelDownloadManager::storeResumeDataAndPause(const std::string& resumeData) {
    try {
        artifacts_.storeResumeData(resumeData);
    } catch (const std::exception& error) {
        finishOperation(ModelDownloadState::failed(ModelVerification::message(error)));
        return;
    }
    clearActiveOperation();
    publish(ModelDownloadState::paused());
}

void ModelDownloadManager::handle(const ModelDownloadEvent& event) {
    if (event.operationID != activeOperationID_) {
        return;
    }
    if (const auto* progress = std::get_if<ModelDownloadProgress>(&event.kind)) {
        publish(ModelDownloadState::downloading(std::max<int64_t>(progress->receivedBytes, 0),
                                                progress->totalBytes > 0 ? progress->totalBytes : pack_.byteCount));
        return;
    }
    if (std::holds_alternative<ModelDownloadWaiting>(event.kind)) {
        if (operationIntent_ == OperationIntent::download) {
            publish(ModelDownloadState::waiting(state_.receivedBytes, state_.totalBytes));
        }
        return;
    }
    const auto& completion = std::get<ModelDownloadCompletion>(event.kind);
    if (operationIntent_ == OperationIntent::cancel) {
        return;
    }
    if (completion.insecureRedirect) {
        finishOperation(ModelDownloadState::failed(ModelDownloadError::insecureRedirect().what()));
        return;
    }
    if (completion.httpStatusCode && (*completion.httpStatusCode < 200 || *completion.httpStatusCode > 299)) {
        if (!retryFreshAfterUnusableResume(completion)) {
            finishOperation(ModelDownloadState::failed(
                ModelDownloadError::unexpectedHTTPStatus(*completion.httpStatusCode).what()));
        }
        return;
    }
    if (completion.stagedFilePath) {
        const bool usedResumeData = activeUsedResumeData_;
        clearActiveOperation();
        publish(ModelDownloadState::verifying());
        verifyAndInstallStagedFile(usedResumeData, completion.stagedFileSha256);
        return;
    }
    if (operationIntent_ == OperationIntent::pause) {
        if (hasBytes(completion.resumeData)) {
            finishPause(event.operationID, completion.resumeData);
        } else if (state_.receivedBytes == 0) {
            // Nothing was lost (still waiting for the network, say): paused, and a resume starts afresh.
            clearActiveOperation();
            publish(ModelDownloadState::paused());
        } else {
            finishOperation(ModelDownloadState::failed(cannotPause));
        }
        return;
    }
    if (!completion.errorMessage) {
        finishOperation(ModelDownloadState::failed(producedNoFile));
        return;
    }
    if (retryFreshAfterUnusableResume(completion)) {
        return;
    }
    if (hasBytes(completion.resumeData)) {
        storeResumeDataAndPause(*completion.resumeData);
        return;
    }
    finishOperation(ModelDownloadState::failed(*completion.errorMessage));
}

// A resumed transfer that ended without new resume data gets one fresh start. A fresh transfer is not
// resumed, so it never comes here twice.
bool ModelDownloadManager::retryFreshAfterUnusableResume(const ModelDownloadCompletion& completion) {
    if (!activeUsedResumeData_ || hasBytes(completion.resumeData)) {
        return false;
    }
    clearActiveOperation();
    try {
        artifacts_.removeDownloadArtifacts();
    } catch (const std::exception& error) {
        publish(ModelDownloadState::failed(ModelVerification::message(error)));
        return true;
    }
    beginDownload(false);
    return true;
}

void ModelDownloadManager::finishOperation(ModelDownloadState state) {
    clearActiveOperation();
    if (state.kind == ModelDownloadState::Kind::failed) {
        artifacts_.removeStagedFileIgnoringErrors();
        removeSavedResumeDataIgnoringErrors();
    }
    publish(std::move(state));
}

// Resume data saved while the transfer ran names bytes a failed transfer no longer keeps; left, it
// would show the download as paused at the next start.
void ModelDownloadManager::removeSavedResumeDataIgnoringErrors() {
    try {
        artifacts_.removeResumeArtifacts();
    } catch (const std::exception&) {
        // Taken for unusable at the next resume, which then starts afresh.
    }
}

// The transfer has ended or is left to end on its own; nothing it still sends is taken.
void ModelDownloadManager::clearActiveOperation() {
    if (activeDelegate_) {
        activeDelegate_->deactivate();
    }
    activeOperationID_.reset();
    activeTask_.reset();
    activeDelegate_.reset();
    activeUsedResumeData_ = false;
    operationIntent_ = OperationIntent::download;
}

void ModelDownloadManager::stopActiveOperation() {
    operationIntent_ = OperationIntent::cancel;
    if (activeDelegate_) {
        activeDelegate_->deactivate();
    }
    activeOperationID_.reset();
    if (activeTask_) {
        activeTask_->cancel();
    }
    installer_.stop();
    clearActiveOperation();
}

void ModelDownloadManager::cancel() {
    assertMainThread(mainQueue_);
    stopActiveOperation();
    ModelDownloadState next;
    try {
        artifacts_.removeDownloadArtifacts();
        next = currentDiskState();
    } catch (const std::exception& error) {
        next = ModelDownloadState::failed(ModelVerification::message(error));
    }
    artifacts_.removeUnnamedPartialFiles();
    publish(std::move(next));
}

void ModelDownloadManager::remove() {
    assertMainThread(mainQueue_);
    stopActiveOperation();
    try {
        const fs::path packFolder = paths_.packFolder();
        if (fileManager_->fileExists(packFolder)) {
            fileManager_->removeItem(packFolder);
        }
        artifacts_.removeDownloadArtifacts();
    } catch (const std::exception& error) {
        publish(ModelDownloadState::failed(ModelVerification::message(error)));
        throw;
    }
    artifacts_.removeUnnamedPartialFiles();
    publish(ModelDownloadState::missing());
}

// MARK: - Verification and install

void ModelDownloadManager::verifyAndInstallStagedFile(bool usedResumeData, std::optional<std::string> receivedSha256) {
    assertMainThread(mainQueue_);
    installer_.checkAndInstallStagedFile(std::move(receivedSha256), [this, usedResumeData](std::exception_ptr error) {
        if (!error) {
            try {
                artifacts_.removeResumeArtifacts();
                installer_.recordReceipt();
            } catch (...) {
                error = std::current_exception();
            }
        }
        if (error) {
            verificationFailed(error, usedResumeData);
        } else {
            publish(ModelDownloadState::installed());
        }
    });
}

// A file that failed only the second check stays installed without a receipt, which the disk state
// reports as an incomplete install.
void ModelDownloadManager::verificationFailed(std::exception_ptr error, bool usedResumeData) {
    artifacts_.removeStagedFileIgnoringErrors();
    removeSavedResumeDataIgnoringErrors();
    try {
        std::rethrow_exception(error);
    } catch (const ModelDownloadError& failure) {
        const bool brokenBytes = failure.kind() == ModelDownloadError::Kind::incompleteDownload ||
                                 failure.kind() == ModelDownloadError::Kind::checksumMismatch;
        if (usedResumeData && brokenBytes) {
            beginDownload(false);  // one fresh download instead of a broken resumed one
            return;
        }
    } catch (...) {
    }
    publish(ModelDownloadState::failed(messageOf(error)));
}

}  // namespace nudgerly
