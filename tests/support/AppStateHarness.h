#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "core/BackgroundExecutor.h"
#include "files/TempDir.h"
#include "modelpacks/ModelCatalog.h"
#include "platform/system/SettingsStore.h"
#include "queues/ManualBackgroundExecutor.h"
#include "state/AppState.h"
#include "support/FakeContactsStore.h"
#include "support/FakeSources.h"
#include "support/ScriptedLocalModel.h"
#include "support/VirtualMainQueue.h"

namespace nudgerly::test {

// A made-up model pack whose file is `contents`, valid for the download manager.
ModelPack smallPack(std::string identifier, const std::string& contents);

// A state object over fakes at the service seams: a virtual-time main queue, a manual executor,
// in-memory settings, a temporary data folder, a scripted Contacts store, Messages reader and Gmail
// service, the real classifier in Basic Mode (its local model is missing) and real download managers
// over a catalogue of two small made-up packs (with the built-in packs' identifiers, which the stored
// choice is limited to). Change the pieces, then `build()`.
class AppStateHarness {
public:
    AppStateHarness();
    ~AppStateHarness();

    VirtualMainQueue queue;
    ManualBackgroundExecutor executor;
    // When set, the state object's jobs run there instead (real worker threads, say); the test stops
    // it after `destroy()`.
    BackgroundExecutor* workers = nullptr;
    TempDir root;
    std::filesystem::path dataDirectory;
    std::shared_ptr<InMemorySettingsStore> settings = std::make_shared<InMemorySettingsStore>();
    // When set, the state object reads these settings instead of `settings` (the real file store, say).
    std::shared_ptr<SettingsStore> otherSettings;
    std::shared_ptr<FakeContactsStore> contacts;
    // When set, the state object reads this store instead of `contacts` (the real one, say).
    std::shared_ptr<ContactsStore> otherContactsStore;
    // The Messages database the program looks for, whose folder its button shows; not there until a
    // test makes it.
    std::filesystem::path messagesDatabase;
    MessagesPermission messagesPermission = MessagesPermission::granted;
    std::shared_ptr<FakeMessagesSource> messages = std::make_shared<FakeMessagesSource>();
    std::shared_ptr<FakeGmailSource> gmail = std::make_shared<FakeGmailSource>();
    std::shared_ptr<ScriptedLocalModel> localModel;
    std::shared_ptr<FakeClipboard> clipboard = std::make_shared<FakeClipboard>();
    std::shared_ptr<FakeSystemOpener> opener = std::make_shared<FakeSystemOpener>();
    ModelCatalog catalog;  // the default pack first, then the large one
    // How the state object makes its download managers; by default real ones over `downloadTransport`
    // (null: the real network) and `downloadFiles` (null: the real disk).
    AppStateDependencies::DownloadManagerFactory makeDownloadManager;
    std::shared_ptr<DownloadTransport> downloadTransport;
    std::shared_ptr<const FileManager> downloadFiles;

    // Makes the state object: its construction, and the reading of the saved queues that it starts;
    // `start()` on it then starts it.
    AppState& build();
    // Its construction alone: the saved queues' reads wait in the executor.
    AppState& construct();
    // Builds, starts, and lets the start-up task finish.
    AppState& buildAndStart();
    AppState& app() { return *app_; }
    // Destroys the state object (as quitting does), keeping the folders and settings.
    void destroy();

    // Runs jobs and due main-queue work until neither has anything left; virtual time stands still.
    void settle();

    // Puts a verified install of `pack` into the data folder.
    void install(const ModelPack& pack);
    // Writes the saved snapshot file of a source.
    void saveSnapshot(ReviewSource source, const ReviewSnapshot& snapshot);
    std::filesystem::path snapshotFile(ReviewSource source) const;

private:
    std::unique_ptr<AppState> app_;
};

}  // namespace nudgerly::test
