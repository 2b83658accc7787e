#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/FileSystemError.h"
#include "platform/UserFolders.h"
#include "storage/AppFiles.h"
#include "storage/PersistenceConfiguration.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;
using testing::writeTestFile;

const fs::path& isolatedHome = testing::isolateUserFolders();

mode_t modeOf(const fs::path& path) {
    struct stat info{};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

void fillDataFolder(const fs::path& folder) {
    writeTestFile(folder / "messages-snapshot.json", "{}");
    writeTestFile(folder / "gmail-snapshot.json", "{}");
    writeTestFile(folder / "google-oauth-client.json", "{}");
    writeTestFile(folder / ".hidden", "x");
    writeTestFile(folder / "Other" / "nested" / "file", "x");
}

TEST(AppFilesTests, FoldersSitUnderTheUsersDataAndConfigurationHomes) {
    const std::string name = PersistenceConfiguration::applicationSupportDirectoryName();
    EXPECT_EQ(AppFiles::directory(), isolatedHome / "data" / name);
    EXPECT_EQ(AppFiles::directory(), UserFolders::dataHome() / name);
    EXPECT_EQ(AppFiles::settingsFile(), isolatedHome / "config" / name / "settings.json");
    EXPECT_EQ(AppFiles::secretsDirectory(), isolatedHome / "config" / name / "secrets");
    EXPECT_FALSE(fs::exists(AppFiles::directory()));  // computing it creates nothing

    AppFiles::prepare();
    EXPECT_EQ(modeOf(AppFiles::directory()), 0700u);
    EXPECT_NO_THROW(AppFiles::prepare());
}

TEST(AppFilesTests, PrepareMakesPrivateFoldersAndTightensLooseOnes) {
    testing::TempDir dir;
    AppFiles::prepare(dir / "a" / "b" / "Nudgerly");
    EXPECT_EQ(modeOf(dir / "a" / "b"), 0700u);
    EXPECT_EQ(modeOf(dir / "a" / "b" / "Nudgerly"), 0700u);

    fs::create_directories(dir / "loose");
    fs::permissions(dir / "loose", fs::perms::all);
    AppFiles::prepare(dir / "loose");
    EXPECT_EQ(modeOf(dir / "loose"), 0700u);

    writeTestFile(dir / "file", "x");
    EXPECT_THROW(AppFiles::prepare(dir / "file"), FileSystemError);
}

TEST(AppFilesTests, DeletingLocalDataKeepsOnlyTheModelPacks) {
    testing::TempDir dir;
    const fs::path folder = dir / "Nudgerly";
    fillDataFolder(folder);
    writeTestFile(folder / "ModelPacks" / "pack.gguf", "weights");
    writeTestFile(folder / "ModelPacks" / "pack.gguf.verification.plist", "receipt");

    AppFiles::deleteLocalData(folder);
    EXPECT_EQ(namesIn(folder), std::set<std::string>{"ModelPacks"});
    EXPECT_EQ(namesIn(folder / "ModelPacks"), (std::set<std::string>{"pack.gguf", "pack.gguf.verification.plist"}));
}

TEST(AppFilesTests, DeletingLocalDataWithoutModelPacksRemovesTheFolder) {
    testing::TempDir dir;
    const fs::path folder = dir / "Nudgerly";
    fillDataFolder(folder);
    // A file or a link named like the model-pack folder is not one, and goes with the rest.
    writeTestFile(folder / "ModelPacks", "not a folder");
    writeTestFile(dir / "outside" / "kept", "x");
    fs::create_directory_symlink(dir / "outside", folder / "link");

    AppFiles::deleteLocalData(folder);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(fs::exists(dir / "outside" / "kept"));  // links are removed, never followed

    EXPECT_NO_THROW(AppFiles::deleteLocalData(folder));
    EXPECT_NO_THROW(AppFiles::deleteLocalData(dir / "never" / "made"));
}

TEST(AppFilesTests, DeletingLocalDataReportsWhatItCannotList) {
    testing::TempDir dir;
    writeTestFile(dir / "plain-file", "x");
    EXPECT_THROW(AppFiles::deleteLocalData(dir / "plain-file"), FileSystemError);
    EXPECT_TRUE(fs::exists(dir / "plain-file"));
}

}  // namespace
}  // namespace nudgerly
