#include <gtest/gtest.h>

#include "storage/PersistenceConfiguration.h"

namespace nudgerly {
namespace {

using nlohmann::json;
namespace Config = PersistenceConfiguration;

Config::Values namesFor(json info) {
    return Config::compute(AppInfo(std::move(info)));
}

TEST(PersistenceConfigurationTests, NamesFollowTheBundleIdentifier) {
    const Config::Values plain{std::nullopt, "Nudgerly", "com.nudgerly.local"};
    EXPECT_EQ(namesFor({{"CFBundleIdentifier", "com.veldo.nudgerly"}}), plain);
    EXPECT_EQ(namesFor(json::object()), plain);
    EXPECT_EQ(namesFor({{"CFBundleIdentifier", "com.example.dev build"}}),
              (Config::Values{"com.example.dev-build", "Nudgerly-com.example.dev-build",
                              "com.nudgerly.local.com.example.dev-build"}));
    // One "-" per character, whatever its length in bytes.
    EXPECT_EQ(Config::nonProductionSuffix("com.é😀/x_y"), "com.---x_y");
}

TEST(PersistenceConfigurationTests, OverridesAreTrimmedNonBlankText) {
    const auto values = namesFor(
        {{"NudgerlyApplicationSupportDirectoryName", " \tNudgerly Beta\u2003\n"}, {"NudgerlyKeychainService", "   "}});
    EXPECT_EQ(values.applicationSupportDirectoryName, "Nudgerly Beta");
    EXPECT_EQ(values.keychainService, "com.nudgerly.local");
    EXPECT_EQ(namesFor({{"NudgerlyKeychainService", 3}}).keychainService, "com.nudgerly.local");
}

TEST(PersistenceConfigurationTests, ADataFolderNameThatIsNotOneFolderIsIgnored) {
    for (const char* name : {".", "..", "../elsewhere", "/tmp/x"}) {
        const auto values = namesFor({{"NudgerlyApplicationSupportDirectoryName", name}});
        EXPECT_EQ(values.applicationSupportDirectoryName, "Nudgerly") << name;
    }
}

}  // namespace
}  // namespace nudgerly
