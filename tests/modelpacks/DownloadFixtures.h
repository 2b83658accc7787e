#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "core/BackgroundExecutor.h"
#include "core/FileSystemError.h"
#include "core/MainQueue.h"
#include "core/Sha256.h"
#include "files/TempDir.h"
#include "modelpacks/ModelDownloadManager.h"
#include "platform/net/DownloadResumeData.h"
#include "queues/ManualBackgroundExecutor.h"
#include "queues/ManualMainQueue.h"

namespace nudgerly::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using State = ModelDownloadState;
using Kind = ModelDownloadState::Kind;

// A transfer the test drives by hand; its delegate calls happen on the test's thread.
class FakeTransfer : public DownloadTransfer {
public:
    FakeTransfer(std::optional<std::string> url, std::optional<std::string> resumeData,
                 DownloadConfiguration configuration, std::shared_ptr<DownloadTransferDelegate> delegate)
        : url(std::move(url)),
          resumeData(std::move(resumeData)),
          configuration(std::move(configuration)),
          delegate(std::move(delegate)) {}

    std::optional<std::string> originalUrl() const override { return url; }
    std::optional<std::string> currentUrl() const override { return url; }
    void start() override {
        if (failsToStart) {
            throw std::system_error(EAGAIN, std::generic_category());  // no thread could be made
        }
        started = true;
    }
    void cancel() override { cancelled = true; }
    void cancelProducingResumeData(std::function<void(std::optional<std::string>)> done) override {
        pauseAnswer = std::move(done);
    }

    void progress(int64_t received, int64_t total) { delegate->transferDidWriteData(received, total); }
    // The body arrived whole: staged by the delegate, then the end.
    void finish(const std::string& contents) {
        stage(contents);
        delegate->transferDidComplete({.httpStatusCode = 200});
    }
    void stage(const std::string& contents) {
        writeTestFile(temporaryFile(), contents);
        stageFile(Sha256::hexDigest(contents));
    }
    std::filesystem::path temporaryFile() const {
        return configuration.temporaryDirectory / "CFNetworkDownload_fake.tmp";
    }
    // The file at temporaryFile(), whose bytes had `sha256` as they arrived.
    void stageFile(const std::string& sha256) {
        delegate->transferDidFinishDownloading(temporaryFile(), sha256);
        std::filesystem::remove(temporaryFile());
    }
    void saveResumeData(const std::string& data) { delegate->transferDidSaveResumeData(data); }
    void waitForConnectivity() { delegate->transferIsWaitingForConnectivity(); }
    void complete(DownloadOutcome outcome) { delegate->transferDidComplete(outcome); }

    const std::optional<std::string> url;
    const std::optional<std::string> resumeData;
    const DownloadConfiguration configuration;
    const std::shared_ptr<DownloadTransferDelegate> delegate;
    bool failsToStart = false;
    bool started = false;
    bool cancelled = false;
    std::function<void(std::optional<std::string>)> pauseAnswer;
};

class FakeTransport : public DownloadTransport {
public:
    std::shared_ptr<DownloadTransfer> transferWithUrl(const std::string& url,
                                                      const DownloadConfiguration& configuration,
                                                      std::shared_ptr<DownloadTransferDelegate> delegate) override {
        made.emplace_back(std::make_shared<FakeTransfer>(url, std::nullopt, configuration, std::move(delegate)));
        made.back()->failsToStart = failStarts;
        return made.back();
    }
    std::shared_ptr<DownloadTransfer> transferWithResumeData(
        const std::string& data, const DownloadConfiguration& configuration,
        std::shared_ptr<DownloadTransferDelegate> delegate) override {
        const auto decoded = DownloadResumeData::decode(data);
        return made.emplace_back(std::make_shared<FakeTransfer>(
            decoded ? std::optional(decoded->originalUrl) : std::nullopt, data, configuration, std::move(delegate)));
    }
    // Throws when none was made, so that a download that never started fails its test instead of
    // crashing the whole program (as it did once on a full disk).
    FakeTransfer& last() {
        if (made.empty()) {
            throw std::logic_error("no transfer was made");
        }
        return *made.back();
    }

    bool failStarts = false;

    std::vector<std::shared_ptr<FakeTransfer>> made;
};

// The real disk, with as much free space as the test says and a removal, move, read or write that can
// be made to fail.
class TestFileManager : public SystemFileManager {
public:
    std::optional<int64_t> availableCapacity(const std::filesystem::path&) const override { return available; }
    void removeItem(const std::filesystem::path& path) const override {
        if (path == failRemoving) {
            throw FileSystemError("Couldn't remove \u201C" + path.filename().string() + "\u201D", EACCES);
        }
        SystemFileManager::removeItem(path);
    }
    void moveItem(const std::filesystem::path& source, const std::filesystem::path& destination) const override {
        if (failMoving) {
            throw FileSystemError("Couldn't move \u201C" + source.filename().string() + "\u201D", ENOSPC);
        }
        SystemFileManager::moveItem(source, destination);
    }

    std::string contents(const std::filesystem::path& path,
                         std::size_t maxBytes = std::numeric_limits<std::size_t>::max()) const override {
        if (path == failReading) {
            throw FileSystemError("Couldn't read \u201C" + path.filename().string() + "\u201D", EIO);
        }
        return SystemFileManager::contents(path, maxBytes);
    }
    // Files opened for reading, from any thread: the hashing.
    UniqueFd openForReading(const std::filesystem::path& path) const override {
        {
            std::lock_guard lock(openedMutex_);
            opened_.push_back(path);
        }
        return SystemFileManager::openForReading(path);
    }
    std::vector<std::filesystem::path> opened() const {
        std::lock_guard lock(openedMutex_);
        return opened_;
    }
    void writeAtomically(const std::filesystem::path& path, std::string_view bytes) const override {
        if (failWriting) {
            throw FileSystemError("Couldn't save \u201C" + path.filename().string() + "\u201D", ENOSPC);
        }
        SystemFileManager::writeAtomically(path, bytes);
    }

    std::optional<int64_t> available = std::numeric_limits<int64_t>::max();
    std::filesystem::path failRemoving;
    std::filesystem::path failReading;
    bool failMoving = false;
    bool failWriting = false;

private:
    mutable std::mutex openedMutex_;
    mutable std::vector<std::filesystem::path> opened_;
};

// A made-up pack for exactly these bytes.
inline ModelPack packFor(const std::string& contents,
                         const std::string& url = "https://models.example/test/model.gguf") {
    ModelPack pack = ModelPack::nudgerlyDefault();
    pack.identifier = "test-pack";
    pack.filename = "model.gguf";
    pack.sourceURL = url;
    pack.byteCount = static_cast<int64_t>(contents.size());
    pack.sha256 = Sha256::hexDigest(contents);
    return pack;
}

// A manager on a manual main queue, with every published state recorded. Members are destroyed in
// reverse: the manager first (its workers end with it), then the files and the queue.
class DownloadManagerTest : public ::testing::Test {
protected:
    void TearDown() override {
        manager.reset();
        queue.drain();
    }

    // With `heldHashing` the downloaded file is hashed only when `settle` runs, so the state between a
    // download's end and its check is certain rather than a race with the worker.
    ModelDownloadManager& make(const ModelPack& pack, DownloadConfiguration configuration = {},
                               std::shared_ptr<DownloadTransport> with = nullptr, bool heldHashing = false) {
        manager.reset();
        published.clear();
        hashing = heldHashing ? std::make_shared<ManualBackgroundExecutor>() : nullptr;
        manager = std::make_unique<ModelDownloadManager>(ModelDownloadManager::Dependencies{
            .mainQueue = queue,
            .pack = pack,
            .rootDirectory = dir.path(),
            .configuration = std::move(configuration),
            .fileManager = files,
            .transport = with ? with : transport,
            .executor = hashing,
        });
        manager->observe([this](const ModelDownloadState& state) { published.push_back(state); });
        return *manager;
    }
    bool settle(ModelDownloadState::Kind kind) {
        return queue.runUntil(
            [&] {
                if (hashing) {
                    hashing->runAll();
                }
                return manager->state().kind == kind;
            },
            std::chrono::seconds(10));
    }
    // Resume data in the transfer layer's form.
    std::string resumeData(const std::string& name, const std::string& url = "https://models.example/test/model.gguf") {
        return DownloadResumeData{url, url, name, "\"v1\""}.encoded();
    }

    ManualMainQueue queue;
    TempDir dir;
    std::shared_ptr<TestFileManager> files = std::make_shared<TestFileManager>();
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
    std::shared_ptr<ManualBackgroundExecutor> hashing;
    std::unique_ptr<ModelDownloadManager> manager;
    std::vector<ModelDownloadState> published;
};

}  // namespace nudgerly::test

namespace nudgerly {
inline void PrintTo(const ModelDownloadState& state, std::ostream* out) {
    *out << "state " << static_cast<int>(state.kind) << " (" << state.receivedBytes << "/" << state.totalBytes << ") "
         << state.message;
}
}  // namespace nudgerly
