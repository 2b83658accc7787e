#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/Files.h"
#include "core/Sha256.h"
#include "files/TempDir.h"
#include "loopback/LoopbackHttpServer.h"
#include "loopback/PackFileServer.h"
#include "platform/net/CurlDownloadTransport.h"
#include "platform/net/DownloadResumeData.h"
#include "support/ConnectProxy.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::PackFileServer;

constexpr uint64_t mebibyte = 1 << 20;

std::string sampleContents() {
    std::string contents(3 * mebibyte + 7, '\0');
    for (std::size_t i = 0; i < contents.size(); ++i) {
        contents[i] = static_cast<char>((i * 7919) >> 5);
    }
    return contents;
}

class RecordingDelegate : public DownloadTransferDelegate {
public:
    bool followRedirects = true;

    void transferDidWriteData(int64_t written, int64_t expected) override {
        std::lock_guard lock(mutex_);
        progress.emplace_back(written, expected);
        changed_.notify_all();
    }
    bool transferShouldFollowRedirect(const std::string& url) override {
        std::lock_guard lock(mutex_);
        redirects.push_back(url);
        return followRedirects;
    }
    void transferDidFinishDownloading(const fs::path& file, const std::string& sha256) override {
        std::lock_guard lock(mutex_);
        finishedFile = file;
        finishedContents = readFile(file);
        finishedSha256 = sha256;
    }
    void transferDidSaveResumeData(const std::string& resumeData) override {
        std::lock_guard lock(mutex_);
        const auto data = DownloadResumeData::decode(resumeData);
        std::error_code error;
        const auto size = data ? fs::file_size(folder / data->temporaryFileName, error) : 0;
        savedSizes.push_back(data && !error ? static_cast<int64_t>(size) : -1);
        lastSaved = resumeData;
        changed_.notify_all();
    }
    void transferIsWaitingForConnectivity() override {
        std::lock_guard lock(mutex_);
        ++waits;
        changed_.notify_all();
    }
    void transferDidComplete(const DownloadOutcome& result) override {
        std::lock_guard lock(mutex_);
        outcome = result;
        changed_.notify_all();
    }

    DownloadOutcome waitForOutcome(std::chrono::milliseconds timeout = 10s) {
        std::unique_lock lock(mutex_);
        EXPECT_TRUE(changed_.wait_for(lock, timeout, [&] { return outcome.has_value(); }));
        return outcome.value_or(DownloadOutcome{});
    }
    bool waitForSaves(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return savedSizes.size() >= count; });
    }
    bool waitForAWait() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return waits > 0; });
    }
    bool waitForBytes(int64_t bytes) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 5s, [&] { return !progress.empty() && progress.back().first == bytes; });
    }

    std::vector<std::pair<int64_t, int64_t>> progress;
    std::vector<std::string> redirects;
    std::optional<fs::path> finishedFile;
    std::optional<std::string> finishedContents;
    std::optional<std::string> finishedSha256;
    fs::path folder;  // where the transfer keeps its partial file
    // The size of the partial file as each resume data was saved, and the last one saved.
    std::vector<int64_t> savedSizes;
    std::optional<std::string> lastSaved;
    int waits = 0;
    std::optional<DownloadOutcome> outcome;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
};

class DownloadTransferTests : public ::testing::Test {
protected:
    DownloadConfiguration configuration() const {
        return {.temporaryDirectory = dir / "transfers", .caFile = server.caFile()};
    }
    std::shared_ptr<DownloadTransfer> fresh(const std::shared_ptr<RecordingDelegate>& delegate,
                                            const std::string& path = "/pack.gguf") {
        auto transfer = transport.transferWithUrl(server.url(path), configuration(), delegate);
        transfer->start();
        return transfer;
    }
    std::shared_ptr<DownloadTransfer> resumed(const std::string& resumeData,
                                              const std::shared_ptr<RecordingDelegate>& delegate) {
        auto transfer = transport.transferWithResumeData(resumeData, configuration(), delegate);
        transfer->start();
        return transfer;
    }
    // Resume data for a kept file holding `kept`.
    std::string keptFile(const std::string& kept, const std::string& validator) {
        test::writeTestFile(dir / "transfers" / "CFNetworkDownload_kept1.tmp", kept);
        return DownloadResumeData{server.url(), server.url(), "CFNetworkDownload_kept1.tmp", validator}.encoded();
    }
    std::size_t filesLeft() const {
        return fs::exists(dir / "transfers") ? std::distance(fs::directory_iterator(dir / "transfers"), {}) : 0;
    }

    test::TempDir dir;
    PackFileServer server{sampleContents()};
    CurlDownloadTransport transport;  // last: its workers end before the server and the folder go
};

TEST_F(DownloadTransferTests, DownloadsIntoAPrivateTemporaryFileAndHandsItOver) {
    auto delegate = std::make_shared<RecordingDelegate>();
    fresh(delegate);
    const auto outcome = delegate->waitForOutcome();
    EXPECT_EQ(outcome, (DownloadOutcome{.httpStatusCode = 200}));
    ASSERT_TRUE(delegate->finishedFile.has_value());
    EXPECT_EQ(delegate->finishedFile->parent_path(), dir / "transfers");
    EXPECT_TRUE(isTemporaryDownloadFileName(delegate->finishedFile->filename().string()));
    EXPECT_TRUE(delegate->finishedContents == server.contents());
    EXPECT_EQ(delegate->finishedSha256, Sha256::hexDigest(server.contents()));
    EXPECT_EQ(test::fileMode(dir / "transfers"), 0700u);
    EXPECT_EQ(filesLeft(), 0u) << "the file is deleted once the delegate had its turn";

    // Progress starts at once and is throttled: the body arrives in hundreds of pieces.
    const int64_t size = static_cast<int64_t>(server.contents().size());
    ASSERT_FALSE(delegate->progress.empty());
    EXPECT_EQ(delegate->progress.front(), std::make_pair(int64_t{0}, size));
    EXPECT_LT(delegate->progress.size(), 10u);
}

TEST_F(DownloadTransferTests, ResumesWithRangeAndStartsAgainWhenTheFileChanged) {
    server.setBehaviour({.stallAt = mebibyte});
    auto first = std::make_shared<RecordingDelegate>();
    auto transfer = fresh(first);
    ASSERT_TRUE(first->waitForBytes(mebibyte));
    std::optional<std::string> handedOver;
    transfer->cancelProducingResumeData([&](std::optional<std::string> data) { handedOver = std::move(data); });
    const auto paused = first->waitForOutcome(2s);
    EXPECT_EQ(paused.errorMessage, "The operation was cancelled.");
    ASSERT_TRUE(paused.resumeData.has_value());
    EXPECT_EQ(handedOver, paused.resumeData);
    const auto data = DownloadResumeData::decode(*paused.resumeData);
    ASSERT_TRUE(data.has_value());
    EXPECT_EQ(data->originalUrl, server.url());
    EXPECT_EQ(data->validator, server.entityTag());
    EXPECT_EQ(fs::file_size(dir / "transfers" / data->temporaryFileName), mebibyte);

    server.setBehaviour({});
    auto second = std::make_shared<RecordingDelegate>();
    resumed(*paused.resumeData, second);
    EXPECT_EQ(second->waitForOutcome().httpStatusCode, 206);
    EXPECT_TRUE(second->finishedContents == server.contents());
    EXPECT_EQ(second->finishedSha256, Sha256::hexDigest(server.contents())) << "the kept bytes count in the digest";
    EXPECT_EQ(second->progress.front().first, static_cast<int64_t>(mebibyte));
    const auto request = server.requests().back();
    EXPECT_EQ(request.header("range"), "bytes=1048576-");
    EXPECT_EQ(request.header("if-range"), server.entityTag());
    EXPECT_EQ(filesLeft(), 0u);

    // Bytes of another version of the file (If-Range no longer matches) or a server that ignores Range:
    // the whole file comes again and replaces them.
    for (const bool ignoreRange : {false, true}) {
        server.setBehaviour({.ignoreRange = ignoreRange});
        auto again = std::make_shared<RecordingDelegate>();
        resumed(keptFile(std::string(1000, 'x'), ignoreRange ? server.entityTag() : "\"older\""), again);
        EXPECT_EQ(again->waitForOutcome().httpStatusCode, 200);
        EXPECT_TRUE(again->finishedContents == server.contents()) << ignoreRange;
        EXPECT_EQ(again->finishedSha256, Sha256::hexDigest(server.contents())) << "the replaced bytes do not";
    }

    // Without an entity tag the modification date validates the bytes.
    server.setBehaviour({.sendEntityTag = false});
    auto dated = std::make_shared<RecordingDelegate>();
    resumed(keptFile(server.contents().substr(0, 1000), PackFileServer::lastModified), dated);
    EXPECT_EQ(dated->waitForOutcome().httpStatusCode, 206);
    EXPECT_TRUE(dated->finishedContents == server.contents());
    EXPECT_EQ(server.requests().back().header("if-range"), PackFileServer::lastModified);
}

TEST_F(DownloadTransferTests, ReportsOtherStatusesWithoutKeepingAnyBody) {
    server.setBehaviour({.status = 404});
    auto missing = std::make_shared<RecordingDelegate>();
    fresh(missing);
    EXPECT_EQ(missing->waitForOutcome(), (DownloadOutcome{.httpStatusCode = 404}));
    EXPECT_FALSE(missing->finishedFile.has_value());

    server.setBehaviour({.rangeStatus = 416});
    auto unsatisfiable = std::make_shared<RecordingDelegate>();
    resumed(keptFile("abc", server.entityTag()), unsatisfiable);
    EXPECT_EQ(unsatisfiable->waitForOutcome(), (DownloadOutcome{.httpStatusCode = 416}));
    EXPECT_EQ(filesLeft(), 0u) << "the kept bytes went with the transfer";

    // The kept file is gone, or the resume data is not ours: nothing to resume, nothing requested.
    const auto before = server.requests().size();
    for (const std::string& data :
         {DownloadResumeData{server.url(), server.url(), "CFNetworkDownload_gone.tmp", "\"x\""}.encoded(),
          std::string("not a property list")}) {
        auto broken = std::make_shared<RecordingDelegate>();
        const auto transfer = resumed(data, broken);
        EXPECT_EQ(broken->waitForOutcome(), (DownloadOutcome{.errorMessage = "The download could not be resumed."}));
        EXPECT_EQ(transfer->originalUrl().has_value(), data.starts_with("bplist"));
    }
    EXPECT_EQ(server.requests().size(), before);
}

TEST_F(DownloadTransferTests, BehindAProxyTheServersOwnAnswerCounts) {
    test::ConnectProxy proxy;
    const test::ProxyEnvironment environment(proxy.url());
    // A name that is not taken for loopback, so the proxy is used; the proxy tunnels to 127.0.0.1.
    const std::string url =
        "https://localhost." + server.baseUrl().substr(std::string("https://127.0.0.1").size()) + "/pack.gguf";

    // The proxy's own "200 Connection established" is not the answer.
    server.setBehaviour({.status = 404});
    auto missing = std::make_shared<RecordingDelegate>();
    transport.transferWithUrl(url, configuration(), missing)->start();
    EXPECT_EQ(missing->waitForOutcome(), (DownloadOutcome{.httpStatusCode = 404}));
    EXPECT_FALSE(missing->finishedFile.has_value());

    // Nor does it make a resumed transfer start its kept bytes over.
    server.setBehaviour({});
    test::writeTestFile(dir / "transfers" / "CFNetworkDownload_kept1.tmp", server.contents().substr(0, 1000));
    auto resumedThroughProxy = std::make_shared<RecordingDelegate>();
    resumed(DownloadResumeData{url, url, "CFNetworkDownload_kept1.tmp", server.entityTag()}.encoded(),
            resumedThroughProxy);
    EXPECT_EQ(resumedThroughProxy->waitForOutcome().httpStatusCode, 206);
    EXPECT_TRUE(resumedThroughProxy->finishedContents == server.contents());
    EXPECT_EQ(proxy.tunnelCount(), 2u);
}

TEST_F(DownloadTransferTests, AnImplausibleRemainderLeavesTheTotalUnknown) {
    // A range answer whose length runs past what a count can hold; the body then breaks off.
    test::LoopbackHttpServer liar(
        [](const test::TestHttpRequest&, test::ResponseWriter& writer) {
            writer.writeHead(206,
                             {{"ETag", "\"v1\""},
                              {"Content-Range", "bytes 1000-1999/*"},
                              {"Content-Length", std::to_string(std::numeric_limits<int64_t>::max() - 500)}},
                             std::nullopt);
            writer.writeBody("more bytes");
            writer.drop();
        },
        true);
    test::writeTestFile(dir / "transfers" / "CFNetworkDownload_kept1.tmp", std::string(1000, 'x'));
    auto delegate = std::make_shared<RecordingDelegate>();
    auto configuration = this->configuration();
    configuration.caFile = liar.caFile();
    const std::string url = liar.baseUrl() + "/pack.gguf";
    transport
        .transferWithResumeData(DownloadResumeData{url, url, "CFNetworkDownload_kept1.tmp", "\"v1\""}.encoded(),
                                configuration, delegate)
        ->start();
    EXPECT_TRUE(delegate->waitForOutcome().errorMessage.has_value());
    ASSERT_FALSE(delegate->progress.empty());
    EXPECT_EQ(delegate->progress.front(), std::make_pair(int64_t{1000}, int64_t{-1}));
}

TEST_F(DownloadTransferTests, FollowsRedirectsOnlyWhereTheDelegateAgrees) {
    server.setBehaviour({.redirects = {{"/pack.gguf", "/mirror/pack.gguf"}}});
    auto followed = std::make_shared<RecordingDelegate>();
    const auto transfer = fresh(followed);
    EXPECT_EQ(followed->waitForOutcome().httpStatusCode, 200);
    EXPECT_EQ(followed->redirects, std::vector<std::string>{server.url("/mirror/pack.gguf")});
    EXPECT_EQ(transfer->originalUrl(), server.url());
    EXPECT_EQ(transfer->currentUrl(), server.url("/mirror/pack.gguf"));
    EXPECT_TRUE(followed->finishedContents == server.contents());

    auto refused = std::make_shared<RecordingDelegate>();
    refused->followRedirects = false;
    fresh(refused);
    EXPECT_EQ(refused->waitForOutcome(), (DownloadOutcome{.httpStatusCode = 302}));
    EXPECT_FALSE(refused->finishedFile.has_value());
}

TEST_F(DownloadTransferTests, StopsPromptlyAndKeepsWhatCanBeResumed) {
    server.setBehaviour({.stallAt = mebibyte});
    auto cancelled = std::make_shared<RecordingDelegate>();
    const auto transfer = fresh(cancelled);
    ASSERT_TRUE(cancelled->waitForBytes(mebibyte));
    const auto asked = std::chrono::steady_clock::now();
    transfer->cancel();
    EXPECT_EQ(cancelled->waitForOutcome(2s),
              (DownloadOutcome{.httpStatusCode = 200, .errorMessage = "The operation was cancelled."}));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 1500ms);
    EXPECT_EQ(filesLeft(), 0u);

    // Too late to pause: the answer is that there is nothing to resume.
    std::optional<std::optional<std::string>> late;
    transfer->cancelProducingResumeData([&](std::optional<std::string> data) { late = std::move(data); });
    ASSERT_TRUE(late.has_value());
    EXPECT_FALSE(late->has_value());

    // A server that falls silent, or drops the connection: failures that can be resumed.
    auto configuration = this->configuration();
    configuration.requestTimeout = 1s;
    for (const bool drop : {false, true}) {
        server.setBehaviour(drop ? PackFileServer::Behaviour{.dropAt = mebibyte}
                                 : PackFileServer::Behaviour{.stallAt = mebibyte});
        auto failed = std::make_shared<RecordingDelegate>();
        transport.transferWithUrl(server.url(), configuration, failed)->start();
        const auto outcome = failed->waitForOutcome();
        EXPECT_EQ(outcome.errorMessage, drop ? "The network connection was lost." : "The request timed out.");
        ASSERT_TRUE(outcome.resumeData.has_value());
        const auto data = DownloadResumeData::decode(*outcome.resumeData);
        // A reset loses what was still in flight.
        const auto kept = fs::file_size(dir / "transfers" / data->temporaryFileName);
        EXPECT_TRUE(drop ? kept > 0 && kept <= mebibyte : kept == mebibyte) << kept;
        fs::remove(dir / "transfers" / data->temporaryFileName);
    }
}

TEST_F(DownloadTransferTests, SavesResumeDataOfBytesOnDiskAsTheBodyArrives) {
    const uint64_t stall = 2 * mebibyte + 5;
    server.setBehaviour({.stallAt = stall});
    auto delegate = std::make_shared<RecordingDelegate>();
    delegate->folder = dir / "transfers";
    auto configuration = this->configuration();
    configuration.checkpointBytes = mebibyte;
    const auto transfer = transport.transferWithUrl(server.url(), configuration, delegate);
    transfer->start();
    ASSERT_TRUE(delegate->waitForBytes(static_cast<int64_t>(stall)));
    // Once the body starts, then after a mebibyte more, once those bytes are synced to the disk (how
    // many more follow depends on how fast the disk is).
    ASSERT_TRUE(delegate->waitForSaves(2));
    transfer->cancelProducingResumeData([](std::optional<std::string>) {});
    delegate->waitForOutcome();
    const std::vector<int64_t> sizes = delegate->savedSizes;
    EXPECT_EQ(sizes.front(), 0);
    EXPECT_TRUE(std::ranges::is_sorted(sizes));
    EXPECT_GE(sizes[1], int64_t{mebibyte});
    EXPECT_LE(sizes.back(), int64_t{stall});
    // What was saved takes the transfer up again as a pause's resume data would.
    const auto saved = DownloadResumeData::decode(delegate->lastSaved.value_or(""));
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->validator, server.entityTag());
    EXPECT_EQ(saved->originalUrl, server.url());

    server.setBehaviour({});
    auto resumedDelegate = std::make_shared<RecordingDelegate>();
    resumed(*delegate->lastSaved, resumedDelegate);
    EXPECT_EQ(resumedDelegate->waitForOutcome().httpStatusCode, 206);
    EXPECT_EQ(resumedDelegate->finishedSha256, Sha256::hexDigest(server.contents()));
}

TEST_F(DownloadTransferTests, WaitsForAHostThatRefusesConnectionsOnlyWhenAsked) {
    PackFileServer down(sampleContents(), true);
    auto configuration = this->configuration();
    configuration.caFile = down.caFile();

    auto impatient = std::make_shared<RecordingDelegate>();
    transport.transferWithUrl(down.url(), configuration, impatient)->start();
    EXPECT_EQ(impatient->waitForOutcome().errorMessage, "Could not connect to the server.");
    EXPECT_EQ(impatient->waits, 0);

    // Told once while it tries again, then it goes on by itself once the host answers.
    configuration.waitsForConnectivity = true;
    auto patient = std::make_shared<RecordingDelegate>();
    transport.transferWithUrl(down.url(), configuration, patient)->start();
    ASSERT_TRUE(patient->waitForAWait());
    down.open();
    const auto outcome = patient->waitForOutcome(20s);
    EXPECT_EQ(outcome.httpStatusCode, 200);
    EXPECT_EQ(patient->waits, 1);
    EXPECT_EQ(patient->finishedSha256, Sha256::hexDigest(down.contents()));

    // Paused while waiting, before any byte: nothing to resume, and it stops at once.
    PackFileServer stillDown(sampleContents(), true);
    configuration.caFile = stillDown.caFile();
    auto paused = std::make_shared<RecordingDelegate>();
    const auto transfer = transport.transferWithUrl(stillDown.url(), configuration, paused);
    transfer->start();
    ASSERT_TRUE(paused->waitForAWait());
    std::optional<std::optional<std::string>> answer;
    transfer->cancelProducingResumeData([&](std::optional<std::string> data) { answer = std::move(data); });
    EXPECT_EQ(paused->waitForOutcome(2s).errorMessage, "The operation was cancelled.");
    ASSERT_TRUE(answer.has_value());
    EXPECT_FALSE(answer->has_value());
    EXPECT_EQ(stillDown.requests().size(), 0u);
}

}  // namespace
}  // namespace nudgerly
