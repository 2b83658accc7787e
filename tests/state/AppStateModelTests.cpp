#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "modelpacks/DownloadFixtures.h"
#include "modelpacks/ModelSelectionStore.h"
#include "state/AppStateSettings.h"
#include "support/AppStateHarness.h"

namespace nudgerly {
namespace {

using test::AppStateHarness;
using test::FakeTransfer;
using test::FakeTransport;
using test::TestFileManager;
using Kind = ModelDownloadState::Kind;
using Status = ContactsAuthorizationStatus;
namespace Keys = AppStateSettings;
using namespace std::chrono_literals;

// The bytes the harness's made-up packs are made of.
std::string contentsOf(const ModelPack& pack) {
    return "GGUF model bytes of " + pack.identifier;
}

class AppStateModelTest : public ::testing::Test {
protected:
    AppStateModelTest() {
        harness.downloadTransport = transport;
        harness.downloadFiles = files;
    }

    AppState& start(Status contacts = Status::authorized) {
        harness.contacts->setStatus(contacts);
        return harness.buildAndStart();
    }
    const PublishedState& state() { return harness.app().state(); }
    const ModelPack& pack(std::size_t index) const { return harness.catalog.packs[index]; }
    FakeTransfer& transfer() { return transport->last(); }
    bool reach(Kind kind) {
        return harness.queue.runUntil(
            [&] {
                harness.executor.runAll();
                return state().modelDownloadState.kind == kind;
            },
            10s);
    }
    // Starts the selected pack's download and lets it reach `received` bytes.
    void downloadTo(int64_t received) {
        harness.app().startModelDownload();
        transfer().progress(received, pack(0).byteCount);
        harness.settle();
    }
    // Pauses the running download of `packIndex` with resume data, as the transfer layer does.
    void pauseDownload(std::size_t packIndex = 0) {
        harness.app().pauseModelDownload();
        const std::string& url = pack(packIndex).sourceURL;
        const std::string data = DownloadResumeData{url, url, "CFNetworkDownload_p1.tmp", "\"v1\""}.encoded();
        test::writeTestFile(harness.app().modelDownloadManager().temporaryDirectory() / "CFNetworkDownload_p1.tmp",
                            "GGUF");
        FakeTransfer& paused = transfer();
        paused.pauseAnswer(data);
        paused.complete({.errorMessage = "cancelled", .resumeData = data});
        harness.settle();
    }

    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
    std::shared_ptr<TestFileManager> files = std::make_shared<TestFileManager>();
    AppStateHarness harness;
};

TEST_F(AppStateModelTest, ADownloadIsMirroredStepByStepAndItsInstallCompletesTheChoice) {
    harness.localModel->setAvailability(ModelAvailability::bundled());
    AppState& app = start();
    ASSERT_TRUE(state().needsModelChoice);

    app.startModelDownload();
    EXPECT_EQ(state().activity, "Downloading Local AI model");  // the manager's first state follows at once
    EXPECT_EQ(state().modelDownloadState, ModelDownloadState::downloading(0, pack(0).byteCount));
    transfer().progress(7, pack(0).byteCount);
    harness.settle();
    EXPECT_EQ(state().modelDownloadProgress, (ModelDownloadProgress{7, pack(0).byteCount}));
    EXPECT_FALSE(app.canSelectModelPack());

    transfer().finish(contentsOf(pack(0)));
    ASSERT_TRUE(reach(Kind::installed)) << state().modelDownloadState.message;
    harness.settle();
    EXPECT_FALSE(state().needsModelChoice);
    EXPECT_EQ(harness.settings->string(Keys::modelChoiceVersion), Keys::currentModelChoiceVersion);
    EXPECT_FALSE(state().modelDownloadProgress);
    EXPECT_EQ(state().modelAvailability, ModelAvailability::bundled());
    EXPECT_EQ(state().activity, "Local AI model installed · Refresh to review conversations with it");
    EXPECT_FALSE(state().errorMessage);
    EXPECT_TRUE(app.canSelectModelPack());
}

TEST_F(AppStateModelTest, AnInstalledModelThatCannotRunRaisesTheAlertAndStaysInstalled) {
    AppState& app = start(Status::denied);  // the scripted model says it is missing
    app.startModelDownload();
    transfer().finish(contentsOf(pack(0)));
    ASSERT_TRUE(reach(Kind::installed));
    harness.settle();
    const std::string issue = "The installed Local AI model is not available. Remove it and download it again.";
    EXPECT_EQ(state().modelRuntimeIssue, issue);
    EXPECT_EQ(state().modelRuntimeDiagnosticCode, "model_files_missing");
    EXPECT_EQ(state().activity, "Model installed, but Local AI could not be started");
    EXPECT_EQ(state().errorMessage, issue);
    EXPECT_EQ(state().modelDownloadState, ModelDownloadState::installed());

    harness.localModel->setAvailability(ModelAvailability::bundled());
    harness.install(pack(1));
    app.selectModelPack(pack(1).identifier);
    harness.settle();
    EXPECT_EQ(state().activity, pack(1).displayName + " is installed · Allow Contacts next");
    EXPECT_FALSE(state().modelRuntimeIssue);
}

TEST_F(AppStateModelTest, PauseResumeAndRetryPickUpTheStoredResumeDataOnly) {
    AppState& app = start();
    downloadTo(5);
    pauseDownload();
    EXPECT_EQ(state().modelDownloadState.kind, Kind::paused);
    EXPECT_EQ(state().activity, "Local AI model download paused");
    EXPECT_EQ(state().modelDownloadProgress, (ModelDownloadProgress{5, pack(0).byteCount}));  // kept while paused
    EXPECT_TRUE(app.canSelectModelPack());

    app.resumeModelDownload();
    EXPECT_TRUE(transfer().resumeData);
    pauseDownload();
    app.retryModelDownload();  // resume data are stored: the retry resumes
    EXPECT_TRUE(transfer().resumeData);

    app.cancelModelDownload();
    EXPECT_FALSE(std::filesystem::exists(app.modelDownloadManager().resumeDataPath()));
    app.retryModelDownload();  // nothing to resume from: a fresh start
    EXPECT_FALSE(transfer().resumeData);
    EXPECT_EQ(transport->made.size(), 4u);
}

// The manager tells its states as they happen, so an operation's own text is the last word.
TEST_F(AppStateModelTest, CancellingEndsOnTheCancelTextInEachVariant) {
    struct Case {
        Status contacts;
        bool choiceMade;
        std::string text;
    };
    const Case cases[] = {
        {Status::authorized, false,
         "Model download canceled · Install a model or explicitly choose Basic Mode to continue"},
        {Status::denied, false,
         "Model download canceled · Install a model or explicitly choose Basic Mode to continue"},
        {Status::authorized, true, "Model download canceled · Basic local review is available"},
        {Status::notDetermined, true, "Basic local review is available · Allow Contacts next"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        if (c.choiceMade) {
            harness.settings->setString(Keys::modelChoiceVersion, Keys::currentModelChoiceVersion);
        } else {
            harness.settings->remove(Keys::modelChoiceVersion);
        }
        AppState& app = start(c.contacts);
        downloadTo(9);
        app.cancelModelDownload();
        EXPECT_EQ(state().activity, c.text);
        EXPECT_EQ(state().modelDownloadState, ModelDownloadState::missing());
        EXPECT_FALSE(state().modelDownloadProgress);
        EXPECT_TRUE(transfer().cancelled);
    }
}

TEST_F(AppStateModelTest, BasicModeCancelsARunningDownloadButNeverAnInstalledModel) {
    AppState& app = start();
    downloadTo(3);
    app.continueInBasicMode();
    EXPECT_TRUE(transfer().cancelled);
    EXPECT_EQ(state().modelDownloadState, ModelDownloadState::missing());
    EXPECT_EQ(state().activity, "Basic mode selected · You can download Local AI later");
    EXPECT_FALSE(state().needsModelChoice);
    EXPECT_EQ(harness.settings->string(Keys::modelChoiceVersion), Keys::currentModelChoiceVersion);

    harness.install(pack(0));
    harness.settings->remove(Keys::modelChoiceVersion);
    AppState& installed = start(Status::notDetermined);
    installed.continueInBasicMode();
    EXPECT_EQ(state().modelDownloadState, ModelDownloadState::installed());
    EXPECT_TRUE(std::filesystem::exists(installed.modelDownloadManager().installedModelPath()));
    EXPECT_EQ(state().activity, "Basic mode selected · Allow Contacts next");
    EXPECT_EQ(harness.settings->string(Keys::modelChoiceVersion), Keys::currentModelChoiceVersion);
}

TEST_F(AppStateModelTest, RemovalStopsTheServerDeletesTheModelAndReportsEitherOutcome) {
    harness.install(pack(0));
    AppState& app = start();
    app.removeLocalModel();
    EXPECT_TRUE(state().isRemovingModel);
    EXPECT_EQ(state().activity, "Stopping Local AI");
    app.removeLocalModel();  // refused while the first one runs
    EXPECT_EQ(state().errorMessage, "Wait for the current refresh to finish before removing the Local AI model.");
    harness.settle();
    EXPECT_EQ(harness.localModel->shutdownCount(), 1);
    EXPECT_FALSE(state().isRemovingModel);
    EXPECT_EQ(state().modelDownloadState, ModelDownloadState::missing());
    EXPECT_FALSE(std::filesystem::exists(app.modelDownloadManager().installedModelPath()));
    EXPECT_EQ(state().activity, pack(0).displayName + " removed · Basic local review is available");
    EXPECT_FALSE(state().needsModelChoice);  // a removal leaves the choice made

    // A file that cannot be removed: the removal's own texts, not the mirror's download failure.
    harness.install(pack(0));
    AppState& failing = start(Status::denied);
    files->failRemoving = failing.modelDownloadManager().installedModelPath().parent_path();
    failing.removeLocalModel();
    harness.settle();
    ASSERT_TRUE(state().errorMessage);
    EXPECT_EQ(state().errorMessage->rfind("The Local AI model could not be removed: Couldn't remove", 0), 0u)
        << *state().errorMessage;
    EXPECT_EQ(state().activity, "Model removal failed");
    EXPECT_EQ(state().modelDownloadState.kind, Kind::failed);
    EXPECT_FALSE(state().isRemovingModel);

    files->failRemoving.clear();
    harness.install(pack(0));
    start(Status::denied).removeLocalModel();
    harness.settle();
    EXPECT_EQ(state().activity, pack(0).displayName + " removed · Allow Contacts next");
}

TEST_F(AppStateModelTest, RemovalIsRefusedWhileAnotherModelOperationOrADeletionRuns) {
    harness.install(pack(0));
    AppState& app = start();
    const std::string refusal = "Wait for the current refresh to finish before removing the Local AI model.";

    app.selectModelPack(pack(1).identifier);
    app.removeLocalModel();
    EXPECT_EQ(state().errorMessage, refusal);
    harness.settle();
    EXPECT_TRUE(std::filesystem::exists(harness.dataDirectory / "ModelPacks" / pack(0).identifier));

    app.dismissError();
    app.deleteLocalData();
    app.removeLocalModel();
    EXPECT_EQ(state().errorMessage, refusal);
    EXPECT_FALSE(state().isRemovingModel);
    harness.settle();
}

TEST_F(AppStateModelTest, SwitchingPacksReplacesTheManagerAndNamesWhatTheNewPackNeeds) {
    AppState& app = start();
    app.continueInBasicMode();
    const ModelDownloadManager* first = &app.modelDownloadManager();

    app.selectModelPack(pack(0).identifier);  // the selected one
    app.selectModelPack("no-such-pack");
    EXPECT_FALSE(state().isSwitchingModel);
    EXPECT_FALSE(state().needsModelChoice);

    app.selectModelPack(pack(1).identifier);
    EXPECT_TRUE(state().isSwitchingModel);
    EXPECT_TRUE(state().needsModelChoice);
    EXPECT_FALSE(harness.settings->value(Keys::modelChoiceVersion));
    EXPECT_EQ(state().activity, "Switching Local AI model");
    EXPECT_FALSE(app.canSelectModelPack());
    harness.settle();
    EXPECT_FALSE(state().isSwitchingModel);
    EXPECT_NE(&app.modelDownloadManager(), first);
    EXPECT_EQ(app.modelDownloadManager().pack(), pack(1));
    EXPECT_EQ(state().selectedModelPack, pack(1));
    EXPECT_EQ(harness.localModel->activeModelPack(), pack(1));
    EXPECT_EQ(harness.settings->string(ModelSelectionStore::selectedPackKey), pack(1).identifier);
    EXPECT_EQ(state().activity, pack(1).displayName + " selected · Download it to continue");
    EXPECT_TRUE(state().needsModelChoice);

    // Back to a pack with a partial download stored.
    app.startModelDownload();
    transfer().progress(4, pack(1).byteCount);
    harness.settle();
    pauseDownload(1);
    app.selectModelPack(pack(0).identifier);
    harness.settle();
    app.selectModelPack(pack(1).identifier);
    harness.settle();
    EXPECT_EQ(state().modelDownloadState, ModelDownloadState::paused());
    EXPECT_EQ(state().activity, pack(1).displayName + " is selected · Resume its download to continue");

    // To an installed pack: the switch completes the choice.
    harness.install(pack(0));
    app.selectModelPack(pack(0).identifier);
    harness.settle();
    EXPECT_EQ(state().activity, pack(0).displayName + " is selected and installed");
    EXPECT_FALSE(state().needsModelChoice);
    EXPECT_EQ(harness.settings->string(Keys::modelChoiceVersion), Keys::currentModelChoiceVersion);
}

TEST_F(AppStateModelTest, LateNewsFromAReplacedManagerChangesNothing) {
    AppState& app = start();
    downloadTo(2);
    pauseDownload();
    FakeTransfer& old = transfer();
    app.selectModelPack(pack(1).identifier);
    harness.settle();
    const PublishedState before = state();

    old.progress(6, pack(0).byteCount);
    old.complete({.httpStatusCode = 500});
    harness.settle();
    EXPECT_EQ(state().modelDownloadState, before.modelDownloadState);
    EXPECT_EQ(state().activity, before.activity);
    EXPECT_EQ(state().modelDownloadProgress, before.modelDownloadProgress);
}

TEST_F(AppStateModelTest, ThePickerWaitsForRunningDownloadsAndVerificationsOnly) {
    AppState& app = start();
    downloadTo(1);
    app.selectModelPack(pack(1).identifier);
    EXPECT_FALSE(state().isSwitchingModel);
    transfer().complete({.httpStatusCode = 404});
    harness.settle();
    EXPECT_EQ(state().modelDownloadState.kind, Kind::failed);
    EXPECT_EQ(state().activity, "Local AI model download failed");
    EXPECT_TRUE(app.canSelectModelPack());
}

}  // namespace
}  // namespace nudgerly
