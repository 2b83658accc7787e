#include <filesystem>

#include <gtest/gtest.h>

#include "core/Files.h"
#include "loopback/PackFileServer.h"
#include "modelpacks/DownloadFixtures.h"
#include "modelpacks/ModelDownloadManager.h"
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

}  // namespace
}  // namespace nudgerly::test
