// The Local AI model: download, pause, resume, cancel and removal of the selected pack, Basic Mode
// instead, switching packs, and the mirror that turns each state of the download manager into the
// state object's own fields and status text.
#include "state/ModelController.h"

#include <exception>
#include <set>

#include "modelpacks/ModelSelectionStore.h"
#include "state/AppStateSettings.h"
#include "state/ModelServerJobs.h"
#include "state/TextLines.h"

namespace nudgerly {

namespace {
using Kind = ModelDownloadState::Kind;
}  // namespace

ModelController::ModelController(StateContext context, ModelSettled onSettled)
    : context_(context), settings_(context.settings), onSettled_(std::move(onSettled)) {}

ModelController::~ModelController() {
    stop();
}

void ModelController::loadModelChoice() {
    const ModelCatalog& catalog = context_.dependencies.catalog;
    const bool storedSelectionIsValid = ModelSelectionStore::hasValidStoredSelection(catalog, settings_);
    const ModelPack pack = ModelSelectionStore::selectedPack(catalog, settings_);
    ModelSelectionStore::persist(pack, settings_);

    modelDownloadManager_ = context_.dependencies.makeDownloadManager(pack);
    publisher().setModelPacks(catalog.packs);
    publisher().setSelectedModelPack(pack);
    classifier_ = context_.dependencies.makeClassifier(pack);
    publisher().setModelDownloadState(modelDownloadManager_->state());
    const auto environmentModel = classifier_->localModel().environmentModelFile();
    publisher().setEnvironmentModelFile(environmentModel ? std::optional(environmentModel->string()) : std::nullopt);
    const bool shipped = refreshShippedModel();
    if (environmentModel || shipped) {
        // Read at once (it only looks at files), so that the status never shows the model as unusable
        // before the start-up task has asked.
        publisher().setModelAvailability(classifier_->modelAvailability());
    }

    // A version stored beside a pack the catalogue no longer has belongs to an older choice.
    const auto storedVersion =
        storedSelectionIsValid ? settings_.string(AppStateSettings::modelChoiceVersion) : std::nullopt;
    const bool choiceMadeForThisCatalogue = storedVersion == AppStateSettings::currentModelChoiceVersion;
    const bool installed = state().modelDownloadState.kind == ModelDownloadState::Kind::installed;
    publisher().setNeedsModelChoice(!choiceMadeForThisCatalogue && !installed && !environmentModel && !shipped);
    // An installed pack settles the choice for good; the environment's model only while it is named.
    if (installed && !choiceMadeForThisCatalogue) {
        settings_.setString(AppStateSettings::modelChoiceVersion, AppStateSettings::currentModelChoiceVersion);
    }
}

bool ModelController::refreshShippedModel() {
    const auto shipped = classifier_->localModel().shippedModelFile();
    publisher().setShippedModelFile(shipped ? std::optional(shipped->string()) : std::nullopt);
    return shipped.has_value();
}

void ModelController::start() {
    observeModelDownloadManager(*modelDownloadManager_);
}

void ModelController::observeModelDownloadManager(ModelDownloadManager& manager) {
    stop();
    // The manager calls its observers with each later state, on the main thread, as it happens.
    modelDownloadObserver_ =
        manager.observe([this](const ModelDownloadState& next) { modelDownloadStateDidChange(next); });
}

void ModelController::stop() {
    if (modelDownloadObserver_ && modelDownloadManager_) {
        modelDownloadManager_->removeObserver(*modelDownloadObserver_);
    }
    modelDownloadObserver_.reset();
}

void ModelController::clearModelRuntimeReports() {
    publisher().setModelRuntimeIssue(std::nullopt);
    publisher().setModelRuntimeDiagnosticCode(std::nullopt);
    modelRunReports_.clear();
}

void ModelController::startModelDownload() {
    if (isChangingModel()) {
        return;
    }
    lines().showActivity("Starting " + state().selectedModelPack.displayName + " download");
    modelDownloadManager_->beginDownload(false);
}

void ModelController::retryModelDownload() {
    if (isChangingModel()) {
        return;
    }
    const ModelDownloadManager& manager = *modelDownloadManager_;
    modelDownloadManager_->beginDownload(manager.fileManager().fileExists(manager.resumeDataPath()));
}

void ModelController::pauseModelDownload() {
    if (!isChangingModel()) {
        modelDownloadManager_->pause();
    }
}

void ModelController::resumeModelDownload() {
    if (!isChangingModel()) {
        modelDownloadManager_->beginDownload(true);
    }
}

// The manager tells its observers synchronously, so the mirror's text for the new state comes first
// and the operation's own text below replaces it.
void ModelController::cancelModelDownload() {
    if (isChangingModel()) {
        return;
    }
    modelDownloadManager_->cancel();
    publisher().setModelDownloadProgress(std::nullopt);
    if (state().needsModelChoice) {
        lines().showActivity("Model download canceled · Install a model or explicitly choose Basic Mode to continue");
    } else if (contactsAccessIsUsable()) {
        lines().showActivity("Model download canceled · Basic local review is available");
    } else {
        lines().showActivity("Basic local review is available · Allow Contacts next");
    }
}

void ModelController::continueInBasicMode() {
    if (isChangingModel()) {
        return;
    }
    const Kind kind = state().modelDownloadState.kind;
    if (kind == Kind::downloading || kind == Kind::paused || kind == Kind::verifying || kind == Kind::failed) {
        modelDownloadManager_->cancel();
        publisher().setModelDownloadProgress(std::nullopt);
    }
    completeModelChoice();
    lines().showActivity(contactsAccessIsUsable() ? "Basic mode selected · You can download Local AI later"
                                                  : "Basic mode selected · Allow Contacts next");
    onSettled_();
}

void ModelController::completeModelChoice() {
    if (!state().needsModelChoice &&
        settings_.string(AppStateSettings::modelChoiceVersion) == AppStateSettings::currentModelChoiceVersion) {
        return;
    }
    settings_.setString(AppStateSettings::modelChoiceVersion, AppStateSettings::currentModelChoiceVersion);
    publisher().setNeedsModelChoice(false);
}

void ModelController::removeLocalModel() {
    if (context_.view.isRefreshing() || state().gmailAuthorizationInProgress || isChangingModel()) {
        lines().showError("Wait for the current refresh to finish before removing the Local AI model.");
        return;
    }
    ModelDownloadManager* manager = modelDownloadManager_.get();
    ModelPack pack = state().selectedModelPack;
    publisher().setIsRemovingModel(true);
    lines().showActivity("Stopping Local AI");
    context_.tasks.spawn(
        [this, manager, pack](TaskHandle task) { return removeLocalModelRun(std::move(task), manager, pack); });
}

// No switch runs while the removal does, so the manager stays the state object's throughout.
MainTask ModelController::removeLocalModelRun(TaskHandle task, ModelDownloadManager* manager, ModelPack pack) {
    co_await stopModelServer(task);
    try {
        manager->remove();
    } catch (const std::exception& error) {
        lines().showError(std::string("The Local AI model could not be removed: ") + error.what());
        lines().showActivity("Model removal failed");
        publisher().setIsRemovingModel(false);
        onSettled_();
        co_return;
    }
    publisher().setModelDownloadProgress(std::nullopt);
    clearModelRuntimeReports();
    const auto readAvailability = ModelServerJobs::readAvailability(classifier_);
    const ModelAvailability availability = co_await offMain(task, "Local AI availability", readAvailability);
    publisher().setModelAvailability(availability);
    refreshShippedModel();  // the shipped model serves the default pack again once its download is gone
    lines().showActivity(pack.displayName + (contactsAccessIsUsable() ? " removed · Basic local review is available"
                                                                      : " removed · Allow Contacts next"));
    publisher().setIsRemovingModel(false);
    onSettled_();
}

void ModelController::selectModelPack(std::string_view identifier) {
    if (!context_.view.canSelectModelPack()) {
        return;
    }
    const std::optional<ModelPack> pack = context_.dependencies.catalog.pack(identifier);
    if (!pack || *pack == state().selectedModelPack) {
        return;
    }
    settings_.remove(AppStateSettings::modelChoiceVersion);
    publisher().setNeedsModelChoice(true);
    const int64_t generation = ++modelSelectionGeneration_;
    publisher().setIsSwitchingModel(true);
    lines().showActivity("Switching Local AI model");
    context_.tasks.spawn([this, pack = *pack, generation](TaskHandle task) {
        return modelSwitchRun(std::move(task), pack, generation);
    });
}

MainTask ModelController::modelSwitchRun(TaskHandle task, ModelPack pack, int64_t generation) {
    // The client keeps running when it already serves this pack.
    const auto select = ModelServerJobs::stopServer(classifier_, pack);
    co_await offMain(task, "Local AI model switch", select);
    if (modelSelectionGeneration_ != generation) {
        co_return;  // a newer switch owns the rest
    }

    // The old manager's subscription ends before it goes, so none of its late states arrive here.
    stop();
    ModelSelectionStore::persist(pack, settings_);
    publisher().setSelectedModelPack(pack);
    modelDownloadManager_ = context_.dependencies.makeDownloadManager(pack);
    publisher().setModelDownloadState(modelDownloadManager_->state());
    publisher().setModelDownloadProgress(std::nullopt);
    clearModelRuntimeReports();

    const auto readAvailability = ModelServerJobs::readAvailability(classifier_);
    const ModelAvailability availability = co_await offMain(task, "Local AI availability", readAvailability);
    publisher().setModelAvailability(availability);
    if (refreshShippedModel()) {
        publisher().setNeedsModelChoice(false);  // as long as it is there, like the environment's model
    }
    observeModelDownloadManager(*modelDownloadManager_);

    const std::string& name = pack.displayName;
    switch (modelDownloadManager_->state().kind) {
        case Kind::installed:
            completeModelChoice();
            lines().showActivity(name + (contactsAccessIsUsable() ? " is selected and installed"
                                                                  : " is installed · Allow Contacts next"));
            break;
        case Kind::paused: lines().showActivity(name + " is selected · Resume its download to continue"); break;
        case Kind::missing:
        case Kind::failed: lines().showActivity(name + " selected · Download it to continue"); break;
        case Kind::downloading:
        case Kind::verifying: break;
    }
    publisher().setIsSwitchingModel(false);
}

void ModelController::modelDownloadStateDidChange(const ModelDownloadState& next) {
    publisher().setModelDownloadState(next);
    switch (next.kind) {
        case Kind::downloading:
            publisher().setModelDownloadProgress(ModelDownloadProgress{next.receivedBytes, next.totalBytes});
            lines().showActivity(next.waitingForNetwork ? "Local AI model download waiting for the network"
                                                        : "Downloading Local AI model");
            break;
        case Kind::paused: lines().showActivity("Local AI model download paused"); break;
        case Kind::failed: lines().showActivity("Local AI model download failed"); break;
        case Kind::verifying: lines().showActivity("Verifying Local AI model"); break;
        case Kind::missing:
            publisher().setModelDownloadProgress(std::nullopt);
            clearModelRuntimeReports();
            // The environment's model and the shipped one do not hang on a download.
            if (!state().environmentModelFile && !refreshShippedModel()) {
                publisher().setModelAvailability(ModelAvailability::missing());
            }
            if (state().needsModelChoice) {
                lines().showActivity("Install a model or explicitly choose Basic Mode to continue");
            } else {
                lines().showActivity(contactsAccessIsUsable()
                                         ? "Basic local review is available"
                                         : "Basic local review is available · Allow Contacts next");
            }
            break;
        case Kind::installed:
            completeModelChoice();
            refreshShippedModel();  // the pack's own download now serves it
            publisher().setModelDownloadProgress(std::nullopt);
            context_.tasks.spawn([this, generation = modelSelectionGeneration_](TaskHandle task) {
                return modelAvailabilityRecheck(std::move(task), generation);
            });
            break;
    }
}

MainTask ModelController::modelAvailabilityRecheck(TaskHandle task, int64_t generation) {
    const auto readAvailability = ModelServerJobs::readAvailability(classifier_);
    const ModelAvailability availability = co_await offMain(task, "Local AI availability", readAvailability);
    if (modelSelectionGeneration_ != generation) {
        co_return;  // the install was of a pack that is no longer selected
    }
    publisher().setModelAvailability(availability);
    if (availability.kind == ModelAvailability::Kind::bundled) {
        clearModelRuntimeReports();
        lines().showActivity(contactsAccessIsUsable()
                                 ? "Local AI model installed · Refresh to review conversations with it"
                                 : "Local AI model installed · Allow Contacts next");
        onSettled_();
        co_return;
    }
    const std::string issue = "The installed Local AI model is not available. Remove it and download it again.";
    publisher().setModelRuntimeIssue(issue);
    publisher().setModelRuntimeDiagnosticCode("model_files_missing");
    lines().showActivity("Model installed, but Local AI could not be started");
    lines().showError(issue);
}

void ModelController::apply(const ModelRunReport& report, ReviewSource source) {
    modelRunReports_[source] = report;
    std::set<std::string> issues;  // the same problem in both sources is told once
    std::optional<std::string> diagnosticCode;
    for (const ReviewSource each : allCases<ReviewSource>()) {
        const auto found = modelRunReports_.find(each);
        if (found == modelRunReports_.end()) {
            continue;
        }
        if (found->second.issue) {
            issues.insert(*found->second.issue);
        }
        if (!diagnosticCode) {
            diagnosticCode = found->second.diagnosticCode;
        }
    }
    publisher().setModelRuntimeIssue(issues.empty() ? std::nullopt
                                                    : std::optional(joinLines({issues.begin(), issues.end()})));
    publisher().setModelRuntimeDiagnosticCode(diagnosticCode);
}

MainAsync<> ModelController::stopModelServer(TaskHandle task) {
    const auto stopServer = ModelServerJobs::stopServer(classifier_);
    co_await offMain(task, "Model server shutdown", stopServer);
}

void ModelController::pauseForShutdown() {
    if (state().modelDownloadState.kind == Kind::downloading) {
        modelDownloadManager_->pause();
    }
}

}  // namespace nudgerly
