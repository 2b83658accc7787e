#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "chatdb/ChatDatabase.h"
#include "chatdb/ImageHeaders.h"
#include "chatdb/KeyedArchiveWriter.h"
#include "chatdb/TypedStreamWriter.h"
#include "files/TempDir.h"
#include "sources/messages/MessagePayloads.h"
#include "sources/messages/MessagesText.h"

namespace nudgerly {
namespace {

using namespace std::literals;

TEST(MessagePayloadsTests, TextColumnFirstThenTheArchivedBody) {
    const std::string body = test::archivedAttributedString({.text = "from the body \U0001F4AC"});
    EXPECT_EQ(MessagePayloads::decodedText("from the column", "not an archive at all"), "from the column");
    EXPECT_EQ(MessagePayloads::decodedText("", body), "from the body \U0001F4AC");
    EXPECT_EQ(MessagePayloads::decodedText("", "not an archive at all"), "");
    EXPECT_EQ(MessagePayloads::decodedText("", ""), "");
    EXPECT_EQ(MessagePayloads::decodedText("bad \xFF byte", body), "bad \uFFFD byte");
}

TEST(MessagePayloadsTests, OnlyTheBeginningOfAHugeTextIsTaken) {
    using MessagePayloads::decodedText;
    using MessagePayloads::longestTakenText;
    std::string story;
    while (story.size() < 4 * longestTakenText) {
        story += "So here is the whole story, caf\u00E9 \U0001F44D\U0001F3FD and all.\n";
    }
    for (const auto& [column, body] :
         {std::pair{story, ""s}, std::pair{""s, test::archivedAttributedString({.text = story})}}) {
        const std::string taken = decodedText(column, body);
        EXPECT_LE(taken.size(), longestTakenText + 3);
        EXPECT_TRUE(taken.ends_with("\u2026"));
        // The message as the queue shows it is the same.
        EXPECT_EQ(MessagesText::cleanedText(taken), MessagesText::cleanedText(story));
    }
    // A character across the cut is left out whole.
    const std::string start(longestTakenText - 1, 'a');
    EXPECT_TRUE(decodedText(start + "\u00E9" + story, {}) == start + "\u2026");
    const std::string whole = std::string(longestTakenText - 2, 'a') + "\u00E9";
    EXPECT_TRUE(decodedText(whole, {}) == whole);
}

// A chat.db with attachments for message 7, the image files beside it, and a read-only connection to
// it, as the reader holds one.
class PreviewImageTests : public ::testing::Test {
protected:
    void SetUp() override {
        writer_ = std::make_unique<test::ChatDatabase>(folder_ / "chat.db");
        writer_->execute("INSERT INTO message (ROWID, guid, text) VALUES (7, 'g7', 'look'), (8, 'g8', 'other')");
    }

    // An extension-less file holding `bytes`, attached to message 7 with the given size in the table.
    std::string attach(const std::string& name, const std::string& bytes, int64_t totalBytes, int64_t message = 7) {
        const std::filesystem::path path = folder_ / "Attachments" / name / "preview";
        test::writeTestFile(path, bytes);
        writer_->addAttachment(message, path.string(), totalBytes);
        return path.string();
    }

    std::optional<std::string> bestImage(int64_t message = 7) {
        sqlite3* database = nullptr;
        EXPECT_EQ(sqlite3_open_v2((folder_ / "chat.db").c_str(), &database, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        auto result = MessagePayloads::cachedPreviewImagePath(database, message, folder_ / "home");
        sqlite3_close(database);
        return result;
    }

    test::TempDir folder_;
    std::unique_ptr<test::ChatDatabase> writer_;
};

TEST_F(PreviewImageTests, OnlyImagesAtLeast240By120QualifyAndTheLargestAreaWins) {
    attach("a", test::pngHeader(300, 100), 5000);
    const std::string tallEnough = attach("b", test::jpegHeader(250, 130), 4000);
    EXPECT_EQ(bestImage(), tallEnough);

    attach("c", test::jpegHeader(240, 120), 9000);
    const std::string larger = attach("d", test::pngHeader(480, 240), 1000);
    EXPECT_EQ(bestImage(), larger);
}

TEST_F(PreviewImageTests, OnEqualAreasTheLargerFileThenTheNewerRowWins) {
    attach("small-file", test::pngHeader(200, 400), 3000);
    const std::string largerFile = attach("large-file", test::jpegHeader(400, 200), 5000);
    EXPECT_EQ(bestImage(), largerFile);

    // Same area, same file size: the newer row is listed first.
    const std::string sameSizeNewer = attach("same-size-newer", test::pngHeader(320, 250), 5000);
    EXPECT_EQ(bestImage(), sameSizeNewer);
}

TEST_F(PreviewImageTests, SkipsEverythingThatIsNotAReadableImageFile) {
    const std::filesystem::path fifo = folder_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    writer_->addAttachment(7, fifo.string(), 90'000);  // listed first; opening it would block
    writer_->addAttachment(7, folder_.path().string(), 80'000);
    writer_->addAttachment(7, "/dev/zero", 70'000);
    writer_->addAttachment(7, (folder_ / "missing").string(), 60'000);
    writer_->addAttachment(7, "relative/preview", 50'000);
    writer_->addAttachment(7, std::nullopt, 40'000);
    attach("truncated", test::pngHeader(1000, 1000).substr(0, 20), 30'000);
    attach("text", "Not an image, just words.", 20'000);
    attach("other-message", test::pngHeader(2000, 2000), 99'000, 8);
    const std::string image = attach("image", test::jpegHeader(600, 315), 10'000);

    EXPECT_EQ(bestImage(), image);
    EXPECT_EQ(bestImage(9), std::nullopt);
}

TEST_F(PreviewImageTests, ExpandsALeadingTildeToTheHomeFolder) {
    const std::filesystem::path home = folder_ / "home";
    test::writeTestFile(home / "Library/Messages/Attachments/ab/01/preview", test::pngHeader(640, 480));
    writer_->addAttachment(7, "~/Library/Messages/Attachments/ab/01/preview", 100);
    EXPECT_EQ(bestImage(), (home / "Library/Messages/Attachments/ab/01/preview").string());
}

TEST_F(PreviewImageTests, ALinkPreviewCarriesTheChosenImage) {
    const std::string image = attach("image", test::pngHeader(1200, 630), 10'000);
    const std::string payload = test::richLinkArchive({.url = test::ArchivedUrl{.relative = "https://example.com/a"}});

    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open_v2((folder_ / "chat.db").c_str(), &database, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    const auto preview =
        MessagePayloads::linkPreview(database, 7, MessagePayloads::urlBalloonProvider, payload, folder_ / "home");
    const auto notALink = MessagePayloads::linkPreview(database, 7, "com.apple.Handwriting.HandwritingProvider",
                                                       payload, folder_ / "home");
    sqlite3_close(database);

    ASSERT_TRUE(preview.has_value());
    EXPECT_EQ(preview->imagePath, image);
    EXPECT_EQ(preview->domain, "example.com");
    EXPECT_EQ(notALink, std::nullopt);
}

TEST(PreviewImageDatabaseTests, ADatabaseWithoutTheTablesGivesNoImage) {
    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open_v2(":memory:", &database, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    EXPECT_EQ(MessagePayloads::cachedPreviewImagePath(database, 1, "/"), std::nullopt);
    sqlite3_close(database);
    EXPECT_EQ(MessagePayloads::cachedPreviewImagePath(nullptr, 1, "/"), std::nullopt);
}

}  // namespace
}  // namespace nudgerly
