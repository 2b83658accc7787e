#include <gtest/gtest.h>

#include "storage/AppEnvironment.h"
#include "storage/AppFiles.h"
#include "support/TempDir.h"
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

TEST(AppEnvironmentTests, TheProcessEnvironmentFollowsTheUserFoldersWhenBuilt) {
    const AppEnvironment environment = AppEnvironment::forProcess();
    EXPECT_EQ(environment.info.dictionary(), AppInfo::installed().dictionary());
    EXPECT_EQ(environment.dataDirectory, isolatedHome / "data" / environment.names.applicationSupportDirectoryName);
    EXPECT_EQ(environment.configurationDirectory,
              isolatedHome / "config" / environment.names.applicationSupportDirectoryName);
}

}  // namespace
}  // namespace nudgerly
