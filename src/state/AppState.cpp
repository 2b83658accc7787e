#include "state/AppState.h"

#include <algorithm>

#include "core/FileSystemError.h"
#include "core/Files.h"
#include "core/RawEnum.h"
#include "state/AppStateSettings.h"
#include "state/ModelServerJobs.h"

namespace nudgerly {

AppState::AppState(AppStateDependencies dependencies)
    : AppStateView(hub_),
      hub_(dependencies.mainQueue, dependencies.clock),
      dependencies_(std::move(dependencies)),
      settings_(*dependencies_.settings),
      files_(dependencies_.dataDirectory),
      model_(context(), [this] { contacts_.schedulePendingMessagesRebuild(); }),
      gmail_(context(), dependencies_.gmail,
             {
                 .refreshGmail = [this] { refresh(ReviewSource::gmail, state().refreshLookbacks.gmail); },
                 .cancelGmailRefresh = [this] { refreshes_.cancelRefresh(ReviewSource::gmail); },
             }),
      contacts_(context(),
                {
                    .invalidateMessagesSnapshot = [this] { invalidateMessagesSnapshot(); },
                    .cancelMessagesRefresh = [this] { refreshes_.cancelRefresh(ReviewSource::messages); },
                    .stopWorkNeedingContacts =
                        [this] {
                            refreshes_.cancelAllRefreshes();
                            gmail_.cancelGmailAuthorizationTask();
                        },
                    .rebuildMessages = [this] { refresh(ReviewSource::messages, state().refreshLookbacks.messages); },
                    .reconcileSelection = [this] { reconcileSelection(); },
                    .isTerminating = [this] { return refreshes_.isTerminating(); },
                    .publishMessagesSnapshot =
                        [this](PreparedSnapshot saved) {
                            publishSnapshot(ReviewSource::messages, std::move(saved.snapshot),
                                            std::move(saved.answers));
                        },
                }),
      refreshes_(context(), contacts_, model_, gmail_, files_,
                 {
                     .storeCompleted =
                         [this](std::unordered_set<std::string> completed) { storeCompleted(std::move(completed)); },
                     .publishSnapshot =
                         [this](ReviewSource source, std::shared_ptr<const ReviewSnapshot> snapshot,
                                SnapshotMemo::Answers answers) {
                             publishSnapshot(source, std::move(snapshot), std::move(answers));
                         },
                 }),
      tasks_(dependencies_.mainQueue, dependencies_.executor) {
    publisher().setMessagesPermission(dependencies_.messagesPermission());
    publisher().setContactsPermission(context().currentContactsPermission());
    model_.loadModelChoice();
    loadSettings();
    publisher().setIsLoadingSavedQueues(true);
    savedQueueWrites_ = {publisher().snapshotWrites(ReviewSource::messages),
                         publisher().snapshotWrites(ReviewSource::gmail)};
    for (const ReviewSource source : allCases<ReviewSource>()) {
        savedQueueTasks_[source] =
            tasks_.spawn([this, source](TaskHandle task) { return savedQueueLoad(std::move(task), source); });
    }
    tellOfStoredFileProblems();
    if (!contactsAccessIsUsable(state()) || state().needsModelChoice) {
        publisher().setSection(Section::accounts);
    }
}

AppState::~AppState() {
    model_.stop();
}

StateContext AppState::context() {
    return {.view = *this,
            .publisher = publisher(),
            .lines = lines(),
            .tasks = tasks_,
            .dependencies = dependencies_,
            .settings = settings_};
}

void AppState::assertMainThread() const {
    nudgerly::assertMainThread(dependencies_.mainQueue);
}

void AppState::startRefresh(ReviewSource source, LookbackWindow lookback) {
    assertMainThread();
    refreshes_.startRefresh(source, lookback);
}

void AppState::cancelRefresh(ReviewSource source) {
    assertMainThread();
    refreshes_.cancelRefresh(source);
}

void AppState::schedulePendingMessagesRebuild() {
    assertMainThread();
    contacts_.schedulePendingMessagesRebuild();
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
        lines().showError(std::move(sentences));
    }
}

void AppState::start() {
    assertMainThread();
    startRequested_ = true;
    if (!state().isLoadingSavedQueues) {
        subscribeAndStart();
    }
}

void AppState::subscribeAndStart() {
    contactsStoreObserver_ =
        dependencies_.contacts->subscribe([this] { contacts_.contactsStoreDidChange(std::nullopt); });
    model_.start();
    tasks_.spawn([this](TaskHandle task) { return startUpTask(std::move(task)); });
}

MainTask AppState::startUpTask(TaskHandle task) {
    const auto loadGmailStatus = [gmail = gmail_.service()](std::stop_token stop) {
        return gmail->loadStoredStatus(stop);
    };
    const GmailConnectionStatus status = co_await offMain(task, "Gmail stored status", loadGmailStatus);
    publisher().setGmailStatus(status);

    const auto readAvailability = ModelServerJobs::readAvailability(model_.classifier());
    const ModelAvailability availability = co_await offMain(task, "Local AI availability", readAvailability);
    publisher().setModelAvailability(availability);

    const bool nothingToRead =
        state().messagesPermission == MessagesPermission::denied && !state().gmailStatus.connected;
    if (!contactsAccessIsUsable(state()) || state().needsModelChoice || nothingToRead) {
        publisher().setSection(Section::accounts);
    }
    contacts_.schedulePendingMessagesRebuild();
}

void AppState::reconcileSelection() {
    assertMainThread();
    const auto items = visibleQueue();
    const auto& selected = state().selectedItemID;
    if (selected && items->find(*selected)) {
        return;
    }
    publisher().setSelectedItemID(items->empty() ? std::nullopt : std::optional(items->front().id));
}

}  // namespace nudgerly
