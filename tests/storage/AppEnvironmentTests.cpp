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
    const fs::path secretsFolder = AppFiles::secretsDirectory(first.configurationDirectory) / first.names.keychainService;
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

TEST(AppEnvironmentTests, TheProcessEnvironmentFollowsTheUserFoldersWhenBuilt) {
    const AppEnvironment environment = AppEnvironment::forProcess();
    EXPECT_EQ(environment.info.dictionary(), AppInfo::installed().dictionary());
    EXPECT_EQ(environment.dataDirectory, isolatedHome / "data" / environment.names.applicationSupportDirectoryName);
    EXPECT_EQ(environment.configurationDirectory,
              isolatedHome / "config" / environment.names.applicationSupportDirectoryName);
}

}  // namespace
}  // namespace nudgerly
