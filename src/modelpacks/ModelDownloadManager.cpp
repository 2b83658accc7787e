#include "modelpacks/ModelDownloadManager.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <set>
#include <system_error>

#include "core/CancelledError.h"
#include "modelpacks/ModelDownloadError.h"
#include "modelpacks/ModelVerification.h"
#include "platform/CurlDownloadTransport.h"
#include "platform/DownloadResumeData.h"
#include "platform/PropertyList.h"
#include "platform/Url.h"

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

// Lexically normal, without a trailing separator.
fs::path standardised(const fs::path& path) {
    fs::path normal = path.lexically_normal();
    return normal.has_filename() || !normal.has_parent_path() ? normal : normal.parent_path();
}

std::set<std::string> temporaryFileNamesIn(std::string_view resumeData) {
    std::set<std::string> names;
    if (const auto root = PropertyList::parse(resumeData, {.maxBytes = DownloadResumeData::maximumSize})) {
        ModelVerification::collectTemporaryDownloadFileNames(root.get(), names);
    }
    return names;
}

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

}  // namespace

ModelDownloadManager::ModelDownloadManager(ModelPack pack, fs::path rootDirectory, DownloadConfiguration sessionConfiguration,
                                           std::shared_ptr<const FileManager> fileManager, MainQueue& mainQueue,
                                           std::shared_ptr<DownloadTransport> transport,
                                           std::shared_ptr<BackgroundExecutor> executor)
    : pack_(std::move(pack)),
      rootDirectory_(std::move(rootDirectory)),
      sessionConfiguration_(std::move(sessionConfiguration)),
      fileManager_(fileManager ? std::move(fileManager) : std::make_shared<SystemFileManager>()),
      mainQueue_(mainQueue),
      executor_(executor ? std::move(executor) : std::make_shared<ThreadPoolExecutor>()),
      transport_(transport ? std::move(transport) : std::make_shared<CurlDownloadTransport>(executor_)),
      self_(std::make_shared<ModelDownloadManager*>(this)) {
    assertMainThread(mainQueue_);
    const std::string folderName = ModelPack::isSafePathComponent(pack_.identifier) ? pack_.identifier : "invalid-model-pack";
    const std::string fileName = ModelPack::isSafePathComponent(pack_.filename) ? pack_.filename : "invalid-model.gguf";
    const fs::path packs = rootDirectory_ / "ModelPacks";
    const fs::path downloads = packs / ".downloads";
    installedModelURL_ = packs / folderName / fileName;
    verificationReceiptURL_ = installedModelURL_.parent_path() / ModelVerification::receiptFileName;
    stagingURL_ = downloads / (folderName + ".partial");
    resumeDataURL_ = downloads / (folderName + ".resumeData");
    temporaryDirectory_ = downloads / (folderName + ".transfers");
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
    if (verificationStop_) {
        verificationStop_->request_stop();
    }
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
    if (progressHandler_) {
        progressHandler_(state);
    }
}

bool ModelDownloadManager::isSecureResumeRequest(const std::optional<std::string>& originalURL,
                                                 const std::optional<std::string>& currentURL) {
    return originalURL && currentURL && isSecureAddress(*originalURL) && isSecureAddress(*currentURL);
}

// MARK: - State from disk

ModelDownloadState ModelDownloadManager::initialState() {
    std::optional<std::string> cleanupFailure;
    try {
        if (fileManager_->fileExists(stagingURL_)) {
            fileManager_->removeItem(stagingURL_);
        }
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
    if (ModelVerification::hasVerifiedInstall(installedModelURL_, verificationReceiptURL_, pack_, *fileManager_)) {
        return ModelDownloadState::installed();
    }
    if (fileManager_->fileExists(resumeDataURL_)) {
        return ModelDownloadState::paused();
    }
    if (fileManager_->fileExists(installedModelURL_)) {
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
    if (ModelVerification::hasVerifiedInstall(installedModelURL_, verificationReceiptURL_, pack_, *fileManager_)) {
        return ModelDownloadState::installed();
    }
    if (fileManager_->fileExists(installedModelURL_)) {
        return ModelDownloadState::failed(incompleteInstall);
    }
    return ModelDownloadState::missing();
}

// MARK: - Transfers

void ModelDownloadManager::beginDownload(bool useResumeData) {
    assertMainThread(mainQueue_);
    // A begin during verification would delete the file being hashed.
    if (activeTask_ || verificationID_) {
        return;
    }
    try {
        pack_.validate();
        if (state_.kind == ModelDownloadState::Kind::installed) {
            return;
        }
        fileManager_->createDirectories(resumeDataURL_.parent_path());
        if (fileManager_->fileExists(stagingURL_)) {
            fileManager_->removeItem(stagingURL_);
        }
        std::optional<std::string> resumeData;
        if (useResumeData) {
            try {
                resumeData = fileManager_->contents(resumeDataURL_, DownloadResumeData::maximumSize);
            } catch (const std::exception&) {
                // unreadable or missing: start afresh
            }
        } else {
            removeResumeArtifacts();
        }
        removeTemporaryFilesNoResumeDataNames();
        verifyFreeSpace(resumablePartialByteCount(resumeData));

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
                removeResumeArtifacts();
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
        // 0 also when resuming: the first progress report corrects it.
        publish(ModelDownloadState::downloading(0, pack_.byteCount));
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
        operationID, stagingURL_, fileManager_,
        [queue = &mainQueue_, weakSelf = std::weak_ptr(self_)](ModelDownloadEvent event) {
            queue->post([weakSelf, event = std::move(event)] {
                if (const auto self = weakSelf.lock()) {
                    (*self)->handle(event);
                }
            });
        });
}

DownloadConfiguration ModelDownloadManager::transferConfiguration() const {
    DownloadConfiguration configuration = sessionConfiguration_;
    configuration.temporaryDirectory = temporaryDirectory_;
    configuration.waitsForConnectivity = true;
    configuration.resourceTimeout = transferResourceTimeout;
    return configuration;
}

int64_t ModelDownloadManager::resumablePartialByteCount(const std::optional<std::string>& resumeData) const {
    if (!resumeData) {
        return 0;
    }
    const auto names = temporaryFileNamesIn(*resumeData);
    if (names.size() != 1) {
        return 0;
    }
    const fs::path folder = standardised(temporaryDirectory_);
    const fs::path candidate = standardised(folder / *names.begin());
    if (candidate.parent_path() != folder) {
        return 0;
    }
    try {
        return std::clamp<int64_t>(fileManager_->attributesOfItem(candidate).size, 0, pack_.byteCount);
    } catch (const std::exception&) {
        return 0;
    }
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
    activeTask_->cancelProducingResumeData(
        [queue = &mainQueue_, weakSelf = std::weak_ptr(self_), operationID = *activeOperationID_](
            std::optional<std::string> resumeData) {
            queue->post([weakSelf, operationID, resumeData = std::move(resumeData)] {
                if (const auto self = weakSelf.lock()) {
                    (*self)->finishPause(operationID, resumeData);
                }
            });
        });
}

void ModelDownloadManager::finishPause(ModelDownloadOperationID operationID, const std::optional<std::string>& resumeData) {
    if (operationID != activeOperationID_ || operationIntent_ != OperationIntent::pause) {
        return;
    }
    if (activeDelegate_ && activeDelegate_->hasStagedFile()) {
        // The transfer finished just as it was paused.
        const bool usedResumeData = activeUsedResumeData_;
        clearActiveOperation();
        publish(ModelDownloadState::verifying());
        verifyAndInstallStagedFile(usedResumeData);
        return;
    }
    if (!hasBytes(resumeData)) {
        return;  // the transfer's completion decides
    }
    storeResumeDataAndPause(*resumeData);
}

void ModelDownloadManager::storeResumeDataAndPause(const std::string& resumeData) {
    try {
        fileManager_->writeAtomically(resumeDataURL_, resumeData);
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
            finishOperation(ModelDownloadState::failed(ModelDownloadError::unexpectedHTTPStatus(*completion.httpStatusCode).what()));
        }
        return;
    }
    if (completion.stagedFileURL) {
        const bool usedResumeData = activeUsedResumeData_;
        clearActiveOperation();
        publish(ModelDownloadState::verifying());
        verifyAndInstallStagedFile(usedResumeData);
        return;
    }
    if (operationIntent_ == OperationIntent::pause) {
        if (hasBytes(completion.resumeData)) {
            finishPause(event.operationID, completion.resumeData);
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
        removeDownloadArtifacts();
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
        removeIgnoringErrors(stagingURL_);
    }
    publish(std::move(state));
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
    verificationID_.reset();
    if (verificationStop_) {
        verificationStop_->request_stop();
        verificationStop_.reset();
    }
    clearActiveOperation();
}

void ModelDownloadManager::cancel() {
    assertMainThread(mainQueue_);
    stopActiveOperation();
    ModelDownloadState next;
    try {
        removeDownloadArtifacts();
        next = currentDiskState();
    } catch (const std::exception& error) {
        next = ModelDownloadState::failed(ModelVerification::message(error));
    }
    removeTemporaryFilesNoResumeDataNames();
    publish(std::move(next));
}

void ModelDownloadManager::remove() {
    assertMainThread(mainQueue_);
    stopActiveOperation();
    try {
        const fs::path packFolder = installedModelURL_.parent_path();
        if (fileManager_->fileExists(packFolder)) {
            fileManager_->removeItem(packFolder);
        }
        removeDownloadArtifacts();
    } catch (const std::exception& error) {
        publish(ModelDownloadState::failed(ModelVerification::message(error)));
        throw;
    }
    removeTemporaryFilesNoResumeDataNames();
    publish(ModelDownloadState::missing());
}

// MARK: - Files

void ModelDownloadManager::removeDownloadArtifacts() {
    removeResumeArtifacts();
    if (fileManager_->fileExists(stagingURL_)) {
        fileManager_->removeItem(stagingURL_);
    }
}

void ModelDownloadManager::removeResumeArtifacts() {
    assertMainThread(mainQueue_);
    if (!fileManager_->fileExists(resumeDataURL_)) {
        return;
    }
    // Resume data that cannot be read names no file of ours; it goes all the same, or every later
    // begin, cancel and removal would stumble over it.
    std::set<std::string> names;
    try {
        names = temporaryFileNamesIn(fileManager_->contents(resumeDataURL_, DownloadResumeData::maximumSize));
    } catch (const std::exception&) {
    }
    if (names.size() == 1) {
        const fs::path folder = standardised(temporaryDirectory_);
        const fs::path candidate = standardised(folder / *names.begin());
        if (candidate.parent_path() == folder && fileManager_->fileExists(candidate)) {
            fileManager_->removeItem(candidate);
        }
    }
    fileManager_->removeItem(resumeDataURL_);
}

// Partial bodies that no stored resume data names any longer (its write failed, the program was
// killed, or the resume data named several) would otherwise stay behind for good. The transfer folder
// is this pack's own, so only our own files are touched.
void ModelDownloadManager::removeTemporaryFilesNoResumeDataNames() {
    std::set<std::string> named;
    if (fileManager_->fileExists(resumeDataURL_)) {
        try {
            named = temporaryFileNamesIn(fileManager_->contents(resumeDataURL_, DownloadResumeData::maximumSize));
        } catch (const std::exception&) {
            return;  // cannot tell which file is still wanted
        }
    }
    std::vector<fs::path> entries;
    try {
        entries = fileManager_->contentsOfDirectory(temporaryDirectory_);
    } catch (const std::exception&) {
        return;  // no folder yet, or it cannot be listed: nothing to tidy now
    }
    for (const auto& path : entries) {
        const std::string name = path.filename().string();
        if (isTemporaryDownloadFileName(name) && !named.contains(name)) {
            removeIgnoringErrors(path);
        }
    }
}

void ModelDownloadManager::removeIgnoringErrors(const fs::path& path) const {
    try {
        if (fileManager_->fileExists(path)) {
            fileManager_->removeItem(path);
        }
    } catch (const std::exception&) {
    }
}

// MARK: - Verification and install

void ModelDownloadManager::verifyAndInstallStagedFile(bool usedResumeData) {
    assertMainThread(mainQueue_);
    const ModelDownloadOperationID verificationID = ++lastID_;
    verificationID_ = verificationID;
    startHashing(stagingURL_, [verificationID, usedResumeData](ModelDownloadManager& self, std::exception_ptr error) {
        self.stagedFileChecked(verificationID, usedResumeData, error);
    });
}

// Hashes on a worker thread (minutes for a large pack) and brings the outcome back to the main thread.
void ModelDownloadManager::startHashing(const fs::path& file, Continuation then) {
    // The outcome goes to the main thread, where it is dropped once the manager is gone.
    const auto report = [queue = &mainQueue_, weakSelf = std::weak_ptr(self_),
                         then = std::move(then)](std::exception_ptr error) {
        queue->post([weakSelf, then, error] {
            if (const auto self = weakSelf.lock()) {
                then(**self, error);
            }
        });
    };
    try {
        const auto hash = [file, pack = pack_, files = fileManager_, report](std::stop_token stop) {
            std::exception_ptr error;
            try {
                ModelVerification::verifyFile(file, pack, *files, stop);
            } catch (const CancelledError&) {
                return;
            } catch (...) {
                error = std::current_exception();
            }
            if (stop.stop_requested()) {
                return;  // abandoned: nobody waits for the outcome
            }
            report(error);
        };
        verificationStop_ = executor_->submit("model verification", hash);
    } catch (...) {
        // No thread for the hashing: the check fails like any other, so the manager does not wait
        // in `verifying` for good.
        report(std::current_exception());
    }
}

void ModelDownloadManager::stagedFileChecked(ModelDownloadOperationID verificationID, bool usedResumeData,
                                             std::exception_ptr error) {
    if (verificationID_ != verificationID) {
        return;  // a cancel or a newer verification took over
    }
    if (error) {
        verificationFailed(error, usedResumeData);
        return;
    }
    try {
        fileManager_->createDirectories(installedModelURL_.parent_path());
        if (fileManager_->fileExists(verificationReceiptURL_)) {
            fileManager_->removeItem(verificationReceiptURL_);
        }
        if (fileManager_->fileExists(installedModelURL_)) {
            fileManager_->replaceItem(installedModelURL_, stagingURL_);
        } else {
            fileManager_->moveItem(stagingURL_, installedModelURL_);
        }
    } catch (...) {
        verificationFailed(std::current_exception(), usedResumeData);
        return;
    }
    startHashing(installedModelURL_, [verificationID, usedResumeData](ModelDownloadManager& self, std::exception_ptr error) {
        self.installedFileChecked(verificationID, usedResumeData, error);
    });
}

void ModelDownloadManager::installedFileChecked(ModelDownloadOperationID verificationID, bool usedResumeData,
                                                std::exception_ptr error) {
    if (verificationID_ != verificationID) {
        return;
    }
    if (error) {
        verificationFailed(error, usedResumeData);
        return;
    }
    try {
        removeResumeArtifacts();
        ModelVerification::recordVerifiedFile(installedModelURL_, verificationReceiptURL_, pack_, *fileManager_);
    } catch (...) {
        verificationFailed(std::current_exception(), usedResumeData);
        return;
    }
    verificationID_.reset();
    verificationStop_.reset();
    publish(ModelDownloadState::installed());
}

// A file that failed only the second check stays installed without a receipt, which the disk state
// reports as an incomplete install.
void ModelDownloadManager::verificationFailed(std::exception_ptr error, bool usedResumeData) {
    removeIgnoringErrors(stagingURL_);
    verificationID_.reset();
    verificationStop_.reset();
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
