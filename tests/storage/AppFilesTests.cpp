#include <set>
#include <string>

#include <gtest/gtest.h>

#include "core/FileSystemError.h"
#include "files/TempDir.h"
#include "storage/AppFiles.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;
using test::writeTestFile;

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
    writeTestFile(folder / ".hidden", "x");
    writeTestFile(folder / "Other" / "nested", "x");
}

TEST(AppFilesTests, PreparedFoldersArePrivate) {
    test::TempDir dir;
    AppFiles::prepare(dir / "data" / "Nudgerly");
    EXPECT_EQ(test::fileMode(dir / "data" / "Nudgerly"), 0700u);
    fs::create_directories(dir / "loose");
    fs::permissions(dir / "loose", fs::perms::all);
    AppFiles::prepare(dir / "loose");
    EXPECT_EQ(test::fileMode(dir / "loose"), 0700u);
}

TEST(AppFilesTests, DeletingLocalDataKeepsOnlyTheModelPacks) {
    test::TempDir dir;
    const fs::path folder = dir / "Nudgerly";
    fillDataFolder(folder);
    writeTestFile(folder / "ModelPacks" / "pack.gguf", "weights");

    AppFiles::deleteLocalData(folder);
    EXPECT_EQ(namesIn(folder), std::set<std::string>{"ModelPacks"});
    EXPECT_EQ(namesIn(folder / "ModelPacks"), std::set<std::string>{"pack.gguf"});
}

TEST(AppFilesTests, ADataFolderLinkedToAnotherUsersFolderIsNeitherTightenedNorEmptied) {
    test::TempDir root;
    if (!test::makeOtherUsersFolder(root / "theirs")) {
        GTEST_SKIP() << "only root can make a folder of another user";
    }
    fs::permissions(root / "theirs", fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    fillDataFolder(root / "theirs");
    fs::create_directory_symlink(root / "theirs", root / "Nudgerly");
    EXPECT_THROW(AppFiles::prepare(root / "Nudgerly"), FileSystemError);
    EXPECT_THROW(AppFiles::deleteLocalData(root / "Nudgerly"), FileSystemError);
    EXPECT_EQ(test::fileMode(root / "theirs"), 0744u);
    EXPECT_EQ(namesIn(root / "theirs"),
              (std::set<std::string>{".hidden", "Other", "gmail-snapshot.json", "messages-snapshot.json"}));
}

TEST(AppFilesTests, DeletingLocalDataWithoutModelPacksRemovesTheFolder) {
    test::TempDir dir;
    const fs::path folder = dir / "Nudgerly";
    fillDataFolder(folder);
    writeTestFile(folder / "ModelPacks", "a file, not the model-pack folder");
    writeTestFile(dir / "outside" / "kept", "x");
    fs::create_directory_symlink(dir / "outside", folder / "link");

    AppFiles::deleteLocalData(folder);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(fs::exists(dir / "outside" / "kept"));  // links are removed, never followed
    EXPECT_NO_THROW(AppFiles::deleteLocalData(folder));

    writeTestFile(dir / "plain-file", "x");
    EXPECT_THROW(AppFiles::deleteLocalData(dir / "plain-file"), FileSystemError);
}

}  // namespace
}  // namespace nudgerly
