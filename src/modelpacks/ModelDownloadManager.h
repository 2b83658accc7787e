#pragma once

#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/BackgroundExecutor.h"
#include "core/MainQueue.h"
#include "modelpacks/ModelDownloadArtifacts.h"
#include "modelpacks/ModelDownloadDelegate.h"
#include "modelpacks/ModelDownloadEvent.h"
#include "modelpacks/ModelDownloadState.h"
#include "modelpacks/ModelPack.h"
#include "modelpacks/ModelPackInstaller.h"
#include "modelpacks/ModelPackPaths.h"
#include "platform/net/DownloadTransfer.h"
#include "platform/system/FileManager.h"

namespace nudgerly {

// The life of one model pack on disk: download with pause and resume, free-space check, verification
// and install, cancel and removal, published as one ModelDownloadState.
//
// Lives on the main thread and is touched only there (debug builds check). Transfers and hashing run
// on the manager's background executor and reach the manager through the main queue; the manager
// stops and joins them when it goes, so none of them outlives it. Late news from an abandoned transfer
// or verification carries an id that is no longer current and is dropped.
//
// Its files lie below `rootDirectory` (the data folder) as ModelPackPaths says; the installer puts a
// finished download in place, and the download's leftovers are ModelDownloadArtifacts' to handle.
class ModelDownloadManager {
public:
    using StateObserver = std::function<void(const ModelDownloadState&)>;
    using ObserverID = uint64_t;

    struct Dependencies {
        MainQueue& mainQueue;
        ModelPack pack;
        std::filesystem::path rootDirectory;  // the data folder
        DownloadConfiguration configuration{};
        // Null: the real disk.
        std::shared_ptr<const FileManager> fileManager = nullptr;
        // Null: transfers over curl on the manager's executor.
        std::shared_ptr<DownloadTransport> transport = nullptr;
        // Null: workers of the manager's own. A given one becomes the manager's, which stops it when
        // it goes.
        std::shared_ptr<BackgroundExecutor> executor = nullptr;
    };

    // The initial state comes from what is on disk: installed, paused (resume data stored), failed or
    // missing; never downloading or verifying.
    explicit ModelDownloadManager(Dependencies dependencies);
    // Stops a running transfer and hashing, and waits (about a second at most) until both have ended.
    ~ModelDownloadManager();
    ModelDownloadManager(const ModelDownloadManager&) = delete;
    ModelDownloadManager& operator=(const ModelDownloadManager&) = delete;

    const ModelDownloadState& state() const { return state_; }
    // Observers receive every later change of `state`, on the main thread.
    ObserverID observe(StateObserver observer);
    void removeObserver(ObserverID id);

    const ModelPack& pack() const { return pack_; }
    const std::filesystem::path& installedModelPath() const { return paths_.installedModelPath; }
    const std::filesystem::path& verificationReceiptPath() const { return paths_.verificationReceiptPath; }
    const std::filesystem::path& stagingPath() const { return paths_.stagingPath; }
    const std::filesystem::path& resumeDataPath() const { return paths_.resumeDataPath; }
    const std::filesystem::path& temporaryDirectory() const { return paths_.temporaryDirectory; }
    const FileManager& fileManager() const { return *fileManager_; }

    // Starts a transfer, from the stored resume data when asked and usable. Ignored while a transfer
    // or a verification runs, and when installed. Failures end in `failed`, never thrown.
    void beginDownload(bool useResumeData);
    // Asks the running transfer to stop with resume data; the state becomes `paused` once it is stored.
    void pause();
    // Stops everything, deletes the partial download and its resume data; the state follows the disk.
    void cancel();
    // Stops everything and deletes the installed pack and every download leftover; state `missing`.
    // A file-system failure is published as `failed` and thrown.
    void remove();

private:
    enum class OperationIntent { download, pause, cancel };

    ModelDownloadState initialState();
    ModelDownloadState currentDiskState() const;
    void publish(ModelDownloadState state);

    void handle(const ModelDownloadEvent& event);
    void finishPause(ModelDownloadOperationID operationID, const std::optional<std::string>& resumeData);
    bool retryFreshAfterUnusableResume(const ModelDownloadCompletion& completion);
    void storeResumeDataAndPause(const std::string& resumeData);
    void finishOperation(ModelDownloadState state);
    void removeSavedResumeDataIgnoringErrors();
    void clearActiveOperation();
    void stopActiveOperation();

    std::shared_ptr<ModelDownloadDelegate> makeDelegate(ModelDownloadOperationID operationID);
    DownloadConfiguration transferConfiguration() const;
    void verifyFreeSpace(int64_t resumedBytes) const;
    // Checks the staged file off the main thread, installs it, checks it again and records the receipt.
    // The caller has published `verifying` and cleared the transfer.
    // `receivedSha256` is the digest the transfer took as the bytes arrived, when it has one.
    void verifyAndInstallStagedFile(bool usedResumeData, std::optional<std::string> receivedSha256);
    void verificationFailed(std::exception_ptr error, bool usedResumeData);

    ModelDownloadState state_;
    const ModelPack pack_;
    const std::filesystem::path rootDirectory_;
    const DownloadConfiguration sessionConfiguration_;
    const std::shared_ptr<const FileManager> fileManager_;
    MainQueue& mainQueue_;
    const std::shared_ptr<BackgroundExecutor> executor_;
    const std::shared_ptr<DownloadTransport> transport_;
    const ModelPackPaths paths_;
    const ModelDownloadArtifacts artifacts_;
    ModelPackInstaller installer_;

    std::optional<ModelDownloadOperationID> activeOperationID_;
    std::shared_ptr<DownloadTransfer> activeTask_;
    std::shared_ptr<ModelDownloadDelegate> activeDelegate_;
    bool activeUsedResumeData_ = false;
    OperationIntent operationIntent_ = OperationIntent::download;
    ModelDownloadOperationID lastID_ = 0;

    std::vector<std::pair<ObserverID, StateObserver>> observers_;
    ObserverID lastObserverID_ = 0;

    // Work queued for the main thread holds this weakly: once the manager is gone it does nothing.
    std::shared_ptr<ModelDownloadManager*> self_;
};

}  // namespace nudgerly
