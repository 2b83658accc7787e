#include <gtest/gtest.h>

#include "core/JsonWriter.h"
#include "review/Classification.h"
#include "review/Conversation.h"
#include "review/LookbackWindow.h"
#include "review/QueueSort.h"
#include "review/ReviewSnapshot.h"

namespace nudgerly {
namespace {

using nlohmann::json;

const JsonCoding iso{DateCoding::iso8601};

ReviewItem fullItem() {
    return {
        .id = "messages-chat-1-message-9",
        .completionKey = "completion-v1:abc",
        .source = ReviewSource::messages,
        .status = ReviewStatus::action,
        .person = "Ada",
        .target = "+15551234567",
        .date = "Mar 1",
        .timestamp = Date::fromUnix(1772357400),
        .priority = 87,
        .isKnownContact = true,
        .summary = "Send the deck",
        .context = "Can you send the deck?",
        .verdict = "Direct request",
        .draft = "Sending it now.",
        .tags = {"work", "deck"},
        .openURL = "sms:+15551234567",
        .confidence = 0.9,
        .messageLinkPreview = MessageLinkPreview{"Deck", "example.com", "https://example.com/d", "/tmp/p.png"},
    };
}

TEST(ValueTypeCodingTests, MessagesCodeOnlyTheirThreeCoreFields) {
    const ConversationMessage message{
        .fromMe = false,
        .text = "hi",
        .date = Date{10},
        .displayText = "Hi!",
        .linkPreview = MessageLinkPreview{std::nullopt, "example.com", "https://example.com", std::nullopt},
        .senderKey = 4,
        .senderIdentifier = "+1555",
        .messageID = 99,
    };
    EXPECT_EQ(JsonWriter::write(message.toJson()), R"({"date":10,"fromMe":false,"text":"hi"})");
    const auto decoded = ConversationMessage::fromJson(message.toJson());
    EXPECT_EQ(decoded.text, "hi");
    EXPECT_FALSE(decoded.displayText || decoded.linkPreview || decoded.senderKey || decoded.senderIdentifier ||
                 decoded.messageID);
}

TEST(ValueTypeCodingTests, ClassificationUsesIncludeInQueueKey) {
    const Classification c{.needsAction = true,
                           .status = ReviewStatus::reply,
                           .confidence = 1.0,
                           .summary = "s",
                           .reason = "r",
                           .tags = {"t"}};
    EXPECT_EQ(
        JsonWriter::write(c.toJson()),
        R"({"confidence":1,"include_in_queue":true,"reason":"r","sensitive":false,"status":"reply","summary":"s","tags":["t"]})");
    EXPECT_EQ(Classification::fromJson(c.toJson()), c);

    json renamed = c.toJson();
    renamed.erase("include_in_queue");
    renamed["needsAction"] = true;
    EXPECT_THROW(Classification::fromJson(renamed), JsonDecodingError);

    json nullStatus = c.toJson();
    nullStatus["status"] = nullptr;
    EXPECT_EQ(Classification::fromJson(nullStatus).status, std::nullopt);
    json unknownStatus = c.toJson();
    unknownStatus["status"] = "Reply";
    EXPECT_THROW(Classification::fromJson(unknownStatus), JsonDecodingError);
}

TEST(ValueTypeCodingTests, ItemsLeaveOutAbsentOptionalsAndRoundTrip) {
    const ReviewItem item = fullItem();
    EXPECT_EQ(ReviewItem::fromJson(item.toJson(iso), iso), item);

    ReviewItem bare = item;
    bare.completionKey.reset();
    bare.target.reset();
    bare.draft.reset();
    bare.openURL.reset();
    bare.timestamp = std::nullopt;
    bare.priority = std::nullopt;
    bare.isKnownContact = std::nullopt;
    bare.confidence = std::nullopt;
    bare.messageLinkPreview = std::nullopt;
    const json encoded = bare.toJson(iso);
    for (const char* key : {"completionKey", "target", "timestamp", "priority", "isKnownContact", "draft", "openURL",
                            "confidence", "messageLinkPreview"}) {
        EXPECT_FALSE(encoded.contains(key)) << key;
    }
    EXPECT_EQ(encoded.size(), 9u);
    EXPECT_EQ(ReviewItem::fromJson(encoded, iso), bare);
}

TEST(ValueTypeCodingTests, ItemEqualityAndHashCoverEveryField) {
    ReviewItem a = fullItem();
    ReviewItem b = a;
    EXPECT_EQ(std::hash<ReviewItem>{}(a), std::hash<ReviewItem>{}(b));
    b.confidence = 0.8;
    EXPECT_NE(a, b);
    EXPECT_NE(std::hash<ReviewItem>{}(a), std::hash<ReviewItem>{}(b));
    // 0 and -0 compare equal, so they must hash alike.
    a.confidence = 0.0;
    b.confidence = -0.0;
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<ReviewItem>{}(a), std::hash<ReviewItem>{}(b));
    // The link preview is a value of each item's own, compared by what it holds.
    b.messageLinkPreview->title = "Other deck";
    EXPECT_EQ(a.messageLinkPreview->title, "Deck");
    EXPECT_NE(a, b);
    b.messageLinkPreview = *a.messageLinkPreview;
    EXPECT_EQ(a, b);
    b.messageLinkPreview = std::nullopt;
    EXPECT_NE(a, b);
}

TEST(ValueTypeCodingTests, SnapshotsRoundTripAndFailWhole) {
    ReviewSnapshot snapshot{
        .generatedAt = Date::fromUnix(1772357400),
        .windowStart = Date::fromUnix(1771752600),
        .windowEnd = Date::fromUnix(1772357400),
        .messageCount = 12,
        .activeConversations = 4,
        .inboundEndingCount = 3,
        .clearedCount = 2,
        .items = {fullItem()},
        .classificationCache = std::vector<CachedConversationClassification>{{
            .source = ReviewSource::gmail,
            .conversationID = "gmail-thread-1",
            .fingerprint = std::string(64, 'a'),
            .classifierRevision = 11,
            .engineSignature = "heuristic-fallback",
            .needsAction = true,
            .classification = Classification{.needsAction = true, .status = ReviewStatus::reply},
        }},
    };
    const json encoded = snapshot.toJson(iso);
    EXPECT_EQ(encoded["classificationCache"][0]["needsAction"], true);
    EXPECT_EQ(encoded["classificationCache"][0]["classification"]["include_in_queue"], true);
    const ReviewSnapshot decoded = ReviewSnapshot::fromJson(encoded, iso);
    EXPECT_EQ(decoded.items, snapshot.items);
    EXPECT_EQ(decoded.classificationCache->at(0).classification, snapshot.classificationCache->at(0).classification);

    json noCache = encoded;
    noCache.erase("classificationCache");
    noCache["items"][0].erase("completionKey");
    const ReviewSnapshot older = ReviewSnapshot::fromJson(noCache, iso);
    EXPECT_FALSE(older.classificationCache);
    EXPECT_FALSE(older.items[0].completionKey);

    json badItem = encoded;
    badItem["items"][0]["status"] = "later";
    EXPECT_THROW(ReviewSnapshot::fromJson(badItem, iso), JsonDecodingError);
    json fractionalCount = encoded;
    fractionalCount["messageCount"] = 1.5;
    EXPECT_THROW(ReviewSnapshot::fromJson(fractionalCount, iso), JsonDecodingError);
}

TEST(ValueTypeCodingTests, ConversationsRoundTripTheirEightFields) {
    const Conversation conversation{
        .id = "gmail-thread-7",
        .source = ReviewSource::gmail,
        .person = "Grace",
        .subject = "Lunch?",
        .messages = {{.fromMe = false, .text = "Lunch?", .date = Date{5}}},
        .openURL = "https://mail.google.com/mail/u/0/#inbox/7",
        .isKnownContact = false,
    };
    const json encoded = conversation.toJson();
    EXPECT_EQ(encoded.size(), 7u);  // target is absent
    const Conversation decoded = Conversation::fromJson(encoded);
    EXPECT_EQ(decoded.toJson(), encoded);
    EXPECT_THROW(Conversation::fromJson(json::object({{"id", "x"}})), JsonDecodingError);
}

TEST(ValueTypeCodingTests, RawValuesAreExactAndCasesKeepTheirOrder) {
    EXPECT_EQ(fromRaw<LookbackWindow>(7), LookbackWindow::seven);
    EXPECT_EQ(fromRaw<LookbackWindow>(14), std::nullopt);
    EXPECT_EQ(fromRaw<LookbackWindow>(0), std::nullopt);
    EXPECT_EQ(fromRaw<QueueSort>("Priority"), std::nullopt);
    EXPECT_EQ(fromRaw<QueueSort>("type"), QueueSort::type);
    EXPECT_EQ(allCases<ReviewSource>(), (std::array{ReviewSource::messages, ReviewSource::gmail}));
    EXPECT_EQ(allCases<ReviewStatus>(),
              (std::array{ReviewStatus::reply, ReviewStatus::action, ReviewStatus::nudgerly}));
    EXPECT_EQ(allCases<QueueSort>(),
              (std::array{QueueSort::priority, QueueSort::newest, QueueSort::oldest, QueueSort::type}));
    std::vector<int> days;
    for (const auto window : allCases<LookbackWindow>()) {
        days.push_back(toRaw(window));
    }
    EXPECT_EQ(days, (std::vector<int>{3, 7, 30, 60, 90}));
}

}  // namespace
}  // namespace nudgerly
