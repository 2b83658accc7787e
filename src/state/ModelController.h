#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string_view>

#include "classifier/ConversationClassifier.h"
#include "classifier/ModelRunReport.h"
#include "core/MainTask.h"
#include "modelpacks/ModelDownloadManager.h"
#include "state/StateContext.h"

namespace nudgerly {

// The state object's Local AI model: the selected pack's download manager and classifier, the choice
// between Local AI and Basic Mode, pack switches and their generation, the model's removal, and what
// the last run of each source reported about the model. It mirrors every download state into the
// published fields and the activity line. Main thread only.
class ModelController {
public:
    // A model operation ended or the choice was made: a pending Messages rebuild may start now.
    using ModelSettled = std::function<void()>;

    ModelController(StateContext context, ModelSettled onSettled);
    ~ModelController();
    ModelController(const ModelController&) = delete;
    ModelController& operator=(const ModelController&) = delete;

    // Start-up: picks the stored pack (or the default one), makes its download manager and classifier,
    // publishes them and decides whether a model choice is still needed.
    void loadModelChoice();
    // Starts mirroring the download manager's states, and stops it.
    void start();
    void stop();

    const std::shared_ptr<ConversationClassifier>& classifier() const { return classifier_; }
    const ModelDownloadManager& modelDownloadManager() const { return *modelDownloadManager_; }

    void startModelDownload();
    void continueInBasicMode();
    void retryModelDownload();
    void cancelModelDownload();
    void pauseModelDownload();
    void resumeModelDownload();
    void removeLocalModel();
    void selectModelPack(std::string_view identifier);

    // Keeps the run's report and publishes the model problems of the last run of each source.
    void apply(const ModelRunReport& report, ReviewSource source);
    // Forgets what the previous model reported about itself.
    void clearModelRuntimeReports();
    // Stops the classifier's model server on a worker and waits for it.
    MainAsync<> stopModelServer(TaskHandle task);
    // Pauses a running download rather than cancelling it, so that the next start resumes it.
    void pauseForShutdown();

private:
    void observeModelDownloadManager(ModelDownloadManager& manager);
    // Publishes whether the shipped model serves the selected pack, and says so.
    bool refreshShippedModel();
    void completeModelChoice();
    void modelDownloadStateDidChange(const ModelDownloadState& state);
    MainTask removeLocalModelRun(TaskHandle task, ModelDownloadManager* manager, ModelPack pack);
    MainTask modelSwitchRun(TaskHandle task, ModelPack pack, int64_t generation);
    MainTask modelAvailabilityRecheck(TaskHandle task, int64_t generation);
    const PublishedState& state() const { return context_.state(); }
    StatePublisher& publisher() { return context_.publisher; }
    StatusLines& lines() { return context_.lines; }
    bool isChangingModel() const { return nudgerly::isChangingModel(state()); }
    bool contactsAccessIsUsable() const { return nudgerly::contactsAccessIsUsable(state()); }

    StateContext context_;
    SettingsStore& settings_;
    ModelSettled onSettled_;
    std::shared_ptr<ConversationClassifier> classifier_;
    std::unique_ptr<ModelDownloadManager> modelDownloadManager_;
    std::optional<ModelDownloadManager::ObserverID> modelDownloadObserver_;
    int64_t modelSelectionGeneration_ = 0;
    std::map<ReviewSource, ModelRunReport> modelRunReports_;
};

}  // namespace nudgerly
