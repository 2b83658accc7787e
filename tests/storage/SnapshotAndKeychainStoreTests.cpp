#include <limits>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "core/CancelledError.h"
#include "core/FileSystemError.h"
#include "core/Files.h"
#include "core/JsonCoding.h"
#include "core/JsonWriter.h"
#include "files/TempDir.h"
#include "storage/AppEnvironment.h"
#include "storage/AppFiles.h"
#include "storage/SnapshotStore.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;

const Date wholeSecond = Date::fromUnix(1772357400);  // 2026-03-01T09:30:00Z

ReviewSnapshot sampleSnapshot() {
    return {
        .generatedAt = wholeSecond.addingSeconds(0.75),
        .windowStart = wholeSecond.addingSeconds(-7 * 86400),
        .windowEnd = wholeSecond,
        .messageCount = 12,
        .items = {ReviewItem{.id = "gmail-thread-abc",
                             .status = ReviewStatus::action,
                             .timestamp = wholeSecond.addingSeconds(-3600),
                             .openURL = "https://mail.example/#inbox/abc"}},
    };
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

TEST(SnapshotStoreTests, WritesPrettySortedWholeSecondDatesAndReadsOnlyThose) {
    const std::string bytes = SnapshotStore::encode(sampleSnapshot());
    EXPECT_NE(bytes.find("\n  \"generatedAt\" : \"2026-03-01T09:30:00Z\",\n"), std::string::npos) << bytes;
    EXPECT_LT(bytes.find("\"clearedCount\""), bytes.find("\"generatedAt\""));
    EXPECT_EQ(bytes.find("classificationCache"), std::string::npos);

    const ReviewSnapshot decoded = SnapshotStore::decode(bytes);
    EXPECT_EQ(decoded.generatedAt, wholeSecond);
    EXPECT_EQ(decoded.items, sampleSnapshot().items);

    const std::string date = "\"2026-03-01T09:30:00Z\"";
    EXPECT_THROW(SnapshotStore::decode(replaced(bytes, date, "\"2026-03-01T09:30:00.5Z\"")), JsonDecodingError);
    EXPECT_THROW(SnapshotStore::decode(replaced(bytes, date, "794050200")), JsonDecodingError);
}

std::string many(const std::string& element, int count) {
    std::string joined = element;
    for (int i = 1; i < count; ++i) {
        joined += "," + element;
    }
    return joined;
}

// The decoder reads the long arrays element by element; it must read whatever the whole tree reads,
// keys given twice and elements of the wrong kind included.
TEST(SnapshotStoreTests, ReadsElementByElementWhatTheWholeTreeReads) {
    const auto treeDecode = [](const std::string& text) {
        return ReviewSnapshot::fromJson(parseJson(text), SnapshotStore::coding);
    };
    const std::string fields = R"("generatedAt":"2026-03-01T09:30:00Z","windowStart":"2026-02-22T09:30:00Z",)"
                               R"("windowEnd":"2026-03-01T09:30:00Z","messageCount":1,"activeConversations":1,)"
                               R"("inboundEndingCount":1,"clearedCount":0)";
    const std::string item = R"({"id":"m1","source":"messages","status":"reply","person":"Ann","date":"Today",)"
                             R"("summary":"S","context":"C","verdict":"V","tags":[]})";
    const std::string cached = R"({"source":"gmail","conversationID":"g1","fingerprint":"f","classifierRevision":3,)"
                               R"("engineSignature":"e","needsAction":false})";
    for (const std::string& text : {
             "{" + fields + R"(,"items":[)" + item + "," + item + R"(],"classificationCache":[)" + cached + "]}",
             "{" + fields + R"(,"items":[5],"items":[)" + item + R"(],"classificationCache":null})",
             "{" + fields + R"(,"items":[)" + item + R"(],"items":[[]]})",
             "{" + fields + R"(,"items":[)" + item + R"(],"items":"none"})",
             "{" + fields + R"(,"classificationCache":[)" + cached + R"(],"items":[],"classificationCache":[]})",
             "{" + fields + R"(,"items":[{"nested":{"items":[1]}}]})",
             "[" + item + "]",
             // What the cutter that finds the elements must not be fooled by.
             "{" + fields + R"(,"\u0069tems":[)" + item + R"(],"items":[]})",
             "{" + fields + R"(,"items":[tru],"items":[)" + item + "]}",
             "{" + fields + R"(,"items":[)" + item + item + "]}",
             "{" + fields + R"(,"items":[)" + item + ",]}",
             "{" + fields + R"(,"items":[)" + item + "]}x",
             "{" + fields + R"(,"items":[)" + replaced(item, R"("S")", R"("a\\\"]},{\"[")") + "]}",
             "{" + fields + R"(,"items":[)" + replaced(item, R"("S")", R"("a\\")") + "]}",
             "{" + fields + R"(,"items":[)" + item + R"(]  ,  "classificationCache" : [ )" + cached + " , " + cached +
                 " ] }",
             "{" + fields + R"(,"items":[)" + many(item, 3000) + "]}",
             "{" + fields + R"(,"items":[)" + many(item, 2500) + "," + replaced(item, R"("Ann")", "7") + "," +
                 many(item, 500) + "]}",
         }) {
        std::optional<std::string> tree;
        try {
            tree = SnapshotStore::encode(treeDecode(text));
        } catch (const JsonDecodingError&) {
        }
        if (tree) {
            EXPECT_EQ(SnapshotStore::encode(SnapshotStore::decode(text)), *tree) << text;
        } else {
            EXPECT_THROW(SnapshotStore::decode(text), JsonDecodingError) << text;
        }
    }
}

TEST(SnapshotStoreTests, SavesPrivatelyAndLoadsNothingFromBadFiles) {
    test::TempDir dir;
    const fs::path file = dir / "Nudgerly" / "gmail-snapshot.json";
    SnapshotStore::save(sampleSnapshot(), file);
    EXPECT_EQ(test::fileMode(file.parent_path()), 0700u);
    EXPECT_EQ(test::fileMode(file), 0600u);
    ASSERT_TRUE(SnapshotStore::load(file));
    EXPECT_EQ(SnapshotStore::load(file)->items, sampleSnapshot().items);

    EXPECT_EQ(SnapshotStore::load(dir / "missing.json"), std::nullopt);
    test::writeTestFile(dir / "empty.json", "");
    EXPECT_EQ(SnapshotStore::load(dir / "empty.json"), std::nullopt);
    const std::string bytes = readFile(file);
    test::writeTestFile(dir / "cut.json", bytes.substr(0, bytes.size() / 2));
    EXPECT_EQ(SnapshotStore::load(dir / "cut.json"), std::nullopt);
    test::writeTestFile(dir / "unknown.json", replaced(readFile(file), "\"action\"", "\"someday\""));
    EXPECT_EQ(SnapshotStore::load(dir / "unknown.json"), std::nullopt);
    // A snapshot linked from elsewhere is not read through the link.
    fs::create_symlink(file, dir / "linked.json");
    EXPECT_EQ(SnapshotStore::load(dir / "linked.json"), std::nullopt);
}

TEST(SnapshotStoreTests, AFileOverTheCapLoadsAsNoneWithoutBeingRead) {
    test::TempDir dir;
    test::makeSparseFile(dir / "messages-snapshot.json", SnapshotStore::maximumFileSize + 1);
    const uint64_t before = test::bytesReadByThisProcess();
    EXPECT_EQ(SnapshotStore::load(dir / "messages-snapshot.json"), std::nullopt);
    EXPECT_LT(test::bytesReadByThisProcess() - before, 64u * 1024);

    SnapshotStore::save(sampleSnapshot(), dir / "gmail-snapshot.json");
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(SnapshotStore::load(dir / "gmail-snapshot.json", stop.get_token()), CancelledError);
}

TEST(SnapshotStoreTests, AFailedSaveKeepsThePreviousFile) {
    test::TempDir dir;
    const fs::path file = dir / "messages-snapshot.json";
    SnapshotStore::save(sampleSnapshot(), file);
    const std::string before = readFile(file);

    ReviewSnapshot bigger = sampleSnapshot();
    bigger.items.resize(50, bigger.items.front());
    {
        test::FileSizeLimit limit(before.size());
        EXPECT_THROW(SnapshotStore::save(bigger, file), FileSystemError);
    }
    ReviewSnapshot unwritable = sampleSnapshot();
    unwritable.windowEnd = Date{std::numeric_limits<double>::infinity()};
    EXPECT_THROW(SnapshotStore::save(unwritable, file), JsonEncodingError);
    EXPECT_EQ(readFile(file), before);
}

TEST(KeychainStoreTests, SaveTwiceLoadAndRemoveInThePrivateSecretsFolder) {
    test::TempDir root;
    const AppEnvironment environment = AppEnvironment::underRoot(root.path());
    const SecretStore& secrets = environment.secrets;
    const std::string account = "gmail-oauth-tokens";
    secrets.save(R"({"access_token":"one"})", account);
    secrets.save(R"({"access_token":"two"})", account);
    EXPECT_EQ(secrets.load(account), R"({"access_token":"two"})");

    const fs::path folder = AppFiles::secretsDirectory(environment.configurationDirectory) /
                            SecretFileStore::fileName(environment.names.keychainService);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    EXPECT_EQ(test::fileMode(environment.configurationDirectory), 0700u);

    secrets.remove(account);
    EXPECT_EQ(secrets.load(account), std::nullopt);
}

}  // namespace
}  // namespace nudgerly
