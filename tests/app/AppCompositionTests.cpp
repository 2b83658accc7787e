#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "app/AppComposition.h"
#include "modelpacks/ModelCatalog.h"
#include "modelpacks/ModelSelectionStore.h"
#include "platform/FileSettingsStore.h"
#include "storage/AppFiles.h"
#include "support/FakeSources.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

using namespace std::chrono_literals;

const std::filesystem::path& isolatedHome = test::isolateUserFolders();

TEST(AppCompositionTests, TheProgramsStateObjectStartsInAnIsolatedHome) {
    test::TempDir root;
    setenv("NUDGERLY_MESSAGES_DATABASE", (root.path() / "Messages" / "chat.db").c_str(), 1);
    const AppEnvironment environment = AppEnvironment::underRoot(root.path());
    ManualMainQueue queue;
    auto clipboard = std::make_shared<test::FakeClipboard>();
    {
        AppComposition composition(environment, queue, clipboard, nullptr);
        AppState& app = composition.state();
        bool startTaskDone = false;
        const auto token = app.observe([&](const StateFieldSet& changed) {
            startTaskDone = startTaskDone || changed.contains(StateField::modelAvailability);
        });
        app.start();
        ASSERT_TRUE(queue.runUntil([&] { return startTaskDone; }, 10s));

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

}  // namespace
}  // namespace nudgerly
