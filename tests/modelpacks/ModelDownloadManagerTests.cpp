#include <atomic>
#include <filesystem>
#include <fstream>
#include <semaphore>
#include <thread>

#include <gtest/gtest.h>

#include "core/Files.h"
#include "modelpacks/DownloadFixtures.h"
#include "modelpacks/ModelDownloadManager.h"
#include "modelpacks/ModelVerification.h"
#include "queues/ManualMainQueue.h"

namespace nudgerly::test {
namespace {

const std::string contents = "fake model weights";
const std::string incomplete = "The installed model is incomplete. Remove it and try again.";
// Resume data naming two partial files.
const std::string twoNames =
    R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><array>)"
    R"(<string>CFNetworkDownload_a1.tmp</string><string>CFNetworkDownload_b2.tmp</string></array></plist>)";

bool verifiedInstall(const ModelDownloadManager& manager) {
    return ModelVerification::hasVerifiedInstall(manager.installedModelPath(), manager.verificationReceiptPath(),
                                                 manager.pack(), manager.fileManager());
}

TEST_F(DownloadManagerTest, InitialStateFollowsTheDisk) {
    const auto pack = packFor(contents);
    EXPECT_EQ(make(pack).state(), State::missing());

    writeTestFile(manager->stagingPath(), "left by a crash");
    writeTestFile(manager->resumeDataPath(), resumeData("CFNetworkDownload_a1.tmp"));
    EXPECT_EQ(make(pack).state(), State::paused());
    EXPECT_FALSE(fs::exists(manager->stagingPath()));

    fs::remove(manager->resumeDataPath());
    writeTestFile(manager->installedModelPath(), contents);
    EXPECT_EQ(make(pack).state(), State::failed(incomplete));
    ModelVerification::recordVerifiedFile(manager->installedModelPath(), manager->verificationReceiptPath(), pack,
                                          *files);
    EXPECT_EQ(make(pack).state(), State::installed());

    writeTestFile(manager->stagingPath(), "stuck");
    files->failRemoving = manager->stagingPath();
    EXPECT_EQ(make(pack).state(),
              State::failed("The incomplete model download could not be cleaned up: "
                            "Couldn't remove \u201Ctest-pack.partial\u201D: Permission was denied."));

    ModelPack invalid = pack;
    invalid.sha256 = "not a digest";
    invalid.identifier = "../escape";
    EXPECT_EQ(make(invalid).state(), State::failed("The model manifest is invalid."));
    EXPECT_EQ(manager->installedModelPath(), dir / "ModelPacks/invalid-model-pack/model.gguf");
}

TEST_F(DownloadManagerTest, DownloadsVerifiesAndInstallsIgnoringBeginsMeanwhile) {
    const auto pack = packFor(contents);
    const int64_t size = pack.byteCount;
    auto& m = make(pack, {.caFile = "test-ca.pem"}, nullptr, true);
    m.beginDownload(false);
    ASSERT_EQ(transport->made.size(), 1u);
    auto& transfer = transport->last();
    EXPECT_TRUE(transfer.started);
    EXPECT_EQ(transfer.url, pack.sourceURL);
    EXPECT_EQ(transfer.configuration.temporaryDirectory, dir / "ModelPacks/.downloads/test-pack.transfers");
    EXPECT_EQ(transfer.configuration.resourceTimeout, 86'400s);
    EXPECT_TRUE(transfer.configuration.waitsForConnectivity);
    EXPECT_EQ(transfer.configuration.caFile, "test-ca.pem");

    m.beginDownload(true);
    transfer.progress(5, -1);  // total unknown: the pack's size
    queue.drain();
    writeTestFile(m.stagingPath(), "stale");
    transfer.finish(contents);
    queue.drain();
    EXPECT_EQ(m.state(), State::verifying());
    m.beginDownload(false);  // the file is being hashed
    ASSERT_TRUE(settle(Kind::installed));
    m.beginDownload(false);
    EXPECT_EQ(transport->made.size(), 1u);
    EXPECT_TRUE(verifiedInstall(m));
    EXPECT_EQ(readFile(m.installedModelPath()), contents);
    EXPECT_FALSE(fs::exists(m.stagingPath()));
    EXPECT_EQ(published, (std::vector{State::downloading(0, size), State::downloading(5, size), State::verifying(),
                                      State::installed()}));
}

TEST_F(DownloadManagerTest, ChecksFreeSpaceCountingTheBytesAResumeKeeps) {
    const ModelPack& large = ModelPack::nudgerlyLarge();
    const State tooLittle = State::failed("At least 5.6 GB of free space is required (5.2 GB available).");
    files->available = 5'200'000'000;
    auto& m = make(large);
    m.beginDownload(false);
    EXPECT_EQ(m.state(), tooLittle);

    const fs::path kept = m.temporaryDirectory() / "CFNetworkDownload_big1.tmp";
    writeTestFile(kept, "");
    fs::resize_file(kept, 2'000'000'000);  // sparse
    writeTestFile(m.resumeDataPath(), resumeData(kept.filename().string(), large.sourceURL));
    m.beginDownload(true);
    EXPECT_EQ(m.state(), State::downloading(2'000'000'000, large.byteCount));  // until the first report
    EXPECT_TRUE(transport->last().resumeData.has_value());

    m.cancel();
    EXPECT_FALSE(fs::exists(kept));
    writeTestFile(m.resumeDataPath(), twoNames);
    m.beginDownload(true);
    EXPECT_EQ(m.state(), tooLittle);
}

TEST_F(DownloadManagerTest, PausesIntoStoredResumeDataAndResumesFromIt) {
    auto& m = make(packFor(contents), {}, nullptr, true);
    m.beginDownload(false);
    auto first = transport->made.back();
    m.pause();
    ASSERT_TRUE(first->pauseAnswer);
    const std::string data = resumeData("CFNetworkDownload_p1.tmp");
    writeTestFile(m.temporaryDirectory() / "CFNetworkDownload_p1.tmp", contents.substr(0, 4));
    first->pauseAnswer(data);
    first->complete({.errorMessage = "cancelled", .resumeData = data});
    queue.drain();
    EXPECT_EQ(m.state(), State::paused());
    EXPECT_EQ(readFile(m.resumeDataPath()), data);

    m.beginDownload(true);
    auto second = transport->made.back();
    EXPECT_EQ(second->resumeData, data);
    second->finish(contents);
    ASSERT_TRUE(settle(Kind::installed));
    EXPECT_FALSE(fs::exists(m.resumeDataPath()));
    EXPECT_FALSE(fs::exists(m.temporaryDirectory() / "CFNetworkDownload_p1.tmp"));

    // No resume data for bytes received: the transfer's end says the pause failed.
    m.remove();
    m.beginDownload(false);
    auto third = transport->made.back();
    third->progress(4, -1);
    queue.drain();
    m.pause();
    third->pauseAnswer(std::nullopt);
    queue.drain();
    EXPECT_EQ(m.state().kind, Kind::downloading);
    third->complete({.errorMessage = "cancelled"});
    queue.drain();
    EXPECT_EQ(m.state(), State::failed("The model download could not be paused. Try again."));

    // Paused just as the file was finished: it is verified, not paused.
    m.beginDownload(false);
    auto fourth = transport->made.back();
    m.pause();
    fourth->stage(contents);
    published.clear();
    fourth->pauseAnswer(std::nullopt);
    // The check may already have ended during the drain: what counts is that it began, unpaused.
    queue.drain();
    ASSERT_FALSE(published.empty());
    EXPECT_EQ(published.front(), State::verifying());
    EXPECT_TRUE(settle(Kind::installed));

    // Resume data that cannot be stored: the download fails instead of pausing into nothing.
    m.remove();
    m.beginDownload(false);
    auto fifth = transport->made.back();
    m.pause();
    files->failWriting = true;
    fifth->pauseAnswer(data);
    queue.drain();
    EXPECT_EQ(
        m.state(),
        State::failed("Couldn't save \u201Ctest-pack.resumeData\u201D: There isn't enough free space on the disk."));
}

TEST_F(DownloadManagerTest, UnusableResumeDataLeadsToOneFreshStart) {
    const auto pack = packFor(contents);
    const State notFound = State::failed("The model server returned HTTP 404.");
    auto& m = make(pack);
    const fs::path kept = m.temporaryDirectory() / "CFNetworkDownload_k1.tmp";

    // Insecure addresses: the resume data and its file go, and the download starts from byte 0.
    writeTestFile(kept, "part");
    writeTestFile(m.resumeDataPath(), resumeData(kept.filename().string(), "http://models.example/test/model.gguf"));
    m.beginDownload(true);
    ASSERT_EQ(transport->made.size(), 2u);
    EXPECT_TRUE(transport->made[0]->cancelled);
    EXPECT_FALSE(transport->made[0]->started);
    EXPECT_FALSE(transport->made[1]->resumeData.has_value());
    EXPECT_FALSE(fs::exists(kept) || fs::exists(m.resumeDataPath()));
    transport->made[1]->complete({.httpStatusCode = 404});
    queue.drain();
    EXPECT_EQ(m.state(), notFound);

    // An address with a user name is no more trusted.
    writeTestFile(kept, "part");
    writeTestFile(m.resumeDataPath(),
                  resumeData(kept.filename().string(), "https://user@models.example/test/model.gguf"));
    m.beginDownload(true);
    EXPECT_FALSE(transport->made.back()->resumeData.has_value());
    EXPECT_FALSE(fs::exists(kept));
    m.cancel();

    // 416 to a resumed transfer: one fresh start, whose own 404 is final. The old transfer is not heard.
    writeTestFile(kept, "part");
    writeTestFile(m.resumeDataPath(), resumeData(kept.filename().string()));
    const auto made = transport->made.size();
    m.beginDownload(true);
    auto resumed = transport->made.back();
    resumed->complete({.httpStatusCode = 416});
    queue.drain();
    ASSERT_EQ(transport->made.size(), made + 2);
    EXPECT_FALSE(fs::exists(kept) || fs::exists(m.resumeDataPath()));
    resumed->progress(3, 10);
    transport->last().complete({.httpStatusCode = 404});
    queue.drain();
    EXPECT_EQ(m.state(), notFound);

    // A resumed download that fails its check is fetched once more from scratch; a fresh one just fails.
    writeTestFile(m.resumeDataPath(), resumeData(kept.filename().string()));
    m.beginDownload(true);
    const auto resumedTransfers = transport->made.size();
    transport->last().finish("short");
    ASSERT_TRUE(queue.runUntil([&] { return transport->made.size() == resumedTransfers + 1; }, 10s));
    EXPECT_FALSE(transport->last().resumeData.has_value());
    transport->last().finish("short");
    ASSERT_TRUE(settle(Kind::failed));
    EXPECT_EQ(m.state(), State::failed("The model download was incomplete (expected 18 bytes, received 5)."));
}

TEST_F(DownloadManagerTest, AWaitForTheNetworkIsShownAndPausesWithNothingLost) {
    const auto pack = packFor(contents);
    const int64_t size = pack.byteCount;
    auto& m = make(pack);
    m.beginDownload(false);
    auto waiting = transport->made.back();
    waiting->waitForConnectivity();
    queue.drain();
    EXPECT_EQ(m.state(), State::waiting(0, size));

    // Paused before any byte came: paused with nothing stored, and a resume starts afresh.
    m.pause();
    waiting->pauseAnswer(std::nullopt);
    waiting->complete({.errorMessage = "The operation was cancelled."});
    queue.drain();
    EXPECT_EQ(m.state(), State::paused());
    EXPECT_FALSE(fs::exists(m.resumeDataPath()));
    m.beginDownload(true);
    EXPECT_FALSE(transport->last().resumeData.has_value());

    // The first bytes end the wait.
    transport->last().waitForConnectivity();
    transport->last().progress(4, size);
    queue.drain();
    EXPECT_EQ(m.state(), State::downloading(4, size));

    // A resumed transfer that waits shows the bytes it keeps; a late wait does not undo a pause.
    m.cancel();
    writeTestFile(m.temporaryDirectory() / "CFNetworkDownload_w1.tmp", contents.substr(0, 3));
    writeTestFile(m.resumeDataPath(), resumeData("CFNetworkDownload_w1.tmp"));
    m.beginDownload(true);
    transport->last().waitForConnectivity();
    queue.drain();
    EXPECT_EQ(m.state(), State::waiting(3, size));
    m.pause();
    const auto shown = published.size();
    transport->last().waitForConnectivity();
    queue.drain();
    EXPECT_EQ(published.size(), shown);
    transport->last().pauseAnswer(resumeData("CFNetworkDownload_w1.tmp"));
    queue.drain();
    EXPECT_EQ(m.state(), State::paused());
}

TEST_F(DownloadManagerTest, ResumeDataSavedAsTheTransferGoesOutlivesTheProcessButNotTheDownload) {
    const auto pack = packFor(contents);
    const std::string data = resumeData("CFNetworkDownload_c1.tmp");
    make(pack).beginDownload(false);
    writeTestFile(manager->temporaryDirectory() / "CFNetworkDownload_c1.tmp", contents.substr(0, 5));
    transport->last().saveResumeData(data);
    EXPECT_EQ(readFile(manager->resumeDataPath()), data);
    // The process ends mid-way: the next one finds the download paused and resumes it.
    auto& next = make(pack);
    EXPECT_EQ(next.state(), State::paused());
    next.beginDownload(true);
    EXPECT_EQ(transport->last().resumeData, data);

    // A cancel is final: a late save of the abandoned transfer is not stored.
    auto& resumed = transport->last();
    next.cancel();
    resumed.saveResumeData(data);
    EXPECT_FALSE(fs::exists(next.resumeDataPath()));

    // A save that cannot be written leaves the download running.
    files->failWriting = true;
    next.beginDownload(false);
    transport->last().saveResumeData(data);
    EXPECT_EQ(next.state().kind, Kind::downloading);

    // A transfer that fails after saving leaves nothing that would show it as paused later.
    files->failWriting = false;
    transport->last().saveResumeData(data);
    transport->last().complete({.errorMessage = "Couldn't write \u201CCFNetworkDownload_c1.tmp\u201D"});
    queue.drain();
    EXPECT_EQ(next.state().kind, Kind::failed);
    EXPECT_FALSE(fs::exists(next.resumeDataPath()));
    EXPECT_EQ(make(pack).state(), State::missing());
}

TEST_F(DownloadManagerTest, TheDigestTakenAsTheBytesArriveSparesTheStagedFileItsHashing) {
    const auto pack = packFor(contents);
    auto& m = make(pack);
    m.beginDownload(false);
    transport->last().finish(contents);
    ASSERT_TRUE(settle(Kind::installed));
    // Only the installed file is read, once.
    EXPECT_EQ(files->opened(), std::vector<fs::path>{m.installedModelPath()});

    // Bytes that arrived other than the pack's fail, whatever the file holds now.
    m.remove();
    m.beginDownload(false);
    writeTestFile(transport->last().temporaryFile(), contents);
    transport->last().stageFile(Sha256::hexDigest("other bytes"));
    transport->last().complete({.httpStatusCode = 200});
    ASSERT_TRUE(settle(Kind::failed));
    EXPECT_EQ(m.state().message, "The downloaded model failed its security verification.");
    EXPECT_FALSE(fs::exists(m.installedModelPath()));
}

TEST_F(DownloadManagerTest, TransferFailuresEndInPausedOrFailed) {
    auto& m = make(packFor(contents));
    const auto endWith = [&](const std::function<void(FakeTransfer&)>& end) {
        m.beginDownload(false);
        end(transport->last());
        queue.drain();
        return m.state();
    };
    const std::string data = resumeData("CFNetworkDownload_n1.tmp");
    EXPECT_EQ(endWith([&](FakeTransfer& t) {
                  t.complete({.errorMessage = "The network connection was lost.", .resumeData = data});
              }),
              State::paused());
    EXPECT_EQ(readFile(m.resumeDataPath()), data);
    EXPECT_EQ(endWith([](FakeTransfer& t) {
                  EXPECT_FALSE(t.delegate->transferShouldFollowRedirect("http://models.example/elsewhere"));
                  t.complete({.httpStatusCode = 302});
              }),
              State::failed("The model download attempted an insecure redirect."));
    EXPECT_EQ(endWith([](FakeTransfer& t) { t.complete({}); }),
              State::failed("The model download did not produce a file."));
    EXPECT_EQ(endWith([](FakeTransfer& t) { t.complete({.errorMessage = "The request timed out."}); }),
              State::failed("The request timed out."));
    // The body arrived but could not be staged.
    files->failMoving = true;
    EXPECT_EQ(endWith([&](FakeTransfer& t) { t.finish(contents); }),
              State::failed(
                  "Couldn't move \u201CCFNetworkDownload_fake.tmp\u201D: There isn't enough free space on the disk."));
    EXPECT_FALSE(fs::exists(m.resumeDataPath()));

    // A transfer that could not even start is not taken for a running one: the retry goes ahead.
    files->failMoving = false;
    transport->failStarts = true;
    const auto made = transport->made.size();
    m.beginDownload(false);
    EXPECT_EQ(m.state().kind, Kind::failed);
    transport->failStarts = false;
    m.beginDownload(false);
    ASSERT_EQ(transport->made.size(), made + 2);
    EXPECT_TRUE(transport->last().started);
}

TEST_F(DownloadManagerTest, CancelAndRemoveFollowTheDisk) {
    auto& m = make(packFor(contents));
    m.beginDownload(false);
    transport->last().finish(contents);
    ASSERT_TRUE(settle(Kind::installed));
    m.cancel();
    EXPECT_EQ(m.state(), State::installed());

    writeTestFile(m.installedModelPath(), "touched");
    m.cancel();
    EXPECT_EQ(m.state(), State::failed(incomplete));

    // A running transfer stops; its partial data, resume data and late news go.
    m.remove();
    m.beginDownload(false);
    auto running = transport->made.back();
    writeTestFile(m.resumeDataPath(), resumeData("CFNetworkDownload_c1.tmp"));
    writeTestFile(m.temporaryDirectory() / "CFNetworkDownload_c1.tmp", "part");
    writeTestFile(m.stagingPath(), "staged");
    m.cancel();
    EXPECT_TRUE(running->cancelled);
    running->finish(contents);
    queue.drain();
    EXPECT_EQ(m.state(), State::missing());
    EXPECT_TRUE(fs::is_empty(m.temporaryDirectory()));
    EXPECT_FALSE(fs::exists(m.resumeDataPath()) || fs::exists(m.stagingPath()));

    writeTestFile(m.installedModelPath(), contents);
    files->failRemoving = m.installedModelPath().parent_path();
    EXPECT_THROW(m.remove(), FileSystemError);
    EXPECT_EQ(m.state(), State::failed("Couldn't remove \u201Ctest-pack\u201D: Permission was denied."));
}

TEST_F(DownloadManagerTest, UnreadableResumeDataIsRemovedAndPinsNothing) {
    auto& m = make(packFor(contents));
    const auto unreadable = [&] {
        writeTestFile(m.resumeDataPath(), resumeData("CFNetworkDownload_u1.tmp"));
        writeTestFile(m.temporaryDirectory() / "CFNetworkDownload_u1.tmp", "part");
        files->failReading = m.resumeDataPath();
    };
    unreadable();
    m.beginDownload(false);
    EXPECT_EQ(m.state().kind, Kind::downloading);
    EXPECT_FALSE(fs::exists(m.resumeDataPath()));
    // Unreadable, it named no file: the partial body went as one nothing names.
    EXPECT_TRUE(fs::is_empty(m.temporaryDirectory()));

    unreadable();
    m.cancel();
    EXPECT_EQ(m.state(), State::missing());
    EXPECT_FALSE(fs::exists(m.resumeDataPath()));

    unreadable();
    EXPECT_NO_THROW(m.remove());
    EXPECT_EQ(m.state(), State::missing());
    EXPECT_FALSE(fs::exists(m.resumeDataPath()));
}

TEST_F(DownloadManagerTest, LeftoverPartialFilesNeverPinTheManagerOrTheDisk) {
    auto& m = make(packFor(contents));
    const ModelDownloadArtifacts artifacts(ModelPackPaths::of(m.pack(), dir.path()), files);
    const auto partial = [&](const std::string& name) { return m.temporaryDirectory() / name; };
    for (const auto* name : {"CFNetworkDownload_a1.tmp", "CFNetworkDownload_b2.tmp", "CFNetworkDownload_ab12.tmp"}) {
        writeTestFile(partial(name), "part");
    }
    // Several names: no file goes on their strength, but the resume data does.
    writeTestFile(m.resumeDataPath(), twoNames);
    EXPECT_NO_THROW(artifacts.removeResumeArtifacts());
    EXPECT_FALSE(fs::exists(m.resumeDataPath()));
    EXPECT_TRUE(fs::exists(partial("CFNetworkDownload_a1.tmp")) && fs::exists(partial("CFNetworkDownload_b2.tmp")));
    // Names with a folder in front or of another form are not ours either.
    for (const char* name : {"transfers/CFNetworkDownload_ab12.tmp", "CFNetworkDownload_ab12.tmp.bak"}) {
        writeTestFile(m.resumeDataPath(), resumeData(name));
        artifacts.removeResumeArtifacts();
        EXPECT_TRUE(fs::exists(partial("CFNetworkDownload_ab12.tmp")));
    }

    // A begin keeps only the file the stored resume data names, and a cancel keeps none.
    writeTestFile(m.resumeDataPath(), resumeData("CFNetworkDownload_b2.tmp"));
    m.beginDownload(true);
    EXPECT_EQ(m.state().kind, Kind::downloading);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(m.temporaryDirectory())) {
        left.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"CFNetworkDownload_b2.tmp"});
    writeTestFile(partial("CFNetworkDownload_z9.tmp"), "killed mid-write");
    m.cancel();
    EXPECT_TRUE(fs::is_empty(m.temporaryDirectory()));
}

TEST_F(DownloadManagerTest, DestroyedManagerStopsItsTransferAndItsHashing) {
    auto& m = make(packFor(contents));
    m.beginDownload(false);
    auto transfer = transport->made.back();
    manager.reset();
    EXPECT_TRUE(transfer->cancelled);
    transfer->finish(contents);
    queue.drain();

    // Hashing 4 GiB takes seconds; a stopped hash ends at the next piece. The transfer's digest spares
    // only the staged file its hashing, never the installed one.
    ModelPack huge = packFor(contents);
    huge.byteCount = int64_t{4} << 30;
    make(huge).beginDownload(false);
    writeTestFile(transport->last().temporaryFile(), "");
    fs::resize_file(transport->last().temporaryFile(), static_cast<uintmax_t>(huge.byteCount));
    transport->last().stageFile(huge.sha256);
    transport->last().complete({.httpStatusCode = 200});
    queue.drain();
    ASSERT_EQ(manager->state(), State::verifying());
    const auto stopped = std::chrono::steady_clock::now();
    manager.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 500ms);
    queue.drain();
}

// Reads of file attributes off the test's thread take a while and note when they are done.
class SlowWorkerFileManager : public TestFileManager {
public:
    FileAttributes attributesOfItem(const std::filesystem::path& path) const override {
        if (std::this_thread::get_id() != testThread_) {
            entered.release();
            std::this_thread::sleep_for(200ms);
            left = true;
        }
        return TestFileManager::attributesOfItem(path);
    }

    mutable std::binary_semaphore entered{0};
    mutable std::atomic<bool> left{false};

private:
    const std::thread::id testThread_ = std::this_thread::get_id();
};

TEST(DownloadManagerLifetimeTests, AManagerGoneMidVerificationLeavesNoWorkerBehind) {
    TempDir dir;
    const auto files = std::make_shared<SlowWorkerFileManager>();
    auto queue = std::make_unique<ManualMainQueue>();
    const auto transport = std::make_shared<FakeTransport>();
    auto manager =
        std::make_unique<ModelDownloadManager>(ModelDownloadManager::Dependencies{.mainQueue = *queue,
                                                                                  .pack = packFor(contents),
                                                                                  .rootDirectory = dir.path(),
                                                                                  .fileManager = files,
                                                                                  .transport = transport});
    manager->beginDownload(false);
    transport->last().finish(contents);
    queue->drain();
    ASSERT_EQ(manager->state(), State::verifying());
    ASSERT_TRUE(files->entered.try_acquire_for(5s));

    manager.reset();
    EXPECT_TRUE(files->left);  // the hash worker ended before the manager did
    EXPECT_EQ(queue->drain(), 0);
    queue.reset();  // a worker posting now would touch freed memory
}

#ifndef NDEBUG
TEST_F(DownloadManagerTest, ACallFromAnotherThreadStopsADebugBuild) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto& m = make(packFor(contents));
    EXPECT_DEATH(std::thread([&] { m.cancel(); }).join(), "main-thread-only");
}
#endif

}  // namespace
}  // namespace nudgerly::test
