#include <string>

#include <gtest/gtest.h>

#include "app/AppComposition.h"
#include "loopback/PackFileServer.h"
#include "state/AppStateSettings.h"
#include "support/AppStateHarness.h"

namespace nudgerly {
namespace {

using namespace std::chrono_literals;
using Kind = ModelDownloadState::Kind;
constexpr int64_t mebibyte = 1 << 20;

// The program's download managers, made by its composition root, over loopback HTTPS: a download
// started through the state object pauses, survives the state object, and resumes with a range.
class ModelDownloadCompositionTest : public ::testing::Test {
protected:
    ModelDownloadCompositionTest() {
        harness.catalog.packs[0] = test::smallPack(harness.catalog.packs[0].identifier, server.contents());
        harness.catalog.packs[0].sourceURL = server.url();
        harness.makeDownloadManager =
            AppComposition::downloadManagerFactory(harness.dataDirectory, harness.queue, {.caFile = server.caFile()});
        harness.localModel->setAvailability(ModelAvailability::bundled());
    }

    const PublishedState& state() { return harness.app().state(); }
    bool runUntil(const std::function<bool()>& done) {
        return harness.queue.runUntil(
            [&] {
                harness.executor.runAll();
                return done();
            },
            20s);
    }
    int64_t size() const { return static_cast<int64_t>(server.contents().size()); }

    test::PackFileServer server{std::string(2 * mebibyte + 5, 'g')};
    test::AppStateHarness harness;
};

TEST_F(ModelDownloadCompositionTest, ADownloadPausedWithOneStateObjectResumesInTheNextToAnInstall) {
    server.setBehaviour({.stallAt = mebibyte});
    AppState& first = harness.buildAndStart();
    first.startModelDownload();
    EXPECT_EQ(state().activity, "Downloading Local AI model");
    ASSERT_TRUE(runUntil([&] { return state().modelDownloadProgress == ModelDownloadProgress{mebibyte, size()}; }));
    first.pauseModelDownload();
    ASSERT_TRUE(runUntil([&] { return state().modelDownloadState.kind == Kind::paused; }))
        << state().modelDownloadState.message;
    EXPECT_EQ(state().activity, "Local AI model download paused");
    harness.destroy();

    server.setBehaviour({});
    AppState& second = harness.buildAndStart();
    EXPECT_EQ(state().modelDownloadState, ModelDownloadState::paused());
    EXPECT_TRUE(state().needsModelChoice);
    const auto before = server.requests().size();
    second.retryModelDownload();
    ASSERT_TRUE(runUntil([&] { return state().modelDownloadState.kind == Kind::installed; }))
        << state().modelDownloadState.message;
    ASSERT_TRUE(runUntil([&] { return state().activity != "Verifying Local AI model"; }));
    EXPECT_EQ(state().activity, "Local AI model installed · Refresh to review conversations with it");
    EXPECT_FALSE(state().needsModelChoice);
    EXPECT_EQ(harness.settings->string(AppStateSettings::modelChoiceVersion),
              AppStateSettings::currentModelChoiceVersion);
    EXPECT_FALSE(state().modelDownloadProgress);

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), before + 1);
    EXPECT_EQ(requests.back().header("range"), "bytes=1048576-");
}

}  // namespace
}  // namespace nudgerly
