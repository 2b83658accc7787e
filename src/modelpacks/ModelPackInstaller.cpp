#include "modelpacks/ModelPackInstaller.h"

#include <utility>

#include "core/CancelledError.h"
#include "modelpacks/ModelVerification.h"

namespace nudgerly {

namespace fs = std::filesystem;

ModelPackInstaller::ModelPackInstaller(ModelPack pack, ModelPackPaths paths,
                                       std::shared_ptr<const FileManager> fileManager, MainQueue& mainQueue,
                                       std::shared_ptr<BackgroundExecutor> executor)
    : pack_(std::move(pack)),
      paths_(std::move(paths)),
      fileManager_(std::move(fileManager)),
      mainQueue_(mainQueue),
      executor_(std::move(executor)),
      self_(std::make_shared<ModelPackInstaller*>(this)) {}

ModelPackInstaller::~ModelPackInstaller() {
    self_.reset();
    stop();
}

void ModelPackInstaller::stop() {
    verificationID_.reset();
    if (verificationStop_) {
        verificationStop_->request_stop();
        verificationStop_.reset();
    }
}

void ModelPackInstaller::checkAndInstallStagedFile(std::optional<std::string> receivedSha256, Checked checked) {
    assertMainThread(mainQueue_);
    const ModelDownloadOperationID verificationID = ++lastID_;
    verificationID_ = verificationID;
    startHashing(paths_.stagingPath, std::move(receivedSha256),
                 [this, verificationID, checked = std::move(checked)](std::exception_ptr error) {
                     stagedFileChecked(verificationID, error, checked);
                 });
}

void ModelPackInstaller::recordReceipt() const {
    ModelVerification::recordVerifiedFile(paths_.installedModelPath, paths_.verificationReceiptPath, pack_,
                                          *fileManager_);
}

bool ModelPackInstaller::hasVerifiedInstall() const {
    return ModelVerification::hasVerifiedInstall(paths_.installedModelPath, paths_.verificationReceiptPath, pack_,
                                                 *fileManager_);
}

// Hashes on a worker thread and brings the outcome back to the main thread.
void ModelPackInstaller::startHashing(const fs::path& file, std::optional<std::string> receivedSha256,
                                      std::function<void(std::exception_ptr)> then) {
    // The outcome goes to the main thread, where it is dropped once the installer is gone.
    const auto report = [queue = &mainQueue_, weakSelf = std::weak_ptr(self_),
                         then = std::move(then)](std::exception_ptr error) {
        queue->post([weakSelf, then, error] {
            if (weakSelf.lock()) {
                then(error);
            }
        });
    };
    try {
        const auto hash = [file, pack = pack_, files = fileManager_, report,
                           receivedSha256 = std::move(receivedSha256)](std::stop_token stop) {
            std::exception_ptr error;
            try {
                ModelVerification::verifyFile(file, pack, *files, stop, receivedSha256);
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
        // No thread for the hashing: the check fails like any other, so the owner does not wait for
        // good.
        report(std::current_exception());
    }
}

void ModelPackInstaller::stagedFileChecked(ModelDownloadOperationID verificationID, std::exception_ptr error,
                                           Checked checked) {
    if (error || verificationID_ != verificationID) {
        finish(verificationID, error, checked);
        return;
    }
    try {
        fileManager_->createDirectories(paths_.packFolder());
        if (fileManager_->fileExists(paths_.verificationReceiptPath)) {
            fileManager_->removeItem(paths_.verificationReceiptPath);
        }
        if (fileManager_->fileExists(paths_.installedModelPath)) {
            fileManager_->replaceItem(paths_.installedModelPath, paths_.stagingPath);
        } else {
            fileManager_->moveItem(paths_.stagingPath, paths_.installedModelPath);
        }
    } catch (...) {
        finish(verificationID, std::current_exception(), checked);
        return;
    }
    startHashing(paths_.installedModelPath, std::nullopt,
                 [this, verificationID, checked](std::exception_ptr error) { finish(verificationID, error, checked); });
}

void ModelPackInstaller::finish(ModelDownloadOperationID verificationID, std::exception_ptr error,
                                const Checked& checked) {
    if (verificationID_ != verificationID) {
        return;  // stopped, or a newer check took over
    }
    verificationID_.reset();
    verificationStop_.reset();
    checked(error);
}

}  // namespace nudgerly
