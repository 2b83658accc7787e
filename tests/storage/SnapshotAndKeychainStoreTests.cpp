#include <algorithm>
#include <filesystem>
#include <limits>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/FileSystemError.h"
#include "core/Files.h"
#include "core/JsonWriter.h"
#include "storage/AppFiles.h"
#include "storage/KeychainStore.h"
#include "storage/PersistenceConfiguration.h"
#include "storage/SnapshotStore.h"
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

// 2026-03-01T09:30:00Z plus three quarters of a second.
const Date generatedAt = Date::fromUnix(1772357400.75);

ReviewSnapshot sampleSnapshot() {
    ReviewItem item{
        .id = "gmail-thread-abc",
        .completionKey = "completion-v1:00",
        .source = ReviewSource::gmail,
        .status = ReviewStatus::action,
        .person = "Ann Lee",
        .date = "Mar 1",
        .timestamp = Date::fromUnix(1772353800),  // an hour earlier, on a whole second
        .summary = "Send the form",
        .context = "Could you send the form?",
        .verdict = "Asked for a document",
        .tags = {"form"},
        .openURL = "https://mail.example/#inbox/abc",
    };
    return {
        .generatedAt = generatedAt,
        .windowStart = generatedAt.addingSeconds(-7 * 86400),
        .windowEnd = generatedAt,
        .messageCount = 12,
        .activeConversations = 4,
        .inboundEndingCount = 2,
        .clearedCount = 1,
        .items = {item},
    };
}

TEST(SnapshotStoreTests, EncodesPrettySortedWithWholeSecondDates) {
    const std::string bytes = SnapshotStore::encode(sampleSnapshot());
    EXPECT_NE(bytes.find("\"generatedAt\" : \"2026-03-01T09:30:00Z\""), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("\"openURL\" : \"https:\\/\\/mail.example\\/#inbox\\/abc\""), std::string::npos);
    EXPECT_EQ(bytes.find("classificationCache"), std::string::npos);  // absent optionals are left out
    EXPECT_LT(bytes.find("\"activeConversations\""), bytes.find("\"clearedCount\""));
    EXPECT_LT(bytes.find("\"clearedCount\""), bytes.find("\"windowStart\""));
    EXPECT_GT(std::count(bytes.begin(), bytes.end(), '\n'), 10);

    const ReviewSnapshot decoded = SnapshotStore::decode(bytes);
    EXPECT_EQ(decoded.generatedAt, Date::fromUnix(1772357400));
    EXPECT_EQ(decoded.items, sampleSnapshot().items);  // the item's timestamp was a whole second
}

TEST(SnapshotStoreTests, DecoderRefusesFractionsAndNumbersForDates) {
    std::string bytes = SnapshotStore::encode(sampleSnapshot());
    const std::string whole = "\"2026-03-01T09:30:00Z\"";
    const auto at = bytes.find(whole);
    ASSERT_NE(at, std::string::npos);
    EXPECT_NO_THROW(SnapshotStore::decode(bytes));
    EXPECT_THROW(SnapshotStore::decode(std::string(bytes).replace(at, whole.size(), "\"2026-03-01T09:30:00.5Z\"")),
                 JsonDecodingError);
    EXPECT_THROW(SnapshotStore::decode(std::string(bytes).replace(at, whole.size(), "794050200")),
                 JsonDecodingError);
}

TEST(SnapshotStoreTests, SavesPrivatelyAndLoadsBack) {
    testing::TempDir dir;
    const fs::path file = dir / "Nudgerly" / "gmail-snapshot.json";
    SnapshotStore::save(sampleSnapshot(), file);
    EXPECT_EQ(modeOf(file.parent_path()), 0700u);
    EXPECT_EQ(modeOf(file), 0600u);
    const auto loaded = SnapshotStore::load(file);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->items, sampleSnapshot().items);
    EXPECT_EQ(loaded->windowEnd, Date::fromUnix(1772357400));
}

TEST(SnapshotStoreTests, MissingEmptyOrUndecodableFilesLoadAsNoSnapshot) {
    testing::TempDir dir;
    EXPECT_EQ(SnapshotStore::load(dir / "missing.json"), std::nullopt);
    EXPECT_EQ(SnapshotStore::load(dir.path()), std::nullopt);  // a folder cannot be read as a file

    writeTestFile(dir / "empty.json", "");
    EXPECT_EQ(SnapshotStore::load(dir / "empty.json"), std::nullopt);

    std::string bytes = SnapshotStore::encode(sampleSnapshot());
    const std::string status = "\"status\" : \"action\"";
    bytes.replace(bytes.find(status), status.size(), "\"status\" : \"someday\"");
    writeTestFile(dir / "unknown-status.json", bytes);
    EXPECT_EQ(SnapshotStore::load(dir / "unknown-status.json"), std::nullopt);
}

TEST(SnapshotStoreTests, AFailedSaveKeepsThePreviousFile) {
    testing::TempDir dir;
    const fs::path file = dir / "messages-snapshot.json";
    SnapshotStore::save(sampleSnapshot(), file);
    const std::string before = readFile(file);

    ReviewSnapshot bigger = sampleSnapshot();
    bigger.items.resize(50, bigger.items.front());
    {
        testing::FileSizeLimit limit(before.size());
        EXPECT_THROW(SnapshotStore::save(bigger, file), FileSystemError);
    }
    EXPECT_EQ(readFile(file), before);

    ReviewSnapshot unwritable = sampleSnapshot();
    unwritable.generatedAt = Date{std::numeric_limits<double>::infinity()};
    EXPECT_THROW(SnapshotStore::save(unwritable, file), JsonEncodingError);
    EXPECT_EQ(readFile(file), before);
}

TEST(KeychainStoreTests, SaveTwiceLoadAndDeleteInThePrivateSecretsFolder) {
    const std::string account = "gmail-oauth-tokens";
    EXPECT_EQ(KeychainStore::load(account), std::nullopt);
    KeychainStore::save(R"({"access_token":"one"})", account);
    KeychainStore::save(R"({"access_token":"two"})", account);
    EXPECT_EQ(KeychainStore::load(account), R"({"access_token":"two"})");

    const fs::path folder = KeychainStore::store().folder();
    EXPECT_EQ(folder.parent_path(), AppFiles::secretsDirectory());
    EXPECT_EQ(folder.filename(), PersistenceConfiguration::keychainService());
    EXPECT_TRUE(folder.string().starts_with((isolatedHome / "config").string()));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    EXPECT_EQ(modeOf(AppFiles::configurationDirectory()), 0700u);
    EXPECT_EQ(modeOf(folder / account), 0600u);

    KeychainStore::remove(account);
    EXPECT_EQ(KeychainStore::load(account), std::nullopt);
    EXPECT_NO_THROW(KeychainStore::remove(account));
}

}  // namespace
}  // namespace nudgerly
