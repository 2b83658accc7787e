#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/FileSystemError.h"
#include "platform/SecretStore.h"
#include "support/TestEnvironment.h"
#include "support/TempDir.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;

mode_t modeOf(const fs::path& path) {
    struct stat info{};
    ::lstat(path.c_str(), &info);
    return info.st_mode & 07777;
}

TEST(SecretStoreTests, SaveReplacesLoadReadsRemoveForgets) {
    testing::TempDir dir;
    const SecretStore store(dir / "secrets", "com.nudgerly.local");
    EXPECT_EQ(store.load("gmail-oauth-tokens"), std::nullopt);
    store.save("first", "gmail-oauth-tokens");
    store.save(std::string("second\0bytes", 12), "gmail-oauth-tokens");
    EXPECT_EQ(store.load("gmail-oauth-tokens"), std::string("second\0bytes", 12));
    EXPECT_EQ(std::distance(fs::directory_iterator(store.folder()), fs::directory_iterator()), 1);

    store.remove("gmail-oauth-tokens");
    EXPECT_EQ(store.load("gmail-oauth-tokens"), std::nullopt);
    EXPECT_NO_THROW(store.remove("gmail-oauth-tokens"));
    EXPECT_NO_THROW(store.remove("never-saved"));
}

TEST(SecretStoreTests, FoldersArePrivateAndLooseOnesAreTightened) {
    testing::TempDir dir;
    const fs::path root = dir / "secrets";
    fs::create_directories(root);
    fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    const SecretStore store(root, "com.nudgerly.local");
    store.save("token", "gmail-oauth-tokens");
    EXPECT_EQ(modeOf(root), 0700u);
    EXPECT_EQ(modeOf(store.folder()), 0700u);
    EXPECT_EQ(store.folder(), root / "com.nudgerly.local");
    EXPECT_EQ(modeOf(store.folder() / "gmail-oauth-tokens"), 0600u);
}

TEST(SecretStoreTests, AFailedSaveKeepsThePreviousSecret) {
    testing::TempDir dir;
    const SecretStore store(dir / "secrets", "service");
    store.save("old tokens", "gmail-oauth-tokens");
    {
        testing::FileSizeLimit limit(16);
        EXPECT_THROW(store.save(std::string(4096, 'n'), "gmail-oauth-tokens"), FileSystemError);
    }
    EXPECT_EQ(store.load("gmail-oauth-tokens"), "old tokens");
    // No half-written temporary file is left next to it.
    EXPECT_EQ(std::distance(fs::directory_iterator(store.folder()), fs::directory_iterator()), 1);
}

TEST(SecretStoreTests, NamesNeverReachOutsideTheirFolder) {
    testing::TempDir dir;
    const fs::path root = dir / "box" / "secrets";
    const SecretStore store(root, "../../escaped/service");
    EXPECT_EQ(store.folder().parent_path(), root);

    const std::string accounts[] = {
        "../../../outside", "/etc/passwd", ".", "..", "", ".hidden", "a/b", "a%2Fb", "a%2fb", "%sha256-x",
        std::string(300, 'x'), std::string(300, '/'), std::string("nul\0byte", 8),
    };
    for (const auto& account : accounts) {
        store.save("value of " + account, account);
    }
    for (const auto& account : accounts) {
        EXPECT_EQ(store.load(account), "value of " + account) << account;
    }
    // Every secret is a plain file directly inside the service folder, and nothing else was made.
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(store.folder())) {
        EXPECT_TRUE(entry.is_regular_file()) << entry.path();
        names.insert(entry.path().filename().string());
    }
    EXPECT_EQ(names.size(), std::size(accounts));
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(dir.path()), fs::recursive_directory_iterator()),
              static_cast<std::ptrdiff_t>(3 + std::size(accounts)));
}

}  // namespace
}  // namespace nudgerly
