#include <algorithm>
#include <chrono>
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

TEST(KilledSavesTests, AHundredKillsDuringSavesLeaveNoTemporaryFileOnceStartedAgain) {
    test::TempDir root;
    {
        // What an earlier run left: each stored file once.
        const AppEnvironment earlier = AppEnvironment::underRoot(root.path());
        SnapshotStore::save({}, earlier.dataDirectory / "messages-snapshot.json");
        SnapshotStore::save({}, earlier.dataDirectory / "gmail-snapshot.json");
        earlier.settings->setStringArray(AppStateSettings::completedItems, {"completion-v1:earlier"});
        earlier.secrets.save(R"({"access_token": "earlier"})", "gmail-oauth-tokens");
    }
    std::mt19937 random(35);
    std::uniform_int_distribution<int> moment(0, 30000);
    // Temporary files older than a few seconds go at the next start, so each kill is judged at once.
    int cutShort = 0;
    for (int kill = 0; kill < 100; ++kill) {
        fs::remove(root / "writing");
        const std::vector<fs::path> before = temporaryFilesBelow(root.path());
        const auto writer = startWriter(root.path());
        // Once its saves are under way (a temporary file of one is seen), killed at a random moment.
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!fs::exists(root / "writing") || !hasNewTemporaryFile(root.path(), before)) {
            ASSERT_TRUE(writer->isRunning()) << "the writer ended by itself";
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the writer never began a save";
            std::this_thread::sleep_for(1ms);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        writer->kill();
        ASSERT_TRUE(writer->waitForExit(10s));
        cutShort += hasNewTemporaryFile(root.path(), before);
    }
    ASSERT_GT(cutShort, 0) << "no kill came during a save";
    std::cout << cutShort << " of 100 kills came during a save\n";
    const std::vector<fs::path> left = temporaryFilesBelow(root.path());

    // Atomic writes held: every stored file is whole.
    const AppEnvironment environment = AppEnvironment::underRoot(root.path());
    EXPECT_TRUE(SnapshotStore::load(environment.dataDirectory / "messages-snapshot.json"));
    EXPECT_TRUE(SnapshotStore::load(environment.dataDirectory / "gmail-snapshot.json"));
    EXPECT_EQ(environment.settings->loadProblem(), std::nullopt);
    EXPECT_TRUE(environment.settings->stringArray(AppStateSettings::completedItems));
    const auto tokens = environment.secrets.load("gmail-oauth-tokens");
    ASSERT_TRUE(tokens);
    EXPECT_NO_THROW(parseJson(*tokens));

    // Started again once the last of them is as old as a dead writer's, the program leaves none.
    fs::file_time_type newest = fs::file_time_type::min();
    for (const fs::path& file : left) {
        std::error_code gone;  // the start above may have swept it already
        newest = std::max(newest, fs::last_write_time(file, gone));
    }
    std::this_thread::sleep_until(newest + staleTemporaryAge + 100ms);
    const auto start = startWriter(root.path(), {"--start"});
    ASSERT_TRUE(start->waitForExit(30s));
    EXPECT_EQ(start->waitStatus(), 0);
    EXPECT_EQ(temporaryFilesBelow(root.path()), std::vector<fs::path>{});
}

}  // namespace
}  // namespace nudgerly
