#include <gtest/gtest.h>

#include "storage/PersistenceConfiguration.h"

namespace nudgerly {
namespace {

using nlohmann::json;
namespace Config = PersistenceConfiguration;

AppInfo infoWith(json values) {
    return AppInfo(std::move(values));
}

TEST(PersistenceConfigurationTests, ProductionAndMissingIdentifiersUseThePlainNames) {
    const Config::Values plain{std::nullopt, "Nudgerly", "com.nudgerly.local"};
    EXPECT_EQ(Config::compute(infoWith({{"CFBundleIdentifier", "com.veldo.nudgerly"}})), plain);
    EXPECT_EQ(Config::compute(AppInfo()), plain);
    EXPECT_EQ(Config::compute(infoWith({{"CFBundleIdentifier", 7}})), plain);
}

TEST(PersistenceConfigurationTests, OtherIdentifiersGetASafeSuffix) {
    EXPECT_EQ(Config::compute(infoWith({{"CFBundleIdentifier", "com.example.dev build"}})),
              (Config::Values{"com.example.dev-build", "Nudgerly-com.example.dev-build",
                              "com.nudgerly.local.com.example.dev-build"}));
    // One "-" per character, whatever its length in bytes; "_" and "." stay.
    EXPECT_EQ(Config::nonProductionSuffix("com.é😀/x_y"), "com.---x_y");
    EXPECT_EQ(Config::nonProductionSuffix("com.veldo.nudgerly "), "com.veldo.nudgerly-");
}

TEST(PersistenceConfigurationTests, InformationValuesOverrideWhenTheyAreNonBlankText) {
    const AppInfo info = infoWith({{"CFBundleIdentifier", "com.veldo.nudgerly"},
                                   {"NudgerlyApplicationSupportDirectoryName", " \tNudgerly Beta\n"},
                                   {"NudgerlyKeychainService", "   "},
                                   {"Number", 3}});
    const auto values = Config::compute(info);
    EXPECT_EQ(values.applicationSupportDirectoryName, "Nudgerly Beta");
    EXPECT_EQ(values.keychainService, "com.nudgerly.local");
    EXPECT_EQ(Config::infoValue(info, "Number", "fallback"), "fallback");
    EXPECT_EQ(Config::infoValue(info, "Missing", "fallback"), "fallback");
    EXPECT_EQ(Config::infoValue(infoWith({{"K", "\u00A0value\u2003"}}), "K", "fallback"), "value");
}

TEST(PersistenceConfigurationTests, ADataFolderNameThatIsNotOneFolderIsIgnored) {
    for (const char* name : {".", "..", "../elsewhere", "/tmp/x", "a/b"}) {
        const auto values = Config::compute(infoWith({{"CFBundleIdentifier", "dev"},
                                                      {"NudgerlyApplicationSupportDirectoryName", name},
                                                      {"NudgerlyKeychainService", name}}));
        EXPECT_EQ(values.applicationSupportDirectoryName, "Nudgerly-dev") << name;
        // The secret store makes any service name safe itself, so the override stands.
        EXPECT_EQ(values.keychainService, name);
    }
}

TEST(PersistenceConfigurationTests, TheProcessValuesComeFromTheMainDictionaryOnce) {
    EXPECT_EQ(Config::current(), Config::compute(AppInfo::main()));
    EXPECT_EQ(&Config::current(), &Config::current());
}

}  // namespace
}  // namespace nudgerly
