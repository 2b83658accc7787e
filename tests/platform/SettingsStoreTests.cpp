#include <limits>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/Files.h"
#include "platform/FileSettingsStore.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

TEST(SettingsCoercionTests, TypedReadersCoerceLikeTheUserDefaults) {
    InMemorySettingsStore store({{"int", 42}, {"real", -3.9}, {"flag", true}, {"text", " +12x"}, {"word", "YES"},
                                 {"zeros", "000"}, {"huge", 1e30}, {"mixed", json::array({"a", 1})}});
    EXPECT_EQ(store.string("int"), "42");
    EXPECT_EQ(store.string("flag"), std::nullopt);
    EXPECT_EQ(store.integer("real"), -3);
    EXPECT_EQ(store.integer("text"), 12);
    EXPECT_EQ(store.integer("word"), 0);
    EXPECT_EQ(store.integer("huge"), std::numeric_limits<int64_t>::max());
    EXPECT_TRUE(store.boolean("word"));
    EXPECT_FALSE(store.boolean("zeros"));
    EXPECT_EQ(store.doubleValue("flag"), 1);
    EXPECT_EQ(store.stringArray("mixed"), std::nullopt);

    const std::string bytes("\x00\xff token", 8);
    store.setData("blob", bytes);
    EXPECT_EQ(store.data("blob"), bytes);
    EXPECT_EQ(store.data("int"), std::nullopt);
}

TEST(FileSettingsStoreTests, KeepsValuesAcrossInstancesInPrivateFiles) {
    test::TempDir dir;
    const fs::path file = dir / "config" / "Nudgerly" / "settings.json";
    {
        FileSettingsStore store(file);
        store.setInteger("lookback-days-gmail", 30);
        store.setData("token", "\x01\x02");
        store.setBool("contacts-only", true);
        store.remove("contacts-only");
    }
    EXPECT_EQ(test::fileMode(file.parent_path()), 0700u);
    EXPECT_EQ(test::fileMode(file), 0600u);
    FileSettingsStore reopened(file);
    EXPECT_EQ(reopened.integer("lookback-days-gmail"), 30);
    EXPECT_EQ(reopened.data("token"), "\x01\x02");
    EXPECT_EQ(reopened.value("contacts-only"), std::nullopt);
}

TEST(FileSettingsStoreTests, SetsADamagedFileAsideAndStartsEmpty) {
    for (const std::string damaged : {"not json {", "[1, 2]", ""}) {
        test::TempDir dir;
        test::writeTestFile(dir / "settings.json", damaged);
        FileSettingsStore store(dir / "settings.json");
        EXPECT_EQ(store.value("queue-sort"), std::nullopt);
        store.setString("queue-sort", "oldest");

        std::vector<fs::path> aside;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            if (entry.path().filename().string().starts_with("settings.json.corrupt-")) {
                aside.push_back(entry.path());
            }
        }
        ASSERT_EQ(aside.size(), 1u) << damaged;
        EXPECT_EQ(readFile(aside.front()), damaged);
        EXPECT_EQ(FileSettingsStore(dir / "settings.json").string("queue-sort"), "oldest");
    }
}

TEST(FileSettingsStoreTests, ChangesFromManyThreadsAllReachTheFile) {
    test::TempDir dir;
    FileSettingsStore store(dir / "settings.json");
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&store, t] {
            for (int i = 0; i < 20; ++i) {
                store.setInteger("key-" + std::to_string(t * 20 + i), i);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    FileSettingsStore reopened(dir / "settings.json");
    for (int k = 0; k < 160; ++k) {
        EXPECT_EQ(reopened.integer("key-" + std::to_string(k)), k % 20) << k;
    }
}

}  // namespace
}  // namespace nudgerly
