#include <gtest/gtest.h>

#include "platform/AppInfo.h"
#include "platform/UserFolders.h"
#include "support/TestEnvironment.h"
#include "support/TempDir.h"

namespace nudgerly {
namespace {

using nlohmann::json;
using testing::ScopedEnvironmentVariable;

TEST(AppInfoTests, OverlayReplacesKeysAndKeepsTheirTypes) {
    testing::TempDir dir;
    testing::writeTestFile(dir / "info.json",
                           R"({"CFBundleVersion": 42, "NudgerlyKeychainService": " custom ", "Extra": [1]})");
    const AppInfo info = AppInfo::withOverlay(dir / "info.json");
    EXPECT_EQ(info.value("CFBundleVersion"), json(42));
    EXPECT_EQ(info.string("CFBundleVersion"), std::nullopt);
    EXPECT_EQ(info.string("NudgerlyKeychainService"), " custom ");
    EXPECT_EQ(info.value("Extra"), json::array({1}));
    // Keys the overlay does not name keep their built-in values.
    EXPECT_EQ(info.value("CFBundleIdentifier"), AppInfo::compiledDefaults()["CFBundleIdentifier"]);
    EXPECT_EQ(info.value("CFBundleShortVersionString"), AppInfo::compiledDefaults()["CFBundleShortVersionString"]);
}

TEST(AppInfoTests, MissingOrBrokenOverlaysLeaveTheBuiltInValues) {
    testing::TempDir dir;
    testing::writeTestFile(dir / "broken.json", R"({"CFBundleVersion": )");
    testing::writeTestFile(dir / "array.json", R"(["CFBundleVersion"])");
    const json defaults = AppInfo::compiledDefaults();
    EXPECT_TRUE(defaults["CFBundleIdentifier"].is_string());
    EXPECT_EQ(AppInfo::withOverlay(dir / "missing.json").dictionary(), defaults);
    EXPECT_EQ(AppInfo::withOverlay(dir / "broken.json").dictionary(), defaults);
    EXPECT_EQ(AppInfo::withOverlay(dir / "array.json").dictionary(), defaults);
    EXPECT_EQ(AppInfo::withOverlay(dir.path()).dictionary(), defaults);  // a folder, not a file
}

TEST(AppInfoTests, AnythingButAnObjectIsAnEmptyDictionary) {
    EXPECT_TRUE(AppInfo(json::array({"a"})).empty());
    EXPECT_TRUE(AppInfo(json("text")).empty());
    EXPECT_EQ(AppInfo(json::object()).bundleIdentifier(), std::nullopt);
    EXPECT_EQ(AppInfo(json{{"CFBundleIdentifier", "id"}}).bundleIdentifier(), "id");
    EXPECT_EQ(AppInfo(json{{"CFBundleIdentifier", 1}}).bundleIdentifier(), std::nullopt);
}

TEST(UserFoldersTests, FollowTheBaseDirectoryRules) {
    ScopedEnvironmentVariable home("HOME", "/home/someone");
    {
        ScopedEnvironmentVariable data("XDG_DATA_HOME", "/srv/data");
        ScopedEnvironmentVariable config("XDG_CONFIG_HOME", "/srv/config");
        EXPECT_EQ(UserFolders::dataHome(), "/srv/data");
        EXPECT_EQ(UserFolders::configHome(), "/srv/config");
    }
    {
        ScopedEnvironmentVariable data("XDG_DATA_HOME", std::nullopt);
        ScopedEnvironmentVariable config("XDG_CONFIG_HOME", std::nullopt);
        EXPECT_EQ(UserFolders::dataHome(), "/home/someone/.local/share");
        EXPECT_EQ(UserFolders::configHome(), "/home/someone/.config");
    }
    {
        // Relative or empty values are ignored, never resolved against the working folder.
        ScopedEnvironmentVariable data("XDG_DATA_HOME", "relative/data");
        ScopedEnvironmentVariable config("XDG_CONFIG_HOME", "");
        EXPECT_EQ(UserFolders::dataHome(), "/home/someone/.local/share");
        EXPECT_EQ(UserFolders::configHome(), "/home/someone/.config");
    }
}

TEST(UserFoldersTests, ARelativeHomeFallsBackToTheAccountsFolder) {
    ScopedEnvironmentVariable home("HOME", "not/absolute");
    ScopedEnvironmentVariable data("XDG_DATA_HOME", std::nullopt);
    EXPECT_TRUE(UserFolders::home().is_absolute());
    EXPECT_TRUE(UserFolders::dataHome().is_absolute());
}

}  // namespace
}  // namespace nudgerly
