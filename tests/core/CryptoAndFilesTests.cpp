#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/Base64.h"
#include "core/CancelledError.h"
#include "core/FileSystemError.h"
#include "core/Files.h"
#include "core/SecureRandom.h"
#include "core/Sha256.h"
#include "files/TempDir.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

TEST(Sha256Tests, MatchesKnownDigestsInOneOrManyPieces) {
    EXPECT_EQ(Sha256::hexDigest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256::hexDigest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    Sha256 streaming;
    streaming.update("a");
    streaming.update("bc");
    EXPECT_EQ(Sha256::hex(streaming.finish()), Sha256::hexDigest("abc"));
    // Bytes are hashed as they are, never repaired as text first.
    EXPECT_EQ(Sha256::hexDigest("\xff\xfe invalid utf-8"),
              "03cabd629dd74ce340b415f4818acf8549e330ef2d59013791a32c9a754475b8");
}

TEST(Base64Tests, RoundTripsAndRejectsMalformedText) {
    const std::string bytes(
        "\x00\xff\xfe"
        "abc",
        6);
    EXPECT_EQ(Base64::encode(bytes), "AP/+YWJj");
    EXPECT_EQ(Base64::decode("AP/+YWJj"), bytes);
    EXPECT_EQ(Base64::decode("YQ=="), "a");
    EXPECT_EQ(Base64::decode("YWI="), "ab");
    EXPECT_EQ(Base64::decode(""), "");
    EXPECT_EQ(Base64::decode("YQ="), std::nullopt);
    EXPECT_EQ(Base64::decode("Y=Q="), std::nullopt);
    EXPECT_EQ(Base64::decode("YQ-_"), std::nullopt);
    EXPECT_EQ(Base64::encodeUrlSafe(bytes), "AP_-YWJj");
    EXPECT_EQ(Base64::encodeUrlSafe("a"), "YQ");
}

TEST(SecureRandomTests, GivesTheRequestedNumberOfDistinctBytes) {
    EXPECT_EQ(secureRandomBytes(32).size(), 32u);
    EXPECT_NE(secureRandomBytes(32), secureRandomBytes(32));
    EXPECT_TRUE(secureRandomBytes(0).empty());
}

TEST(AtomicFileTests, WritesPrivateFilesAndReplacesWhole) {
    test::TempDir dir;
    const fs::path file = dir / "state.json";
    writeFileAtomically(file, "first");
    writeFileAtomically(file, "second");
    EXPECT_EQ(readFile(file), "second");
    EXPECT_EQ(modeOf(file), 0600u);
    // Only the target remains: no temporary files left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

std::vector<std::string> entryNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(AtomicFileTests, AWriteRemovesOnlyTheStaleTemporaryFilesOfItsOwnFile) {
    using namespace std::chrono_literals;
    test::TempDir dir;
    // What killed writers of "state.json" and "other.json" left, and what merely looks like it.
    for (const char* name : {".state.json.tmp-AbC123", ".other.json.tmp-Zz9y8X", ".state.json.tmp-Ab!123",
                             ".state.json.tmp-AbC1234", "state.json.tmp-AbC123", ".state.json.tmp-young1"}) {
        test::writeTestFile(dir / name, "copy");
        if (std::string_view(name) != ".state.json.tmp-young1") {
            test::backdate(dir / name, 1h);
        }
    }
    fs::create_directory(dir / ".state.json.tmp-Folder");
    fs::create_symlink(dir / "other.json", dir / ".state.json.tmp-Link01");
    test::backdate(dir / ".state.json.tmp-Folder", 1h);

    writeFileAtomically(dir / "state.json", "new");
    EXPECT_EQ(entryNames(dir.path()),
              (std::vector<std::string>{".other.json.tmp-Zz9y8X", ".state.json.tmp-Ab!123", ".state.json.tmp-AbC1234",
                                        ".state.json.tmp-Folder", ".state.json.tmp-Link01", ".state.json.tmp-young1",
                                        "state.json", "state.json.tmp-AbC123"}));

    // Sweeping the folder takes every file's stale ones; a young one may still be written.
    removeStaleTemporariesIn(dir.path());
    EXPECT_EQ(entryNames(dir.path()),
              (std::vector<std::string>{".state.json.tmp-Ab!123", ".state.json.tmp-AbC1234", ".state.json.tmp-Folder",
                                        ".state.json.tmp-Link01", ".state.json.tmp-young1", "state.json",
                                        "state.json.tmp-AbC123"}));
    EXPECT_NO_THROW(removeStaleTemporariesIn(dir / "missing"));
}

TEST(AtomicFileTests, FailureKeepsTheOldFileAndLeavesNothingBehind) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root ignores folder permissions";
    }
    test::TempDir dir;
    const fs::path file = dir / "state.json";
    writeFileAtomically(file, "old");
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_THROW(writeFileAtomically(file, "new"), FileSystemError);
    fs::permissions(dir.path(), fs::perms::owner_all);
    EXPECT_EQ(readFile(file), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(AtomicFileTests, FailingRenameRemovesTheTemporaryFile) {
    test::TempDir dir;
    const fs::path target = dir / "occupied";
    fs::create_directories(target / "child");  // renaming a file over a non-empty folder fails
    EXPECT_THROW(writeFileAtomically(target, "x"), FileSystemError);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(FilesTests, ReadErrorsAreEnglishSentences) {
    test::TempDir dir;
    try {
        readFile(dir / "missing.json");
        FAIL();
    } catch (const FileSystemError& error) {
        EXPECT_STREQ(error.what(), "Couldn't read \u201Cmissing.json\u201D: The file or folder doesn't exist.");
        EXPECT_EQ(error.errorNumber(), ENOENT);
    }
}

TEST(FilesTests, AFileOverTheCapIsRefusedWithoutBeingReadAndAReadStops) {
    test::TempDir dir;
    test::makeSparseFile(dir / "huge", 2ull << 30);
    const uint64_t before = test::bytesReadByThisProcess();
    try {
        readFile(dir / "huge", 1 << 20);
        FAIL() << "a 2 GiB file is over a 1 MiB cap";
    } catch (const FileSystemError& error) {
        EXPECT_EQ(error.errorNumber(), EFBIG);
        EXPECT_STREQ(error.what(), "Couldn't read \u201Chuge\u201D: The file is too large.");
    }
    EXPECT_LT(test::bytesReadByThisProcess() - before, 64u * 1024);

    test::writeTestFile(dir / "exact", std::string(1000, 'x'));
    EXPECT_EQ(readFile(dir / "exact", 1000).size(), 1000u);
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(readFile(dir / "exact", 1000, stop.get_token()), CancelledError);
}

TEST(FilesTests, ReadsInPiecesUpToALimitWithoutBlockingOnPipes) {
    test::TempDir folder;
    const std::string bytes(150 * 1024, 'x');
    test::writeTestFile(folder / "big", bytes);
    std::string seen;
    int pieces = 0;
    const auto collect = [&](std::string_view piece) {
        seen.append(piece);
        ++pieces;
    };
    PiecewiseRead read = readFileInPieces(folder / "big", 1 << 30, collect);
    EXPECT_EQ(seen, bytes);
    EXPECT_GT(pieces, 1);
    EXPECT_FALSE(read.cutShort());

    seen.clear();
    read = readFileInPieces(folder / "big", 1000, collect);
    EXPECT_EQ(seen.size(), 1000u);
    EXPECT_TRUE(read.cutShort());
    EXPECT_EQ(read.fileSize, bytes.size());

    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
    try {
        readFileInPieces(folder / "pipe", 10, collect, {}, "Couldn't read the pipe");
        FAIL() << "a pipe is not a file";
    } catch (const FileSystemError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("Couldn't read the pipe: ", 0), 0u) << error.what();
    }
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(readFileInPieces(folder / "big", 10, collect, stop.get_token()), CancelledError);
}

TEST(FilesTests, CreatesPrivateFoldersAndTightensExistingOnes) {
    test::TempDir dir;
    const fs::path nested = dir / "a" / "b";
    createPrivateDirectories(nested);
    EXPECT_EQ(modeOf(nested), 0700u);
    fs::permissions(nested, fs::perms::all);
    createPrivateDirectories(nested);
    EXPECT_EQ(modeOf(nested), 0700u);
    test::writeTestFile(dir / "file", "x");
    EXPECT_THROW(createPrivateDirectories(dir / "file"), FileSystemError);
}

TEST(FilesTests, OwnFilesAreNeverReachedThroughALinkToAnotherUsersFolder) {
    test::TempDir dir;
    test::writeTestFile(dir / "real" / "settings.json", "{}");
    fs::create_symlink(dir / "real" / "settings.json", dir / "linked.json");
    EXPECT_EQ(readFile(dir / "linked.json"), "{}");
    try {
        readOwnFile(dir / "linked.json", 100);
        FAIL() << "a link in the file's place";
    } catch (const FileSystemError& error) {
        EXPECT_EQ(error.errorNumber(), ELOOP);
    }
    // A folder of the user's own reached through a link is theirs to keep where they like.
    fs::create_directory_symlink(dir / "real", dir / "mine");
    EXPECT_EQ(readOwnFile(dir / "mine" / "settings.json", 100), "{}");
    createPrivateDirectories(dir / "mine");
    EXPECT_EQ(modeOf(dir / "real"), 0700u);

    if (!test::makeOtherUsersFolder(dir / "theirs")) {
        GTEST_SKIP() << "only root can make a folder of another user";
    }
    fs::permissions(dir / "theirs", fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    test::writeTestFile(dir / "theirs" / "settings.json", "{}");
    fs::create_directory_symlink(dir / "theirs", dir / "Nudgerly");
    const std::string refusal = "Nudgerly won't use the folder \u201C" + (dir / "Nudgerly").string() +
                                "\u201D: It is a link to a folder that belongs to another user.";
    for (const auto& use : std::vector<std::function<void()>>{
             [&] { readOwnFile(dir / "Nudgerly" / "settings.json", 100); },
             [&] { writeFileAtomically(dir / "Nudgerly" / "settings.json", "{\"queue-sort\": 1}"); },
             [&] { createPrivateDirectories(dir / "Nudgerly"); }}) {
        try {
            use();
            FAIL() << "went through the link";
        } catch (const FileSystemError& error) {
            EXPECT_EQ(error.what(), refusal);
        }
    }
    EXPECT_EQ(modeOf(dir / "theirs"), 0744u);
    EXPECT_EQ(readFile(dir / "theirs" / "settings.json"), "{}");
    EXPECT_EQ(entryNames(dir / "theirs"), std::vector<std::string>{"settings.json"});
}

TEST(FilesTests, OnlyTheNewestThreeDamagedCopiesOfAFileAreKept) {
    test::TempDir dir;
    // What earlier damaged starts left, with a second copy of one second numbered past nine, and what
    // merely looks like such a copy.
    for (const char* name : {"settings.json.corrupt-20260101T000000Z", "settings.json.corrupt-20260102T000000Z",
                             "settings.json.corrupt-20260103T000000Z-2", "settings.json.corrupt-20260103T000000Z-10",
                             "other.json.corrupt-20200101T000000Z", "settings.json.corrupt-notes"}) {
        test::writeTestFile(dir / name, "old copy");
    }
    fs::create_directory(dir / "settings.json.corrupt-20000101T000000Z");
    test::writeTestFile(dir / "settings.json", "damaged");
    const auto aside = setDamagedFileAside(dir / "settings.json");
    ASSERT_TRUE(aside);
    EXPECT_EQ(readFile(*aside), "damaged");
    std::vector<std::string> expected{
        "other.json.corrupt-20200101T000000Z",      aside->filename().string(),
        "settings.json.corrupt-20000101T000000Z",   "settings.json.corrupt-20260103T000000Z-10",
        "settings.json.corrupt-20260103T000000Z-2", "settings.json.corrupt-notes"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(entryNames(dir.path()), expected);

    // Many in the same second: the latest three stay.
    for (int start = 0; start < 5; ++start) {
        test::writeTestFile(dir / "contacts.json", "damaged " + std::to_string(start));
        ASSERT_TRUE(setDamagedFileAside(dir / "contacts.json"));
    }
    std::vector<std::string> kept;
    for (const std::string& name : entryNames(dir.path())) {
        if (name.starts_with("contacts.json")) {
            kept.push_back(readFile(dir / name));
        }
    }
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{"damaged 2", "damaged 3", "damaged 4"}));
}

TEST(FilesTests, LinksToTheUsersOwnFilesAndFoldersAreFollowedAndOthersAreNot) {
    using namespace std::chrono_literals;
    test::TempDir dir;
    // A data folder kept on another disk: the stale temporaries of stopped saves are swept there.
    test::writeTestFile(dir / "disk" / "data" / ".queue.json.tmp-Ab12Cd", "a whole copy");
    test::backdate(dir / "disk" / "data" / ".queue.json.tmp-Ab12Cd", 1h);
    fs::permissions(dir / "disk" / "data", fs::perms::owner_all);
    fs::create_directory_symlink(dir / "disk" / "data", dir / "data");
    removeStaleTemporariesIn(dir / "data");
    EXPECT_TRUE(entryNames(dir / "disk" / "data").empty());
    // Unless others may change what is in the folder.
    test::writeTestFile(dir / "disk" / "data" / ".queue.json.tmp-Ab12Cd", "a whole copy");
    test::backdate(dir / "disk" / "data" / ".queue.json.tmp-Ab12Cd", 1h);
    fs::permissions(dir / "disk" / "data", fs::perms::all);
    removeStaleTemporariesIn(dir / "data");
    EXPECT_EQ(entryNames(dir / "disk" / "data"), std::vector<std::string>{".queue.json.tmp-Ab12Cd"});

    // A settings file kept with the dotfiles, through a chain of links, one of them relative.
    const fs::path dotfiles = dir / "dotfiles";
    test::writeTestFile(dotfiles / "nudgerly.json", "{}");
    fs::permissions(dotfiles, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    fs::create_symlink("../dotfiles/nudgerly.json", dir / "disk" / "middle.json");
    fs::create_symlink(dir / "disk" / "middle.json", dir / "settings.json");
    EXPECT_EQ(followOwnFileLink(dir / "settings.json"), fs::canonical(dotfiles) / "nudgerly.json");
    EXPECT_EQ(followOwnFileLink(dotfiles / "nudgerly.json"), dotfiles / "nudgerly.json");
    // One not made yet is created there by the first save.
    fs::create_symlink(dotfiles / "later.json", dir / "later.json");
    EXPECT_EQ(followOwnFileLink(dir / "later.json"), fs::canonical(dotfiles) / "later.json");
    // A file or a folder others may write to, a folder in the file's place, a loop: the link itself.
    fs::permissions(dotfiles / "nudgerly.json", fs::perms::group_write, fs::perm_options::add);
    EXPECT_EQ(followOwnFileLink(dir / "settings.json"), dir / "settings.json");
    fs::permissions(dotfiles / "nudgerly.json", fs::perms::group_write, fs::perm_options::remove);
    fs::permissions(dotfiles, fs::perms::others_write, fs::perm_options::add);
    EXPECT_EQ(followOwnFileLink(dir / "settings.json"), dir / "settings.json");
    EXPECT_EQ(followOwnFileLink(dir / "later.json"), dir / "later.json");
    fs::create_directory_symlink(dir / "disk", dir / "folder.json");
    EXPECT_EQ(followOwnFileLink(dir / "folder.json"), dir / "folder.json");
    fs::create_symlink(dir / "loop.json", dir / "loop.json");
    EXPECT_EQ(followOwnFileLink(dir / "loop.json"), dir / "loop.json");
}

}  // namespace
}  // namespace nudgerly
