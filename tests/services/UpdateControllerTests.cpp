#include <memory>

#include <gtest/gtest.h>

#include "services/PackageManagerUpdater.h"
#include "services/UpdateController.h"

namespace nudgerly {
namespace {

// Counts what the controller asks of its updater.
class CountingUpdater : public Updater {
public:
    struct Counts {
        int starts = 0;
        int checks = 0;
    };
    explicit CountingUpdater(std::shared_ptr<Counts> counts) : counts_(std::move(counts)) {}

    void start() override { ++counts_->starts; }
    std::optional<std::string> checkForUpdates() override {
        ++counts_->checks;
        return std::nullopt;
    }

private:
    std::shared_ptr<Counts> counts_;
};

TEST(UpdateControllerTests, StartsItsUpdaterOnceAndForwardsEveryCheck) {
    auto counts = std::make_shared<CountingUpdater::Counts>();
    UpdateController controller(AppInfo(), std::make_unique<CountingUpdater>(counts));
    EXPECT_EQ(counts->starts, 1);
    EXPECT_EQ(counts->checks, 0);

    EXPECT_EQ(controller.checkForUpdates(), std::nullopt);
    EXPECT_EQ(controller.checkForUpdates(), std::nullopt);
    EXPECT_EQ(counts->checks, 2);
    EXPECT_EQ(counts->starts, 1);
}

TEST(UpdateControllerTests, VersionLabelNamesVersionAndBuildOrUnknown) {
    const AppInfo versioned({{"CFBundleShortVersionString", "1.4"}, {"CFBundleVersion", "27"}});
    EXPECT_EQ(UpdateController::versionLabel(versioned), "Nudgerly 1.4 (27)");
    EXPECT_EQ(UpdateController::versionLabel(AppInfo()), "Nudgerly Unknown (Unknown)");
    EXPECT_EQ(UpdateController::versionLabel(AppInfo({{"CFBundleShortVersionString", 1.4}, {"CFBundleVersion", "27"}})),
              "Nudgerly Unknown (27)");
}

TEST(UpdateControllerTests, PackageManagedInstallAnswersACheckWithANotice) {
    const AppInfo info({{"CFBundleShortVersionString", "1.4"}, {"CFBundleVersion", "27"}});
    UpdateController controller(info, std::make_unique<PackageManagerUpdater>(UpdateController::versionLabel(info)));
    EXPECT_EQ(controller.versionLabel(), "Nudgerly 1.4 (27)");
    EXPECT_EQ(controller.checkForUpdates(),
              "Nudgerly 1.4 (27) is installed. Updates come from your system's package manager.");
}

}  // namespace
}  // namespace nudgerly
