#include <csignal>
#include <filesystem>
#include <thread>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/Files.h"
#include "loopback/PackFileServer.h"
#include "modelpacks/DownloadFixtures.h"
#include "modelpacks/ModelDownloadManager.h"
#include "modelpacks/ModelPackPaths.h"
#include "platform/net/CurlDownloadTransport.h"

namespace nudgerly::test {
namespace {

constexpr int64_t mebibyte = 1 << 20;

std::string madeUpPack() {
    std::string contents(3 * mebibyte + 11, '\0');
    for (std::size_t i = 0; i < contents.size(); ++i) {
        contents[i] = static_cast<char>((i * 2654435761u) >> 13);
    }
    return contents;
}

class DownloadEndToEndTest : public DownloadManagerTest {
protected:
    ModelDownloadManager& start(const std::string& path = "/pack.gguf") {
        return make(packFor(server.contents(), server.url(path)), {.caFile = server.caFile()},
                    std::make_shared<CurlDownloadTransport>());
    }
    int64_t size() const { return static_cast<int64_t>(server.contents().size()); }

    PackFileServer server{madeUpPack()};
};

TEST_F(DownloadEndToEndTest, PausesMidwayAndResumesToAVerifiedInstall) {
    enum class Resume { withRange, serverIgnoresRange, rangeNotSatisfiable };
    for (const auto resume : {Resume::withRange, Resume::serverIgnoresRange, Resume::rangeNotSatisfiable}) {
        SCOPED_TRACE(static_cast<int>(resume));
        server.setBehaviour({.stallAt = mebibyte});
        auto& m = start();
        m.beginDownload(false);
        ASSERT_TRUE(queue.runUntil([&] { return m.state() == State::downloading(mebibyte, size()); }, 10s));
        m.pause();
        ASSERT_TRUE(settle(Kind::paused));
        const auto names = [&] {
            std::vector<fs::path> found;
            for (const auto& entry : fs::directory_iterator(m.temporaryDirectory())) {
                found.push_back(entry.path());
            }
            return found;
        };
        ASSERT_TRUE(fs::exists(m.resumeDataPath()));
        ASSERT_EQ(names().size(), 1u);
        EXPECT_EQ(fs::file_size(names().front()), static_cast<uintmax_t>(mebibyte));

        server.setBehaviour({.ignoreRange = resume == Resume::serverIgnoresRange,
                             .rangeStatus = resume == Resume::rangeNotSatisfiable ? std::optional(416) : std::nullopt});
        const auto before = server.requests().size();
        m.beginDownload(true);
        ASSERT_TRUE(settle(Kind::installed)) << m.state().message;
        EXPECT_TRUE(readFile(m.installedModelPath()) == server.contents());
        EXPECT_TRUE(fs::exists(m.verificationReceiptPath()));
        EXPECT_FALSE(fs::exists(m.resumeDataPath()));
        EXPECT_TRUE(fs::is_empty(m.temporaryDirectory()));

        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), before + (resume == Resume::rangeNotSatisfiable ? 2 : 1));
        EXPECT_EQ(requests[before].header("range"), "bytes=1048576-");
        EXPECT_EQ(requests.back().header("range").has_value(), resume != Resume::rangeNotSatisfiable);
        m.remove();
    }
}

TEST_F(DownloadEndToEndTest, RefusedRedirectsAndMissingFilesEndInFailed) {
    const std::string plain = "http" + server.baseUrl().substr(5) + "/pack.gguf";
    server.setBehaviour({.redirects = {{"/moved.gguf", plain}, {"/mirrored.gguf", server.url("/pack.gguf")}}});
    start("/moved.gguf").beginDownload(false);
    ASSERT_TRUE(settle(Kind::failed));
    EXPECT_EQ(manager->state().message, "The model download attempted an insecure redirect.");

    start("/mirrored.gguf").beginDownload(false);
    EXPECT_TRUE(settle(Kind::installed)) << manager->state().message;
    manager->remove();

    server.setBehaviour({.status = 404});
    start().beginDownload(false);
    ASSERT_TRUE(settle(Kind::failed));
    EXPECT_EQ(manager->state().message, "The model server returned HTTP 404.");
    EXPECT_FALSE(fs::exists(manager->stagingPath()));

    // A manager that goes away mid-transfer stops it.
    server.setBehaviour({.stallAt = mebibyte});
    start().beginDownload(false);
    ASSERT_TRUE(queue.runUntil([&] { return manager->state().receivedBytes > 0; }, 10s));
    const auto stopped = std::chrono::steady_clock::now();
    manager.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 2s);
}

// The size of the one partial file in `folder`, or -1 while there is none or several.
int64_t partialFileSize(const fs::path& folder) {
    std::error_code error;
    std::vector<int64_t> sizes;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        sizes.push_back(static_cast<int64_t>(entry.file_size(error)));
    }
    return sizes.size() == 1 && !error ? sizes.front() : -1;
}

TEST_F(DownloadEndToEndTest, AProcessKilledMidwayResumesWithARangeFromWhatItKept) {
    const int64_t killedAt = 2 * mebibyte + 3;
    server.setBehaviour({.stallAt = static_cast<uint64_t>(killedAt)});
    const ModelPack pack = packFor(server.contents(), server.url());
    const ModelPackPaths paths = ModelPackPaths::of(pack, dir.path());

    std::vector<std::string> arguments{
        NUDGERLY_PACK_DOWNLOADER,       dir.path().string(), pack.sourceURL, server.caFile(),
        std::to_string(pack.byteCount), pack.sha256};
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    // The bytes up to the stall are in the partial file once it has them all; the process dies there,
    // without a chance to store anything more.
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!(server.isStalled() && fs::exists(paths.resumeDataPath) &&
             partialFileSize(paths.temporaryDirectory) == killedAt) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_EQ(partialFileSize(paths.temporaryDirectory), killedAt);
    server.release();

    server.setBehaviour({});
    auto& m = start();
    EXPECT_EQ(m.state(), State::paused());
    const auto before = server.requests().size();
    m.beginDownload(true);
    ASSERT_TRUE(settle(Kind::installed)) << m.state().message;
    EXPECT_TRUE(readFile(m.installedModelPath()) == server.contents());
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), before + 1);
    EXPECT_EQ(requests.back().header("range"), "bytes=" + std::to_string(killedAt) + "-");
}

}  // namespace
}  // namespace nudgerly::test
