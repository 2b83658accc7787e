#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "app/AppComposition.h"
#include "files/TempDir.h"
#include "modelpacks/ModelCatalog.h"
#include "modelpacks/ModelSelectionStore.h"
#include "platform/system/FileSettingsStore.h"
#include "queues/ManualMainQueue.h"
#include "sources/gmail/GmailService.h"
#include "storage/AppFiles.h"
#include "support/FakeOAuthProvider.h"
#include "support/FakeSources.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

using namespace std::chrono_literals;

const std::filesystem::path& isolatedHome = test::isolateUserFolders();

// Starts the state object and waits for its start-up task: false when it did not end in time.
bool startAndWait(AppState& app, ManualMainQueue& queue) {
    bool startTaskDone = false;
    const auto token = app.observe([&](const StateFieldSet& changed) {
        startTaskDone = startTaskDone || changed.contains(StateField::modelAvailability);
    });
    app.start();
    return queue.runUntil([&] { return startTaskDone; }, 10s);
}

TEST(AppCompositionTests, TheProgramsStateObjectStartsInAnIsolatedHome) {
    test::TempDir root;
    setenv("NUDGERLY_MESSAGES_DATABASE", (root.path() / "Messages" / "chat.db").c_str(), 1);
    const AppEnvironment environment = AppEnvironment::underRoot(root.path());
    ManualMainQueue queue;
    auto clipboard = std::make_shared<test::FakeClipboard>();
    {
        AppComposition composition(environment, queue, clipboard, nullptr);
        AppState& app = composition.state();
        ASSERT_TRUE(startAndWait(app, queue));

        const PublishedState& state = app.state();
        EXPECT_EQ(state.section, Section::accounts);
        EXPECT_EQ(state.contactsPermission, ContactsPermission::notDetermined);  // no decision stored yet
        EXPECT_EQ(state.messagesPermission, MessagesPermission::denied);         // no database there
        EXPECT_TRUE(state.needsModelChoice);
        EXPECT_EQ(state.selectedModelPack, ModelPack::nudgerlyDefault());
        EXPECT_EQ(state.modelPacks, ModelCatalog::nudgerly().packs);
        EXPECT_FALSE(state.gmailStatus.configured);
        EXPECT_TRUE(state.snapshots.empty());
        EXPECT_FALSE(state.errorMessage);
    }
    // The choice of pack was written to this environment's settings file, and to nothing outside it.
    const FileSettingsStore written(AppFiles::settingsFile(environment.configurationDirectory));
    EXPECT_EQ(written.string(ModelSelectionStore::selectedPackKey), ModelPack::nudgerlyDefault().identifier);
    EXPECT_FALSE(std::filesystem::exists(isolatedHome / "data"));
    EXPECT_FALSE(std::filesystem::exists(isolatedHome / "config"));
    unsetenv("NUDGERLY_MESSAGES_DATABASE");
}

TEST(AppCompositionTests, GmailReadsItsClientFromTheDataFolderAndItsTokensFromTheEnvironmentsSecrets) {
    test::TempDir root;
    const AppEnvironment environment = AppEnvironment::underRoot(root.path());
    const OAuthClient client{
        .clientID = "client", .authURI = "https://accounts.invalid/auth", .tokenURI = "https://accounts.invalid/token"};
    test::FakeOAuthProvider::writeClientFile(environment.dataDirectory, client);
    environment.secrets.save(
        R"({"access_token":"a","refresh_token":"r","expires_at":0,"token_type":"Bearer","email":"me@example.com"})",
        GmailService::tokensAccount);
    ManualMainQueue queue;
    AppComposition composition(environment, queue, std::make_shared<test::FakeClipboard>(), nullptr);
    ASSERT_TRUE(startAndWait(composition.state(), queue));
    EXPECT_EQ(composition.state().state().gmailStatus,
              (GmailConnectionStatus{.configured = true, .connected = true, .email = "me@example.com"}));
}

}  // namespace
}  // namespace nudgerly
