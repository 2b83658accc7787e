#include <chrono>
#include <vector>

#include <gtest/gtest.h>

#include "files/TempDir.h"
#include "storage/AppEnvironment.h"
#include "storage/AppFiles.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;

const fs::path& isolatedHome = test::isolateUserFolders();

TEST(AppEnvironmentTests, TwoEnvironmentsSideBySideShareNothing) {
    test::TempDir first;
    test::TempDir second;
    const AppEnvironment one = AppEnvironment::underRoot(first.path());
    const AppEnvironment other =
        AppEnvironment::underRoot(second.path(), AppInfo(nlohmann::json{{"CFBundleIdentifier", "com.example.dev"}}));

    EXPECT_EQ(one.dataDirectory, first / "data" / "Nudgerly");
    EXPECT_EQ(one.configurationDirectory, first / "config" / "Nudgerly");
    EXPECT_EQ(other.dataDirectory, second / "data" / "Nudgerly-com.example.dev");
    EXPECT_EQ(other.names.keychainService, "com.nudgerly.local.com.example.dev");
    EXPECT_FALSE(fs::exists(one.dataDirectory));  // building one creates nothing

    one.settings->setString("selectedModelPack", "large");
    one.secrets.save("tokens", "gmail-oauth-tokens");
    EXPECT_EQ(other.settings->string("selectedModelPack"), std::nullopt);
    EXPECT_EQ(other.secrets.load("gmail-oauth-tokens"), std::nullopt);

    // A later environment over the same folders finds what the first one stored.
    const AppEnvironment again = AppEnvironment::underRoot(first.path());
    EXPECT_EQ(again.settings->string("selectedModelPack"), "large");
    EXPECT_EQ(again.secrets.load("gmail-oauth-tokens"), "tokens");
    EXPECT_TRUE(fs::exists(AppFiles::settingsFile(one.configurationDirectory)));
}

TEST(AppEnvironmentTests, StartingRemovesWhatStoppedSavesLeftInTheProgramsFolders) {
    test::TempDir root;
    const AppEnvironment first = AppEnvironment::underRoot(root.path());
    first.settings->setString("queue-sort", "oldest");
    first.secrets.save("tokens", "gmail-oauth-tokens");
    const fs::path secretsFolder =
        AppFiles::secretsDirectory(first.configurationDirectory) / first.names.keychainService;
    const std::vector<fs::path> leftovers = {first.dataDirectory / ".messages-snapshot.json.tmp-Ab12Cd",
                                             first.configurationDirectory / ".settings.json.tmp-Ef34Gh",
                                             secretsFolder / ".gmail-oauth-tokens.tmp-Ij56Kl"};
    for (const fs::path& file : leftovers) {
        test::writeTestFile(file, "a whole copy");
        test::backdate(file, std::chrono::minutes(1));
    }

    const AppEnvironment again = AppEnvironment::underRoot(root.path());
    for (const fs::path& file : leftovers) {
        EXPECT_FALSE(fs::exists(file)) << file;
    }
    EXPECT_EQ(again.settings->string("queue-sort"), "oldest");
    EXPECT_EQ(again.secrets.load("gmail-oauth-tokens"), "tokens");
}

TEST(AppEnvironmentTests, FoldersAndASettingsFileLinkedToTheUsersOwnAreSweptWhereTheyAre) {
    test::TempDir root;
    const AppEnvironment plain = AppEnvironment::underRoot(root.path());
    // The data folder on another disk, the configuration folder and the settings file with the dotfiles.
    const fs::path disk = root / "disk";
    const fs::path dotfiles = root / "dotfiles";
    for (const fs::path& folder : {disk / "Nudgerly", dotfiles / "Nudgerly", dotfiles / "files"}) {
        fs::create_directories(folder);
        fs::permissions(folder, fs::perms::owner_all);
    }
    fs::create_directories(plain.dataDirectory.parent_path());
    fs::create_directories(plain.configurationDirectory.parent_path());
    fs::create_directory_symlink(disk / "Nudgerly", plain.dataDirectory);
    fs::create_directory_symlink(dotfiles / "Nudgerly", plain.configurationDirectory);
    test::writeTestFile(dotfiles / "files" / "nudgerly.json", R"({"queue-sort": "oldest"})");
    fs::create_symlink(dotfiles / "files" / "nudgerly.json", AppFiles::settingsFile(plain.configurationDirectory));
    const std::vector<fs::path> leftovers = {disk / "Nudgerly" / ".messages-snapshot.json.tmp-Ab12Cd",
                                             dotfiles / "Nudgerly" / ".other.json.tmp-Ef34Gh",
                                             dotfiles / "files" / ".nudgerly.json.tmp-Ij56Kl"};
    for (const fs::path& file : leftovers) {
        test::writeTestFile(file, "a whole copy");
        test::backdate(file, std::chrono::minutes(1));
    }

    const AppEnvironment linked = AppEnvironment::underRoot(root.path());
    for (const fs::path& file : leftovers) {
        EXPECT_FALSE(fs::exists(file)) << file;
    }
    EXPECT_EQ(linked.settings->string("queue-sort"), "oldest");
    linked.settings->setString("queue-sort", "newest");
    EXPECT_TRUE(fs::is_symlink(AppFiles::settingsFile(linked.configurationDirectory)));
    EXPECT_EQ(AppEnvironment::underRoot(root.path()).settings->string("queue-sort"), "newest");
}

TEST(AppEnvironmentTests, TheProcessEnvironmentFollowsTheUserFoldersWhenBuilt) {
    const AppEnvironment environment = AppEnvironment::forProcess();
    EXPECT_EQ(environment.info.dictionary(), AppInfo::installed().dictionary());
    EXPECT_EQ(environment.dataDirectory, isolatedHome / "data" / environment.names.applicationSupportDirectoryName);
    EXPECT_EQ(environment.configurationDirectory,
              isolatedHome / "config" / environment.names.applicationSupportDirectoryName);
}

}  // namespace
}  // namespace nudgerly
