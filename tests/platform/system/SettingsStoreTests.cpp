#include <limits>
#include <optional>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include "core/Files.h"
#include "files/TempDir.h"
#include "platform/system/FileSettingsStore.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

TEST(SettingsCoercionTests, TypedReadersCoerceLikeTheUserDefaults) {
    InMemorySettingsStore store({{"int", 42},
                                 {"real", -3.9},
                                 {"flag", true},
                                 {"text", " +12x"},
                                 {"word", "YES"},
                                 {"zeros", "000"},
                                 {"huge", 1e30},
                                 {"mixed", json::array({"a", 1})}});
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
    // Nesting this deep would overflow the stack at the first write, when the values are written out.
    const std::string deep = R"({"a": )" + std::string(100'000, '[') + std::string(100'000, ']') + "}";
    for (const std::string& damaged : {std::string("not json {"), std::string("[1, 2]"), std::string(), deep}) {
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
        ASSERT_EQ(aside.size(), 1u) << damaged.substr(0, 20);
        EXPECT_EQ(readFile(aside.front()), damaged);
        EXPECT_EQ(store.loadProblem(),
                  "Nudgerly's settings file was damaged, so it was kept aside as \u201C" + aside.front().string() +
                      "\u201D and the settings, the items marked done among them, start again from their defaults.");
        const FileSettingsStore reopened(dir / "settings.json");
        EXPECT_EQ(reopened.string("queue-sort"), "oldest");
        EXPECT_EQ(reopened.loadProblem(), std::nullopt);
    }
}

std::vector<std::string> entryNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

TEST(FileSettingsStoreTests, AFileFarLargerThanSettingsEverAreIsSetAsideUnread) {
    test::TempDir dir;
    test::makeSparseFile(dir / "settings.json", 1ULL << 30);
    const uint64_t before = test::bytesReadByThisProcess();
    FileSettingsStore store(dir / "settings.json");
    EXPECT_LT(test::bytesReadByThisProcess() - before, 64u * 1024);
    ASSERT_TRUE(store.loadProblem());
    EXPECT_NE(store.loadProblem()->find("was damaged, so it was kept aside"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "settings.json"));
}

TEST(FileSettingsStoreTests, ASettingsFileLinkedToTheUsersOwnFileIsReadAndWrittenWhereItIs) {
    test::TempDir dir;
    const fs::path config = dir / "config";
    const fs::path dotfiles = dir / "dotfiles";
    test::writeTestFile(dotfiles / "nudgerly.json", R"({"queue-sort": "oldest"})");
    fs::permissions(dotfiles, fs::perms::owner_all);
    fs::permissions(dotfiles / "nudgerly.json", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_directories(config);
    fs::create_symlink(dotfiles / "nudgerly.json", config / "settings.json");
    {
        FileSettingsStore store(config / "settings.json");
        EXPECT_EQ(store.loadProblem(), std::nullopt);
        EXPECT_EQ(store.string("queue-sort"), "oldest");
        store.setInteger("lookback-days-gmail", 30);
    }
    // Written beside the file the link names, which stays a link; nothing is left over on either side.
    EXPECT_TRUE(fs::is_symlink(config / "settings.json"));
    EXPECT_EQ(entryNames(config), std::vector<std::string>{"settings.json"});
    EXPECT_EQ(entryNames(dotfiles), std::vector<std::string>{"nudgerly.json"});
    EXPECT_EQ(FileSettingsStore(dotfiles / "nudgerly.json").integer("lookback-days-gmail"), 30);

    // A damaged one is set aside there too, and the settings written afresh at the link's target.
    test::writeTestFile(dotfiles / "nudgerly.json", "not json {");
    FileSettingsStore damaged(config / "settings.json");
    ASSERT_TRUE(damaged.loadProblem());
    EXPECT_NE(damaged.loadProblem()->find(fs::canonical(dotfiles).string() + "/nudgerly.json.corrupt-"),
              std::string::npos);
    damaged.setString("queue-sort", "newest");
    EXPECT_TRUE(fs::is_symlink(config / "settings.json"));
    EXPECT_EQ(FileSettingsStore(config / "settings.json").string("queue-sort"), "newest");

    // A file that others may change is no file of the user's own: refused, and the link left alone.
    fs::permissions(dotfiles / "nudgerly.json", fs::perms::others_write, fs::perm_options::add);
    FileSettingsStore shared(config / "settings.json");
    EXPECT_EQ(shared.loadProblem(), "Couldn't read \u201Csettings.json\u201D: The item is a symbolic link.");
    shared.setString("queue-sort", "oldest");
    EXPECT_TRUE(fs::is_symlink(config / "settings.json"));
    EXPECT_EQ(FileSettingsStore(dotfiles / "nudgerly.json").string("queue-sort"), "newest");
}

// Lowers the limit of open files to those open now, so that the next open fails with EMFILE.
class NoFreeDescriptors {
public:
    NoFreeDescriptors() {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ::close(lowestFree);
        rlimit lowered = saved_;
        lowered.rlim_cur = static_cast<rlim_t>(lowestFree);
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~NoFreeDescriptors() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
    NoFreeDescriptors(const NoFreeDescriptors&) = delete;
    NoFreeDescriptors& operator=(const NoFreeDescriptors&) = delete;

private:
    rlimit saved_{};
};

TEST(FileSettingsStoreTests, AFileThatCannotBeReadIsKeptAndTakenUpOnceItReads) {
    test::TempDir dir;
    const fs::path file = dir / "settings.json";
    test::writeTestFile(file, R"({"queue-sort": "oldest", "lookback-days-gmail": 30})");
    std::optional<FileSettingsStore> store;
    {
        // The sanitizer's type check needs a descriptor the first time it meets these classes: a
        // store over a file that does not read (a folder in its place) meets them all.
        test::TempDir warmUp;
        fs::create_directory(warmUp / "settings.json");
        const FileSettingsStore first(warmUp / "settings.json");
        const NoFreeDescriptors exhausted;
        store.emplace(file);
    }
    EXPECT_EQ(store->value("queue-sort"), std::nullopt);  // defaults meanwhile
    EXPECT_EQ(store->loadProblem(), "Couldn't read \u201Csettings.json\u201D: Too many files are open.");
    EXPECT_EQ(entryNames(dir.path()), std::vector<std::string>{"settings.json"});

    // The next change finds the file readable: its values come back under the change.
    store->setInteger("lookback-days-gmail", 7);
    EXPECT_EQ(store->string("queue-sort"), "oldest");
    FileSettingsStore reopened(file);
    EXPECT_EQ(reopened.string("queue-sort"), "oldest");
    EXPECT_EQ(reopened.integer("lookback-days-gmail"), 7);

    // A file that never reads (here a folder in its place) is neither moved nor replaced; changes
    // stay in memory.
    test::TempDir other;
    fs::create_directory(other / "settings.json");
    FileSettingsStore blocked(other / "settings.json");
    blocked.setString("queue-sort", "newest");
    blocked.remove("lookback-days-gmail");
    EXPECT_EQ(blocked.string("queue-sort"), "newest");
    EXPECT_TRUE(fs::is_directory(other / "settings.json"));
    EXPECT_EQ(entryNames(other.path()), std::vector<std::string>{"settings.json"});
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
