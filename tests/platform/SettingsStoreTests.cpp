#include <filesystem>
#include <limits>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/Files.h"
#include "platform/FileSettingsStore.h"
#include "platform/SettingsStore.h"
#include "support/TestEnvironment.h"
#include "support/TempDir.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

mode_t modeOf(const fs::path& path) {
    struct stat info{};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

std::vector<fs::path> entriesOf(const fs::path& folder) {
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(folder)) {
        entries.push_back(entry.path().filename());
    }
    return entries;
}

TEST(SettingsCoercionTests, StringsAcceptNumbersOnly) {
    InMemorySettingsStore store({{"text", "hi"}, {"int", 42}, {"real", 1.5}, {"flag", true}, {"list", json::array()}});
    EXPECT_EQ(store.string("text"), "hi");
    EXPECT_EQ(store.string("int"), "42");
    EXPECT_EQ(store.string("real"), "1.5");
    EXPECT_EQ(store.string("flag"), std::nullopt);
    EXPECT_EQ(store.string("list"), std::nullopt);
    EXPECT_EQ(store.string("missing"), std::nullopt);
}

TEST(SettingsCoercionTests, IntegersTruncateParseAndClamp) {
    InMemorySettingsStore store({{"real", -3.9},
                                 {"flag", true},
                                 {"text", " +12 days"},
                                 {"word", "twelve"},
                                 {"huge", "99999999999999999999"},
                                 {"hugeReal", 1e30},
                                 {"hugeUnsigned", std::numeric_limits<uint64_t>::max()}});
    EXPECT_EQ(store.integer("real"), -3);
    EXPECT_EQ(store.integer("flag"), 1);
    EXPECT_EQ(store.integer("text"), 12);
    EXPECT_EQ(store.integer("word"), 0);
    EXPECT_EQ(store.integer("huge"), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(store.integer("hugeReal"), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(store.integer("hugeUnsigned"), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(store.integer("missing"), 0);
}

TEST(SettingsCoercionTests, BooleansReadNumbersAndWordsByTheirFirstCharacter) {
    InMemorySettingsStore store({{"yes", "YES"},
                                 {"true", "true"},
                                 {"no", "no"},
                                 {"zeros", "000"},
                                 {"padded", "  007"},
                                 {"negative", "-1"},
                                 {"half", 0.5},
                                 {"zero", 0},
                                 {"list", json::array({true})}});
    EXPECT_TRUE(store.boolean("yes"));
    EXPECT_TRUE(store.boolean("true"));
    EXPECT_FALSE(store.boolean("no"));
    EXPECT_FALSE(store.boolean("zeros"));
    EXPECT_TRUE(store.boolean("padded"));
    EXPECT_TRUE(store.boolean("negative"));
    EXPECT_TRUE(store.boolean("half"));
    EXPECT_FALSE(store.boolean("zero"));
    EXPECT_FALSE(store.boolean("list"));
    EXPECT_FALSE(store.boolean("missing"));
}

TEST(SettingsCoercionTests, DoublesArraysAndData) {
    InMemorySettingsStore store({{"text", "2.5kg"},
                                 {"flag", true},
                                 {"word", "x"},
                                 {"mixed", json::array({"a", 1})},
                                 {"fake", json{{"$data", "!!"}, {"other", 1}}}});
    EXPECT_EQ(store.doubleValue("text"), 2.5);
    EXPECT_EQ(store.doubleValue("flag"), 1);
    EXPECT_EQ(store.doubleValue("word"), 0);
    EXPECT_EQ(store.stringArray("mixed"), std::nullopt);
    EXPECT_EQ(store.data("fake"), std::nullopt);

    const std::string bytes("\x00\xff token", 8);
    store.setData("blob", bytes);
    store.setStringArray("list", {"a", "b"});
    EXPECT_EQ(store.data("blob"), bytes);
    EXPECT_EQ(store.stringArray("list"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(store.data("list"), std::nullopt);
    store.remove("blob");
    EXPECT_EQ(store.value("blob"), std::nullopt);
}

TEST(FileSettingsStoreTests, KeepsValuesAcrossInstancesInPrivateFiles) {
    testing::TempDir dir;
    const fs::path file = dir / "config" / "Nudgerly" / "settings.json";
    {
        FileSettingsStore store(file);
        EXPECT_EQ(store.value("lookback-days-gmail"), std::nullopt);
        store.setInteger("lookback-days-gmail", 30);
        store.setString("queue-sort", "newest");
        store.setData("token", "\x01\x02");
        store.setBool("contacts-only", true);
        store.remove("contacts-only");
    }
    EXPECT_EQ(modeOf(file.parent_path()), 0700u);
    EXPECT_EQ(modeOf(file), 0600u);
    FileSettingsStore reopened(file);
    EXPECT_EQ(reopened.integer("lookback-days-gmail"), 30);
    EXPECT_EQ(reopened.string("queue-sort"), "newest");
    EXPECT_EQ(reopened.data("token"), "\x01\x02");
    EXPECT_EQ(reopened.value("contacts-only"), std::nullopt);
}

TEST(FileSettingsStoreTests, SetsADamagedFileAsideAndStartsEmpty) {
    for (const std::string damaged : {"not json {", "[1, 2]", ""}) {
        testing::TempDir dir;
        const fs::path file = dir / "settings.json";
        testing::writeTestFile(file, damaged);

        FileSettingsStore store(file);
        EXPECT_EQ(store.value("queue-sort"), std::nullopt);
        store.setString("queue-sort", "oldest");

        const auto entries = entriesOf(dir.path());
        ASSERT_EQ(entries.size(), 2u) << damaged;
        const fs::path aside = entries[0] == "settings.json" ? entries[1] : entries[0];
        EXPECT_TRUE(aside.string().starts_with("settings.json.corrupt-")) << aside;
        EXPECT_EQ(readFile(dir / aside), damaged);
        EXPECT_EQ(FileSettingsStore(file).string("queue-sort"), "oldest");
    }
}

TEST(FileSettingsStoreTests, AFailedWriteKeepsTheFileAndTheValueInMemory) {
    testing::TempDir dir;
    const fs::path file = dir / "settings.json";
    FileSettingsStore store(file);
    store.setString("queue-sort", "type");
    {
        testing::FileSizeLimit limit(64);
        store.setString("completed-items", std::string(4096, 'k'));
    }
    EXPECT_EQ(store.string("completed-items")->size(), 4096u);
    EXPECT_EQ(FileSettingsStore(file).value("completed-items"), std::nullopt);
    EXPECT_EQ(FileSettingsStore(file).string("queue-sort"), "type");
    // The next change writes everything, the value that failed before included.
    store.setBool("contacts-only", true);
    EXPECT_EQ(FileSettingsStore(file).string("completed-items")->size(), 4096u);
}

TEST(FileSettingsStoreTests, ChangesFromManyThreadsAllReachTheFile) {
    testing::TempDir dir;
    const fs::path file = dir / "settings.json";
    FileSettingsStore store(file);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&store, t] {
            for (int i = 0; i < 20; ++i) {
                store.setInteger("key-" + std::to_string(t) + "-" + std::to_string(i), i);
                (void)store.integer("key-0-0");
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    FileSettingsStore reopened(file);
    for (int t = 0; t < 8; ++t) {
        for (int i = 0; i < 20; ++i) {
            EXPECT_EQ(reopened.integer("key-" + std::to_string(t) + "-" + std::to_string(i)), i);
        }
    }
}

}  // namespace
}  // namespace nudgerly
