// The Local AI model: download, pause, resume, cancel and removal of the selected pack, Basic Mode
// instead, switching packs, and the mirror that turns each state of the download manager into the
// state object's own fields and status text.
#include <exception>

#include "modelpacks/ModelSelectionStore.h"
#include "state/AppState.h"
#include "state/AppStateSettings.h"
#include "state/ModelServerJobs.h"

namespace nudgerly {

namespace {
using Kind = ModelDownloadState::Kind;
}  // namespace

bool AppState::isChangingModel() const { return state().isSwitchingModel || state().isRemovingModel; }

void AppState::clearModelRuntimeReports() {
    publisher().setModelRuntimeIssue(std::nullopt);
    publisher().setModelRuntimeDiagnosticCode(std::nullopt);
    modelRunReports_.clear();
}

void AppState::startModelDownload() {
    if (isChangingModel()) {
        return;
    }
    publisher().setActivity("Starting " + state().selectedModelPack.displayName + " download");
    modelDownloadManager_->beginDownload(false);
}

void AppState::retryModelDownload() {
    if (isChangingModel()) {
        return;
    }
    const ModelDownloadManager& manager = *modelDownloadManager_;
    modelDownloadManager_->beginDownload(manager.fileManager().fileExists(manager.resumeDataPath()));
}

void AppState::pauseModelDownload() {
    if (!isChangingModel()) {
        modelDownloadManager_->pause();
    }
}

void AppState::resumeModelDownload() {
    if (!isChangingModel()) {
        modelDownloadManager_->beginDownload(true);
    }
}

// The manager tells its observers synchronously, so the mirror's text for the new state comes first
// and the operation's own text below replaces it.
void AppState::cancelModelDownload() {
    if (isChangingModel()) {
        return;
    }
    modelDownloadManager_->cancel();
    publisher().setModelDownloadProgress(std::nullopt);
    if (state().needsModelChoice) {
        publisher().setActivity("Model download canceled · Install a model or explicitly choose Basic Mode to continue");
    } else if (contactsAccessIsUsable()) {
        publisher().setActivity("Model download canceled · Basic local review is available");
    } else {
        publisher().setActivity("Basic local review is available · Allow Contacts next");
    }
}

void AppState::continueInBasicMode() {
    if (isChangingModel()) {
        return;
    }
    const Kind kind = state().modelDownloadState.kind;
    if (kind == Kind::downloading || kind == Kind::paused || kind == Kind::verifying || kind == Kind::failed) {
        modelDownloadManager_->cancel();
        publisher().setModelDownloadProgress(std::nullopt);
    }
    completeModelChoice();
    publisher().setActivity(contactsAccessIsUsable() ? "Basic mode selected · You can download Local AI later"
                                                     : "Basic mode selected · Allow Contacts next");
    schedulePendingMessagesRebuild();
}

void AppState::completeModelChoice() {
    if (!state().needsModelChoice &&
        settings_.string(AppStateSettings::modelChoiceVersion) == AppStateSettings::currentModelChoiceVersion) {
        return;
    }
    settings_.setString(AppStateSettings::modelChoiceVersion, AppStateSettings::currentModelChoiceVersion);
    publisher().setNeedsModelChoice(false);
}

void AppState::removeLocalModel() {
    if (isRefreshing() || state().gmailAuthorizationInProgress || isChangingModel()) {
        publisher().setErrorMessage("Wait for the current refresh to finish before removing the Local AI model.");
        return;
    }
    ModelDownloadManager* manager = modelDownloadManager_.get();
    ModelPack pack = state().selectedModelPack;
    publisher().setIsRemovingModel(true);
    publisher().setActivity("Stopping Local AI");
    tasks_.spawn([this, manager, pack](TaskHandle task) { return removeLocalModelRun(std::move(task), manager, pack); });
}

// No switch runs while the removal does, so the manager stays the state object's throughout.
MainTask AppState::removeLocalModelRun(TaskHandle task, ModelDownloadManager* manager, ModelPack pack) {
    co_await stopModelServer(task);
    try {
        manager->remove();
    } catch (const std::exception& error) {
        publisher().setErrorMessage(std::string("The Local AI model could not be removed: ") + error.what());
        publisher().setActivity("Model removal failed");
        publisher().setIsRemovingModel(false);
        schedulePendingMessagesRebuild();
        co_return;
    }
    publisher().setModelDownloadProgress(std::nullopt);
    clearModelRuntimeReports();
    const auto readAvailability = ModelServerJobs::readAvailability(classifier_);
    const ModelAvailability availability = co_await offMain(task, "Local AI availability", readAvailability);
    publisher().setModelAvailability(availability);
    publisher().setActivity(pack.displayName + (contactsAccessIsUsable() ? " removed · Basic local review is available"
                                                                         : " removed · Allow Contacts next"));
    publisher().setIsRemovingModel(false);
    schedulePendingMessagesRebuild();
}

void AppState::selectModelPack(std::string_view identifier) {
    if (!canSelectModelPack()) {
        return;
    }
    const std::optional<ModelPack> pack = dependencies_.catalog.pack(identifier);
    if (!pack || *pack == state().selectedModelPack) {
        return;
    }
    settings_.remove(AppStateSettings::modelChoiceVersion);
    publisher().setNeedsModelChoice(true);
    const int64_t generation = ++modelSelectionGeneration_;
    publisher().setIsSwitchingModel(true);
    publisher().setActivity("Switching Local AI model");
    tasks_.spawn([this, pack = *pack, generation](TaskHandle task) {
        return modelSwitchRun(std::move(task), pack, generation);
    });
}

MainTask AppState::modelSwitchRun(TaskHandle task, ModelPack pack, int64_t generation) {
    // The client keeps running when it already serves this pack.
    const auto select = ModelServerJobs::stopServer(classifier_, pack);
    co_await offMain(task, "Local AI model switch", select);
    if (modelSelectionGeneration_ != generation) {
        co_return;  // a newer switch owns the rest
    }

    // The old manager's subscription ends before it goes, so none of its late states arrive here.
    stopObservingModelDownloadManager();
    ModelSelectionStore::persist(pack, settings_);
    publisher().setSelectedModelPack(pack);
    modelDownloadManager_ = dependencies_.makeDownloadManager(pack);
    publisher().setModelDownloadState(modelDownloadManager_->state());
    publisher().setModelDownloadProgress(std::nullopt);
    clearModelRuntimeReports();

    const auto readAvailability = ModelServerJobs::readAvailability(classifier_);
    const ModelAvailability availability = co_await offMain(task, "Local AI availability", readAvailability);
    publisher().setModelAvailability(availability);
    observeModelDownloadManager(*modelDownloadManager_);

    const std::string& name = pack.displayName;
    switch (modelDownloadManager_->state().kind) {
        case Kind::installed:
            completeModelChoice();
            publisher().setActivity(name + (contactsAccessIsUsable() ? " is selected and installed"
                                                                     : " is installed · Allow Contacts next"));
            break;
        case Kind::paused:
            publisher().setActivity(name + " is selected · Resume its download to continue");
            break;
        case Kind::missing:
        case Kind::failed:
            publisher().setActivity(name + " selected · Download it to continue");
            break;
        case Kind::downloading:
        case Kind::verifying:
            break;
    }
    publisher().setIsSwitchingModel(false);
}

void AppState::modelDownloadStateDidChange(const ModelDownloadState& next) {
    publisher().setModelDownloadState(next);
    switch (next.kind) {
        case Kind::downloading:
            publisher().setModelDownloadProgress(ModelDownloadProgress{next.receivedBytes, next.totalBytes});
            publisher().setActivity("Downloading Local AI model");
            break;
        case Kind::paused:
            publisher().setActivity("Local AI model download paused");
            break;
        case Kind::failed:
            publisher().setActivity("Local AI model download failed");
            break;
        case Kind::verifying:
            publisher().setActivity("Verifying Local AI model");
            break;
        case Kind::missing:
            publisher().setModelDownloadProgress(std::nullopt);
            clearModelRuntimeReports();
            if (!state().environmentModelFile) {  // the environment's model does not hang on a download
                publisher().setModelAvailability(ModelAvailability::missing());
            }
            if (state().needsModelChoice) {
                publisher().setActivity("Install a model or explicitly choose Basic Mode to continue");
            } else {
                publisher().setActivity(contactsAccessIsUsable() ? "Basic local review is available"
                                                                 : "Basic local review is available · Allow Contacts next");
            }
            break;
        case Kind::installed:
            completeModelChoice();
            publisher().setModelDownloadProgress(std::nullopt);
            tasks_.spawn([this, generation = modelSelectionGeneration_](TaskHandle task) {
                return modelAvailabilityRecheck(std::move(task), generation);
            });
            break;
    }
}

MainTask AppState::modelAvailabilityRecheck(TaskHandle task, int64_t generation) {
    const auto readAvailability = ModelServerJobs::readAvailability(classifier_);
    const ModelAvailability availability = co_await offMain(task, "Local AI availability", readAvailability);
    if (modelSelectionGeneration_ != generation) {
        co_return;  // the install was of a pack that is no longer selected
    }
    publisher().setModelAvailability(availability);
    if (availability.kind == ModelAvailability::Kind::bundled) {
        clearModelRuntimeReports();
        publisher().setActivity(contactsAccessIsUsable()
                                    ? "Local AI model installed · Refresh to review conversations with it"
                                    : "Local AI model installed · Allow Contacts next");
        schedulePendingMessagesRebuild();
        co_return;
    }
    const std::string issue = "The installed Local AI model is not available. Remove it and download it again.";
    publisher().setModelRuntimeIssue(issue);
    publisher().setModelRuntimeDiagnosticCode("model_files_missing");
    publisher().setActivity("Model installed, but Local AI could not be started");
    publisher().setErrorMessage(issue);
}

}  // namespace nudgerly
