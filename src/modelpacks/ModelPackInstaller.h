#pragma once

#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "core/BackgroundExecutor.h"
#include "core/MainQueue.h"
#include "modelpacks/ModelDownloadEvent.h"
#include "modelpacks/ModelPack.h"
#include "modelpacks/ModelPackPaths.h"
#include "platform/system/FileManager.h"

namespace nudgerly {

// Puts a finished download in place: checks the staged file against its pack, moves it into the
// pack's folder, checks it there once more and, when asked, writes the receipt that spares later
// checks the hashing.
//
// Lives on the main thread. Hashing takes minutes for a large pack, so it runs on the owner's
// executor and the outcome comes back through the main queue; an outcome whose check was stopped or
// replaced meanwhile, or that arrives once the installer is gone, is dropped.
class ModelPackInstaller {
public:
    // Null when the installed file passed its check; else what failed (ModelDownloadError for the
    // file's size or digest, file-system errors as they come).
    using Checked = std::function<void(std::exception_ptr error)>;

    ModelPackInstaller(ModelPack pack, ModelPackPaths paths, std::shared_ptr<const FileManager> fileManager,
                       MainQueue& mainQueue, std::shared_ptr<BackgroundExecutor> executor);
    // Stops the running check; its outcome never comes.
    ~ModelPackInstaller();
    ModelPackInstaller(const ModelPackInstaller&) = delete;
    ModelPackInstaller& operator=(const ModelPackInstaller&) = delete;

    // Checks the staged file, replaces the installed model with it (dropping the old receipt) and
    // checks the installed file; `checked` runs on the main thread with the outcome. A file that
    // failed only the second check stays installed without a receipt. Replaces a running check.
    // With `receivedSha256`, the digest the transfer took as the bytes arrived, the first check
    // compares it instead of hashing the staged file; the installed file is always hashed.
    void checkAndInstallStagedFile(std::optional<std::string> receivedSha256, Checked checked);
    // The receipt for the installed file, once it passed its check. Throws as recordVerifiedFile does.
    void recordReceipt() const;
    // The installed file still is the one its receipt records (the fast check, no hashing).
    bool hasVerifiedInstall() const;
    // Drops the running check.
    void stop();
    bool isChecking() const { return verificationID_.has_value(); }

private:
    void startHashing(const std::filesystem::path& file, std::optional<std::string> receivedSha256,
                      std::function<void(std::exception_ptr)> then);
    void stagedFileChecked(ModelDownloadOperationID verificationID, std::exception_ptr error, Checked checked);
    // Ends the check in progress and tells its owner, unless a newer one took over.
    void finish(ModelDownloadOperationID verificationID, std::exception_ptr error, const Checked& checked);

    const ModelPack pack_;
    const ModelPackPaths paths_;
    const std::shared_ptr<const FileManager> fileManager_;
    MainQueue& mainQueue_;
    const std::shared_ptr<BackgroundExecutor> executor_;

    std::optional<ModelDownloadOperationID> verificationID_;
    std::optional<std::stop_source> verificationStop_;
    ModelDownloadOperationID lastID_ = 0;

    // Work queued for the main thread holds this weakly: once the installer is gone it does nothing.
    std::shared_ptr<ModelPackInstaller*> self_;
};

}  // namespace nudgerly
