#include "state/AppState.h"

#include <algorithm>
#include <system_error>

#include "core/FileSystemError.h"
#include "core/Files.h"
#include "core/RawEnum.h"
#include "modelpacks/ModelSelectionStore.h"
#include "state/AppStateSettings.h"
#include "state/ModelServerJobs.h"

namespace nudgerly {

namespace {

// Contacts notifications that change nothing visible are ignored this long after start-up.
constexpr std::chrono::seconds contactsLaunchGracePeriod{5};

}  // namespace

AppState::AppState(AppStateDependencies dependencies)
    : AppStateView(dependencies.mainQueue, dependencies.clock),
      dependencies_(std::move(dependencies)),
      settings_(*dependencies_.settings),
      messagesReader_(dependencies_.messages),
      gmail_(dependencies_.gmail),
      tasks_(dependencies_.mainQueue, dependencies_.executor) {
    publisher().setMessagesPermission(dependencies_.messagesPermission());
    publisher().setContactsPermission(currentContactsPermission());
    contactsLaunchNotificationDeadline_ = clock().steadyNow() + contactsLaunchGracePeriod;
    loadModelChoice();
    loadSettings();
    publisher().setIsLoadingSavedQueues(true);
    savedQueueWrites_ = {publisher().snapshotWrites(ReviewSource::messages),
                         publisher().snapshotWrites(ReviewSource::gmail)};
    for (const ReviewSource source : allCases<ReviewSource>()) {
        savedQueueTasks_[source] =
            tasks_.spawn([this, source](TaskHandle task) { return savedQueueLoad(std::move(task), source); });
    }
    tellOfStoredFileProblems();
    if (!contactsAccessIsUsable() || state().needsModelChoice) {
        publisher().setSection(Section::accounts);
    }
}

AppState::~AppState() { stopObservingModelDownloadManager(); }

void AppState::loadModelChoice() {
    const ModelCatalog& catalog = dependencies_.catalog;
    const bool storedSelectionIsValid = ModelSelectionStore::hasValidStoredSelection(catalog, settings_);
    const ModelPack pack = ModelSelectionStore::selectedPack(catalog, settings_);
    ModelSelectionStore::persist(pack, settings_);

    modelDownloadManager_ = dependencies_.makeDownloadManager(pack);
    publisher().setModelPacks(catalog.packs);
    publisher().setSelectedModelPack(pack);
    classifier_ = dependencies_.makeClassifier(pack);
    publisher().setModelDownloadState(modelDownloadManager_->state());
    const auto environmentModel = classifier_->localModel().environmentModelFile();
    publisher().setEnvironmentModelFile(environmentModel ? std::optional(environmentModel->string()) : std::nullopt);
    if (environmentModel) {
        // Read at once (it only looks at files), so that the status never shows the model as unusable
        // before the start-up task has asked.
        publisher().setModelAvailability(classifier_->modelAvailability());
    }

    // A version stored beside a pack the catalogue no longer has belongs to an older choice.
    const auto storedVersion = storedSelectionIsValid ? settings_.string(AppStateSettings::modelChoiceVersion)
                                                      : std::nullopt;
    const bool choiceMadeForThisCatalogue = storedVersion == AppStateSettings::currentModelChoiceVersion;
    const bool installed = state().modelDownloadState.kind == ModelDownloadState::Kind::installed;
    publisher().setNeedsModelChoice(!choiceMadeForThisCatalogue && !installed && !environmentModel);
    // An installed pack settles the choice for good; the environment's model only while it is named.
    if (installed && !choiceMadeForThisCatalogue) {
        settings_.setString(AppStateSettings::modelChoiceVersion, AppStateSettings::currentModelChoiceVersion);
    }
}

void AppState::loadSettings() {
    using namespace AppStateSettings;
    const LookbackWindow base = storedLookback(settings_, lookbackDays).value_or(LookbackWindow::seven);
    publisher().setRefreshLookbacks({
        .combined = storedLookback(settings_, lookbackDaysCombined).value_or(base),
        .messages = storedLookback(settings_, lookbackDaysMessages).value_or(base),
        .gmail = storedLookback(settings_, lookbackDaysGmail).value_or(base),
    });
    if (const auto sortName = settings_.string(AppStateSettings::queueSort)) {
        if (const auto sort = fromRaw<QueueSort>(*sortName)) {
            publisher().setQueueSort(*sort);
        }
    }
    publisher().setContactsOnly(settings_.boolean(AppStateSettings::contactsOnly));
    const auto completed = settings_.stringArray(completedItems).value_or(std::vector<std::string>{});
    publisher().setCompleted({completed.begin(), completed.end()});
}

MainTask AppState::savedQueueLoad(TaskHandle task, ReviewSource source) {
    const auto read = [file = snapshotFile(source)](std::stop_token stop) { return SavedQueues::read(file, stop); };
    const std::string label = "Saved " + std::string(displayName(source)) + " queue";
    std::optional<PreparedSnapshot> saved;
    try {
        saved = co_await offMain(task, label, read);
    } catch (const CancelledError&) {
        throw;
    } catch (...) {
        // No worker could read it: read it here, as an unread file is not a missing one.
        saved = read({});
    }
    (source == ReviewSource::messages ? savedQueues_.messages : savedQueues_.gmail) = std::move(saved);
    if (++savedQueues_.arrived == 2) {
        takeSavedQueues();
    }
}

void AppState::takeSavedQueues() {
    SavedQueues saved = std::exchange(savedQueues_, {});
    const std::array<uint64_t, 2>& writesBefore = savedQueueWrites_;
    publisher().setIsLoadingSavedQueues(false);
    // The Messages queue names people as the Contacts data did when it was built: it is only used
    // while those data are the current ones.
    if (publisher().snapshotWrites(ReviewSource::messages) == writesBefore[0]) {
        const bool usable = contactsAccessIsUsable();
        const auto currentToken = usable ? dependencies_.contacts->currentHistoryToken() : std::nullopt;
        const auto storedToken = settings_.data(AppStateSettings::messagesContactsHistoryToken);
        // Settings that could not be read took the token with them: the queue may have been built with
        // the current Contacts data or not, so it is shown and rebuilt rather than deleted.
        const bool storedTokenUnknown = settings_.loadProblem().has_value();
        if (saved.messages && usable && (!currentToken || storedToken == currentToken || storedTokenUnknown)) {
            publishSnapshot(ReviewSource::messages, std::move(saved.messages->snapshot),
                            std::move(saved.messages->answers));
            pendingMessagesRebuild_ = storedTokenUnknown;
            removeDeletedMessagesFromSavedQueue();
        } else if (saved.messages && !usable && dependencies_.contacts->decisionProblem()) {
            messagesQueueAwaitingContacts_ = std::move(saved.messages->snapshot);
        } else {
            invalidateMessagesSnapshot();
            pendingMessagesRebuild_ = usable;
        }
    }
    if (saved.gmail && publisher().snapshotWrites(ReviewSource::gmail) == writesBefore[1]) {
        publishSnapshot(ReviewSource::gmail, std::move(saved.gmail->snapshot), std::move(saved.gmail->answers));
    }
    if (startRequested_) {
        subscribeAndStart();
    }
}

void AppState::tellOfStoredFileProblems() {
    std::string sentences;
    const auto tell = [&](const std::string& sentence) { sentences += (sentences.empty() ? "" : " ") + sentence; };
    if (const auto problem = settings_.loadProblem()) {
        tell(*problem);
    }
    if (const auto problem = dependencies_.contacts->decisionProblem()) {
        tell(*problem);
    }
    try {
        requireOwnFolder(dependencies_.dataDirectory);
    } catch (const FileSystemError& refusal) {
        tell(refusal.what());
    }
    if (!sentences.empty()) {
        publisher().setErrorMessage(std::move(sentences));
    }
}

void AppState::start() {
    startRequested_ = true;
    if (!state().isLoadingSavedQueues) {
        subscribeAndStart();
    }
}

void AppState::subscribeAndStart() {
    contactsStoreObserver_ = dependencies_.contacts->subscribe([this] { contactsStoreDidChange(std::nullopt); });
    observeModelDownloadManager(*modelDownloadManager_);
    tasks_.spawn([this](TaskHandle task) { return startUpTask(std::move(task)); });
}

MainTask AppState::startUpTask(TaskHandle task) {
    const auto loadGmailStatus = [gmail = gmail_](std::stop_token stop) { return gmail->loadStoredStatus(stop); };
    const GmailConnectionStatus status = co_await offMain(task, "Gmail stored status", loadGmailStatus);
    publisher().setGmailStatus(status);

    const auto readAvailability = ModelServerJobs::readAvailability(classifier_);
    const ModelAvailability availability = co_await offMain(task, "Local AI availability", readAvailability);
    publisher().setModelAvailability(availability);

    const bool nothingToRead = state().messagesPermission == MessagesPermission::denied && !state().gmailStatus.connected;
    if (!contactsAccessIsUsable() || state().needsModelChoice || nothingToRead) {
        publisher().setSection(Section::accounts);
    }
    schedulePendingMessagesRebuild();
}

void AppState::observeModelDownloadManager(ModelDownloadManager& manager) {
    stopObservingModelDownloadManager();
    // The manager calls its observers with each later state, on the main thread, as it happens.
    modelDownloadObserver_ = manager.observe([this](const ModelDownloadState& next) { modelDownloadStateDidChange(next); });
}

void AppState::stopObservingModelDownloadManager() {
    if (modelDownloadObserver_ && modelDownloadManager_) {
        modelDownloadManager_->removeObserver(*modelDownloadObserver_);
    }
    modelDownloadObserver_.reset();
}

ContactsPermission AppState::currentContactsPermission() const {
    return contactsPermission(dependencies_.contacts->authorizationStatus());
}

bool AppState::contactsAccessIsUsable() const { return allowsReadingContacts(state().contactsPermission); }

std::filesystem::path AppState::snapshotFile(ReviewSource source) const {
    return dependencies_.dataDirectory /
           (source == ReviewSource::messages ? "messages-snapshot.json" : "gmail-snapshot.json");
}

void AppState::reconcileSelection() {
    const auto items = visibleQueue();
    const auto& selected = state().selectedItemID;
    if (selected && items->find(*selected)) {
        return;
    }
    publisher().setSelectedItemID(items->empty() ? std::nullopt : std::optional(items->front().id));
}

void AppState::invalidateMessagesSnapshot() {
    publisher().removeSnapshot(ReviewSource::messages);
    messagesQueueAwaitingContacts_.reset();
    settings_.remove(AppStateSettings::messagesContactsHistoryToken);
    try {
        requireOwnFolder(dependencies_.dataDirectory);  // nothing goes from another user's folder
        std::error_code ignored;  // a file that is already gone is what was wanted
        std::filesystem::remove(snapshotFile(ReviewSource::messages), ignored);
    } catch (const FileSystemError&) {
    }
    reconcileSelection();
}

}  // namespace nudgerly
