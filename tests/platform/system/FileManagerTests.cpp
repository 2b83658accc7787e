#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/FileSystemError.h"
#include "core/Files.h"
#include "files/TempDir.h"
#include "platform/system/FileManager.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;

template <typename Call>
std::string failureOf(Call call) {
    try {
        call();
    } catch (const FileSystemError& error) {
        return error.what();
    }
    return "no error";
}

TEST(FileManagerTests, ReadsSizesAndExactTimes) {
    test::TempDir dir;
    const SystemFileManager files;
    const fs::path file = dir / "model.gguf";
    test::writeTestFile(file, "12345");
    const timespec times[2] = {{1'700'000'000, 987'654'321}, {1'700'000'000, 987'654'321}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);

    const FileAttributes attributes = files.attributesOfItem(file);
    EXPECT_EQ(attributes.size, 5);
    EXPECT_FALSE(attributes.isDirectory);
    EXPECT_EQ(attributes.modificationTime.time_since_epoch().count(), 1'700'000'000'987'654'321);
    EXPECT_TRUE(files.attributesOfItem(dir.path()).isDirectory);
    EXPECT_GT(files.availableCapacity(dir.path()).value_or(0), 0);

    EXPECT_EQ(failureOf([&] { files.attributesOfItem(dir / "absent"); }),
              "Couldn't read the attributes of \u201Cabsent\u201D: The file or folder doesn't exist.");
    EXPECT_EQ(failureOf([&] { files.availableCapacity(dir / "absent"); }),
              "Couldn't check the free space for \u201Cabsent\u201D: The file or folder doesn't exist.");
}

TEST(FileManagerTests, ReadsListsAndWritesFilesPrivately) {
    test::TempDir dir;
    const SystemFileManager files;
    files.writeAtomically(dir / "resume", "bytes");
    files.writeAtomically(dir / "resume", "newer bytes");
    EXPECT_EQ(files.contents(dir / "resume"), "newer bytes");
    EXPECT_EQ(test::fileMode(dir / "resume"), 0600u);
    EXPECT_EQ(files.contentsOfDirectory(dir.path()), std::vector<fs::path>{dir / "resume"});

    char first = 0;
    const UniqueFd fd = files.openForReading(dir / "resume");
    ASSERT_EQ(::read(fd.get(), &first, 1), 1);
    EXPECT_EQ(first, 'n');

    EXPECT_EQ(failureOf([&] { files.openForReading(dir / "absent"); }),
              "Couldn't read \u201Cabsent\u201D: The file or folder doesn't exist.");
    EXPECT_EQ(failureOf([&] { files.contentsOfDirectory(dir / "absent"); }),
              "Couldn't list \u201Cabsent\u201D: The file or folder doesn't exist.");
}

TEST(FileManagerTests, MovesReplacesAndRemovesWithoutClobbering) {
    test::TempDir dir;
    const SystemFileManager files;
    test::writeTestFile(dir / "staged", "new");
    test::writeTestFile(dir / "installed", "old");

    // A move never overwrites: the caller removes or replaces on purpose.
    EXPECT_EQ(failureOf([&] { files.moveItem(dir / "staged", dir / "installed"); }),
              "Couldn't move \u201Cstaged\u201D: An item with that name already exists.");
    EXPECT_EQ(readFile(dir / "staged"), "new");

    files.replaceItem(dir / "installed", dir / "staged");
    EXPECT_EQ(readFile(dir / "installed"), "new");
    EXPECT_FALSE(files.fileExists(dir / "staged"));

    files.createDirectories(dir / "packs" / "one");
    files.moveItem(dir / "installed", dir / "packs" / "one" / "model");
    EXPECT_EQ(readFile(dir / "packs" / "one" / "model"), "new");
    files.removeItem(dir / "packs");
    EXPECT_FALSE(files.fileExists(dir / "packs"));
    EXPECT_EQ(failureOf([&] { files.removeItem(dir / "packs"); }),
              "Couldn't remove \u201Cpacks\u201D: The file or folder doesn't exist.");
}

TEST(FileManagerTests, MovesAcrossVolumesByCopying) {
    test::TempDir dir;
    const fs::path otherVolume = "/dev/shm";
    struct stat here {
    }, there{};
    if (::stat(dir.path().c_str(), &here) != 0 || ::stat(otherVolume.c_str(), &there) != 0 ||
        here.st_dev == there.st_dev || ::access(otherVolume.c_str(), W_OK) != 0) {
        GTEST_SKIP() << "no second writable volume";
    }
    const SystemFileManager files;
    const fs::path away = otherVolume / ("nudgerly-move-test-" + dir.path().filename().string());
    test::writeTestFile(away / "data", "moved");
    files.moveItem(away, dir / "folder");
    EXPECT_EQ(readFile(dir / "folder" / "data"), "moved");
    EXPECT_FALSE(files.fileExists(away));

    test::writeTestFile(away.string() + "-file", "replacement");
    files.replaceItem(dir / "folder" / "data", away.string() + "-file");
    EXPECT_EQ(readFile(dir / "folder" / "data"), "replacement");
    EXPECT_FALSE(files.fileExists(away.string() + "-file"));
}

}  // namespace
}  // namespace nudgerly
