#include <set>
#include <string>

#include <gtest/gtest.h>

#include "core/CancelledError.h"
#include "core/FileSystemError.h"
#include "files/TempDir.h"
#include "platform/secrets/SecretFileStore.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;

std::ptrdiff_t entryCount(const fs::path& folder) {
    return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
}

TEST(SecretFileStoreTests, ReplacesInPrivateFilesAndTightensLooseFolders) {
    test::TempDir dir;
    const fs::path root = dir / "secrets";
    fs::create_directories(root);
    fs::permissions(root, fs::perms::all);
    const SecretFileStore store(root, "com.nudgerly.local");
    EXPECT_EQ(store.load("gmail-oauth-tokens"), std::nullopt);

    store.save("first", "gmail-oauth-tokens");
    store.save(std::string("second\0", 7), "gmail-oauth-tokens");
    EXPECT_EQ(store.load("gmail-oauth-tokens"), std::string("second\0", 7));
    EXPECT_EQ(entryCount(store.folder()), 1);
    EXPECT_EQ(test::fileMode(root), 0700u);
    EXPECT_EQ(test::fileMode(store.folder()), 0700u);
    EXPECT_EQ(test::fileMode(store.folder() / "gmail-oauth-tokens"), 0600u);

    store.remove("gmail-oauth-tokens");
    EXPECT_EQ(store.load("gmail-oauth-tokens"), std::nullopt);
    EXPECT_NO_THROW(store.remove("gmail-oauth-tokens"));
}

TEST(SecretFileStoreTests, AFailedSaveKeepsThePreviousSecret) {
    test::TempDir dir;
    const SecretFileStore store(dir / "secrets", "service");
    store.save("old tokens", "gmail-oauth-tokens");
    {
        test::FileSizeLimit limit(16);
        EXPECT_THROW(store.save(std::string(4096, 'n'), "gmail-oauth-tokens"), FileSystemError);
    }
    EXPECT_EQ(store.load("gmail-oauth-tokens"), "old tokens");
    EXPECT_EQ(entryCount(store.folder()), 1);  // no temporary file left behind
}

TEST(SecretFileStoreTests, RemovingASecretRemovesTheCopiesThatStoppedSavesLeft) {
    test::TempDir dir;
    const SecretFileStore store(dir / "secrets", "service");
    store.save("tokens", "gmail-oauth-tokens");
    store.save("other", "other-account");
    // Saves killed before their rename, one of them a moment ago.
    test::writeTestFile(store.folder() / ".gmail-oauth-tokens.tmp-a1B2c3", "older tokens");
    test::writeTestFile(store.folder() / ".gmail-oauth-tokens.tmp-d4E5f6", "old tokens");
    test::backdate(store.folder() / ".gmail-oauth-tokens.tmp-a1B2c3", std::chrono::hours(1));

    EXPECT_TRUE(store.remove("gmail-oauth-tokens"));
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(store.folder())) {
        left.insert(entry.path().filename().string());
    }
    EXPECT_EQ(left, std::set<std::string>{"other-account"});
}

TEST(SecretFileStoreTests, AFileLargerThanAnySecretReadsAsNoneAndAReadStops) {
    test::TempDir dir;
    const SecretFileStore store(dir / "secrets", "service");
    store.save(std::string(SecretFileStore::largestSecret, 't'), "gmail-oauth-tokens");
    EXPECT_EQ(store.load("gmail-oauth-tokens")->size(), SecretFileStore::largestSecret);
    store.save(std::string(SecretFileStore::largestSecret + 1, 't'), "gmail-oauth-tokens");
    EXPECT_EQ(store.load("gmail-oauth-tokens"), std::nullopt);
    EXPECT_TRUE(fs::exists(store.folder() / "gmail-oauth-tokens"));  // not ours to delete

    store.save("tokens", "gmail-oauth-tokens");
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(store.load("gmail-oauth-tokens", stop.get_token()), CancelledError);
}

TEST(SecretFileStoreTests, NamesNeverReachOutsideTheirFolder) {
    test::TempDir dir;
    const fs::path root = dir / "box" / "secrets";
    const SecretFileStore store(root, "../../escaped/service");
    EXPECT_EQ(store.folder().parent_path(), root);

    const std::string accounts[] = {
        "../../../outside",         "/etc/passwd", ".", "..", "", ".hidden", "a/b", "a%2Fb", std::string(300, 'x'),
        std::string("nul\0byte", 8)};
    for (const auto& account : accounts) {
        store.save("value of " + account, account);
    }
    std::set<fs::path> files;
    for (const auto& account : accounts) {
        EXPECT_EQ(store.load(account), "value of " + account) << account;
    }
    // Each secret is its own plain file directly in the service folder, and nothing else was made.
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
        if (entry.is_regular_file()) {
            EXPECT_EQ(entry.path().parent_path(), store.folder());
            files.insert(entry.path());
        }
    }
    EXPECT_EQ(files.size(), std::size(accounts));
}

}  // namespace
}  // namespace nudgerly
