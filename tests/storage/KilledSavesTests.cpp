#include <algorithm>
#include <array>
#include <chrono>
#include <future>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/Files.h"
#include "core/JsonCoding.h"
#include "files/TempDir.h"
#include "platform/system/ChildProcess.h"
#include "state/AppStateSettings.h"
#include "storage/AppEnvironment.h"
#include "storage/AppFiles.h"
#include "storage/SnapshotStore.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Every file below `root` named as the atomic writer names its temporary files.
std::vector<fs::path> temporaryFilesBelow(const fs::path& root) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().filename().string().find(".tmp-") != std::string::npos) {
            found.push_back(entry.path());
        }
    }
    return found;
}

// Whether a temporary file below `root` is not among `known`.
bool hasNewTemporaryFile(const fs::path& root, const std::vector<fs::path>& known) {
    return std::ranges::any_of(temporaryFilesBelow(root),
                               [&](const fs::path& file) { return std::ranges::find(known, file) == known.end(); });
}

std::shared_ptr<ChildProcess> startWriter(const fs::path& root, std::vector<std::string> arguments = {}) {
    arguments.insert(arguments.begin(), root.string());
    return ChildProcess::launch(NUDGERLY_STORED_FILES_WRITER, arguments, {.dieWithParent = true});
}

// What an earlier run left below `root`: each stored file once.
void writeEarlierFiles(const fs::path& root) {
    const AppEnvironment earlier = AppEnvironment::underRoot(root);
    SnapshotStore::save({}, earlier.dataDirectory / "messages-snapshot.json");
    SnapshotStore::save({}, earlier.dataDirectory / "gmail-snapshot.json");
    earlier.settings->setStringArray(AppStateSettings::completedItems, {"completion-v1:earlier"});
    earlier.secrets.save(R"({"access_token": "earlier"})", "gmail-oauth-tokens");
}

// Starts a writer on `root` `kills` times and kills it at a random moment once its saves are under
// way (a temporary file of one is seen). Returns how many kills cut a save short, each judged at
// once: temporary files older than a few seconds go at the next start.
int killDuringSaves(const fs::path& root, unsigned seed, int kills) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> moment(0, 30000);
    int cutShort = 0;
    // Most of a save is encoding, before its temporary file exists: a loaded machine can land every
    // one of the first kills between saves, so kills go on (up to four times as many) until one cuts a
    // save short.
    for (int kill = 0; kill < kills || (cutShort == 0 && kill < 4 * kills); ++kill) {
        fs::remove(root / "writing");
        const std::vector<fs::path> before = temporaryFilesBelow(root);
        const auto writer = startWriter(root);
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!fs::exists(root / "writing") || !hasNewTemporaryFile(root, before)) {
            if (!writer->isRunning()) {
                ADD_FAILURE() << "the writer ended by itself";
                return cutShort;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "the writer never began a save";
                return cutShort;
            }
            std::this_thread::sleep_for(1ms);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        writer->kill();
        EXPECT_TRUE(writer->waitForExit(10s));
        cutShort += hasNewTemporaryFile(root, before);
    }
    return cutShort;
}

// Every stored file below `root` is whole, and once the temporary files the kills left are as old as
// a dead writer's, a start leaves none. They are made that old rather than waited for.
void expectWholeFilesAndNoTemporaryFileAfterAStart(const fs::path& root) {
    const std::vector<fs::path> left = temporaryFilesBelow(root);
    const AppEnvironment environment = AppEnvironment::underRoot(root);
    EXPECT_TRUE(SnapshotStore::load(environment.dataDirectory / "messages-snapshot.json"));
    EXPECT_TRUE(SnapshotStore::load(environment.dataDirectory / "gmail-snapshot.json"));
    EXPECT_EQ(environment.settings->loadProblem(), std::nullopt);
    EXPECT_TRUE(environment.settings->stringArray(AppStateSettings::completedItems));
    const auto tokens = environment.secrets.load("gmail-oauth-tokens");
    ASSERT_TRUE(tokens);
    EXPECT_NO_THROW(parseJson(*tokens));

    const auto longAgo = fs::file_time_type::clock::now() - staleTemporaryAge - 1s;
    for (const fs::path& file : left) {
        std::error_code gone;  // the start above may have swept it already
        fs::last_write_time(file, longAgo, gone);
    }
    const auto start = startWriter(root, {"--start"});
    ASSERT_TRUE(start->waitForExit(30s));
    EXPECT_EQ(start->waitStatus(), 0);
    EXPECT_EQ(temporaryFilesBelow(root), std::vector<fs::path>{});
}

// A hundred and twelve kills in four parts, each a test of its own, so that none runs long on a loaded
// machine; each part's four folders of seven kills each go side by side, as a writer's start, slow
// under the sanitizers, is most of the time a kill takes.
constexpr int killParts = 4;
constexpr int killFolders = 4;
constexpr int killsPerFolder = 7;

class KilledSavesTest : public testing::TestWithParam<int> {};

TEST_P(KilledSavesTest, KillsDuringSavesLeaveNoTemporaryFileOnceStartedAgain) {
    std::array<test::TempDir, killFolders> roots;
    std::vector<std::future<int>> lanes;
    for (int i = 0; i < killFolders; ++i) {
        writeEarlierFiles(roots[i].path());
        const auto seed = static_cast<unsigned>(35 + GetParam() * killFolders + i);
        lanes.push_back(std::async(std::launch::async, killDuringSaves, roots[i].path(), seed, killsPerFolder));
    }
    int cutShort = 0;
    for (auto& lane : lanes) {
        cutShort += lane.get();
    }
    ASSERT_GT(cutShort, 0) << "no kill came during a save";
    std::cout << cutShort << " kills came during a save\n";
    for (const test::TempDir& root : roots) {
        expectWholeFilesAndNoTemporaryFileAfterAStart(root.path());
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, KilledSavesTest, testing::Range(0, killParts));

}  // namespace
}  // namespace nudgerly
