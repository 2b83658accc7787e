#include <gtest/gtest.h>

#include "files/TempDir.h"
#include "platform/system/AppInfo.h"

namespace nudgerly {
namespace {

using nlohmann::json;

TEST(AppInfoTests, AnOverlayReplacesKeysKeepingTheirTypesAndABrokenOneIsIgnored) {
    test::TempDir dir;
    test::writeTestFile(dir / "info.json", R"({"CFBundleVersion": 42, "NudgerlyKeychainService": " k "})");
    test::writeTestFile(dir / "broken.json", R"({"CFBundleVersion": )");
    test::writeTestFile(dir / "array.json", R"(["CFBundleVersion"])");
    test::writeTestFile(dir / "huge.json", R"({"CFBundleVersion": ")" + std::string(1 << 20, '9') + "\"}");
    const json defaults = AppInfo::compiledDefaults();

    const AppInfo info = AppInfo::withOverlay(dir / "info.json");
    EXPECT_EQ(info.value("CFBundleVersion"), json(42));
    EXPECT_EQ(info.string("CFBundleVersion"), std::nullopt);
    EXPECT_EQ(info.string("NudgerlyKeychainService"), " k ");
    EXPECT_EQ(info.value("CFBundleIdentifier"), defaults["CFBundleIdentifier"]);

    for (const char* name : {"missing.json", "broken.json", "array.json", "huge.json"}) {
        EXPECT_EQ(AppInfo::withOverlay(dir / name).dictionary(), defaults) << name;
    }
    EXPECT_TRUE(AppInfo(json::array({"a"})).empty());
}

}  // namespace
}  // namespace nudgerly
