#include <gtest/gtest.h>

#include "review/CompletionKeyPolicy.h"
#include "review/CompletionStatePolicy.h"

namespace nudgerly {
namespace {

ConversationMessage inbound(std::string text, double date) {
    return {.fromMe = false, .text = std::move(text), .date = Date{date}};
}
ConversationMessage outbound(std::string text, double date) {
    return {.fromMe = true, .text = std::move(text), .date = Date{date}};
}

Conversation conversation(std::string id, ReviewSource source, std::vector<ConversationMessage> messages) {
    return {.id = std::move(id), .source = source, .person = "P", .messages = std::move(messages)};
}

// These keys are stored in users' settings. The expected values are SHA-256 digests of the JSON the
// original encoder produced for each payload; if one of them changes, completed items reappear.
TEST(CompletionKeyTests, KeysAreFrozen) {
    EXPECT_EQ(CompletionKeyPolicy::key(conversation("a", ReviewSource::messages, {inbound("hi", 0)})),
              "completion-v1:26660b8501ecf36a275a7ef0acb2708ea2f692c9defb1e040fe7c17cb3a0ca46");
    // Slash, quotes, backslash, control characters, non-ASCII and the bits of -0.0.
    EXPECT_EQ(CompletionKeyPolicy::key(
                  conversation("gmail-thread-18c/2", ReviewSource::gmail,
                               {inbound("She said \"ok\" \\ path/to\n\tend\x01\x1f caf\u00e9 \U0001F600", -0.0)})),
              "completion-v1:a60037bbbd4023b90f5398ac4b6d9f7542670797d154fc138d2c9357052ecd80");
    EXPECT_EQ(CompletionKeyPolicy::key(
                  conversation("messages-chat-1-message-2", ReviewSource::messages, {inbound("x", 1.0)})),
              "completion-v1:fe69a0f1563287e4a5922b469ca1188e95f0b4a9b47fe4048e44e8e3b1383e69");
    EXPECT_EQ(CompletionKeyPolicy::key(
                  conversation("messages-chat-1-message-2", ReviewSource::messages, {inbound("x", 786000000.123)})),
              "completion-v1:beba979225c8aed14636fbdd03585d05f65a49783ade33c518dc79b1cb5aeca3");
}

TEST(CompletionKeyTests, KeyFollowsTheLatestInboundMessageOnly) {
    EXPECT_EQ(CompletionKeyPolicy::key(conversation("a", ReviewSource::messages, {outbound("x", 1)})), std::nullopt);
    EXPECT_EQ(CompletionKeyPolicy::key(conversation("a", ReviewSource::messages, {})), std::nullopt);

    const auto base = CompletionKeyPolicy::key(conversation("a", ReviewSource::messages, {inbound("hi", 5)}));
    ASSERT_TRUE(base);
    EXPECT_EQ(base->size(), 78u);
    EXPECT_EQ(CompletionKeyPolicy::key(
                  conversation("a", ReviewSource::messages, {inbound("hi", 5), outbound("ok", 6), outbound("!", 7)})),
              base);
    EXPECT_NE(CompletionKeyPolicy::key(conversation("b", ReviewSource::messages, {inbound("hi", 5)})), base);
    EXPECT_NE(CompletionKeyPolicy::key(conversation("a", ReviewSource::gmail, {inbound("hi", 5)})), base);
    EXPECT_NE(CompletionKeyPolicy::key(conversation("a", ReviewSource::messages, {inbound("hi", 5.0000001)})), base);
    // Display text is not part of the key.
    auto shown = inbound("hi", 5);
    shown.displayText = "Hi there";
    EXPECT_EQ(CompletionKeyPolicy::key(conversation("a", ReviewSource::messages, {shown})), base);
    // Invalid UTF-8 from a source must not break keying.
    EXPECT_TRUE(CompletionKeyPolicy::key(conversation("a", ReviewSource::messages, {inbound("\xff", 1)})));
}

ReviewItem item(std::string id, std::optional<std::string> key, std::optional<double> unixTime) {
    ReviewItem i;
    i.id = std::move(id);
    i.completionKey = std::move(key);
    if (unixTime) {
        i.timestamp = Date::fromUnix(*unixTime);
    }
    return i;
}

TEST(CompletionMigrationTests, ReplacesIdMarksOnlyWhenNothingNewArrived) {
    using CompletionStatePolicy::migratingLegacyItems;
    const std::set<std::string> marked{"x", "completion-v1:old"};

    // Same whole second (100.7 and 100.2 both floor to 100): the id mark becomes the key.
    EXPECT_EQ(migratingLegacyItems(marked, {item("x", {}, 100.7)}, {item("x", "K", 100.2)}),
              (std::set<std::string>{"K", "completion-v1:old"}));
    // A newer second: the mark is simply dropped.
    EXPECT_EQ(migratingLegacyItems(marked, {item("x", {}, 100.7)}, {item("x", "K", 101.0)}),
              (std::set<std::string>{"completion-v1:old"}));
    // Rounding goes toward the past: -0.5 is second -1, not 0.
    EXPECT_EQ(migratingLegacyItems(marked, {item("x", {}, -0.5)}, {item("x", "K", 0.0)}),
              (std::set<std::string>{"completion-v1:old"}));
    EXPECT_EQ(migratingLegacyItems(marked, {item("x", {}, -0.5)}, {item("x", "K", -0.9)}),
              (std::set<std::string>{"K", "completion-v1:old"}));
    // Vanished item, or one without a time: dropped.
    EXPECT_EQ(migratingLegacyItems(marked, {item("x", {}, 100)}, {}), (std::set<std::string>{"completion-v1:old"}));
    EXPECT_EQ(migratingLegacyItems(marked, {item("x", {}, std::nullopt)}, {item("x", "K", 100)}),
              (std::set<std::string>{"completion-v1:old"}));
    // No previous items, or items that already had keys: nothing changes.
    EXPECT_EQ(migratingLegacyItems(marked, {}, {item("x", "K", 100)}), marked);
    EXPECT_EQ(migratingLegacyItems(marked, {item("x", "Q", 100)}, {item("x", "K", 100)}), marked);
}

TEST(CompletionMigrationTests, KeepsTheIdMarkWhileTheItemStillHasNoKey) {
    using CompletionStatePolicy::migratingLegacyItems;
    const std::set<std::string> marked{"x"};
    // Unchanged and still keyless: the user's mark must survive refresh after refresh.
    auto result = migratingLegacyItems(marked, {item("x", {}, 100.4)}, {item("x", {}, 100.9)});
    EXPECT_EQ(result, marked);
    result = migratingLegacyItems(result, {item("x", {}, 100.9)}, {item("x", {}, 100.9)});
    EXPECT_EQ(result, marked);
    // Something new arrived: the item comes back.
    EXPECT_EQ(migratingLegacyItems(marked, {item("x", {}, 100.4)}, {item("x", {}, 200)}), std::set<std::string>{});
    // The first refreshed item with an id wins.
    EXPECT_EQ(migratingLegacyItems(marked, {item("x", {}, 100)}, {item("x", "A", 100), item("x", "B", 100)}),
              std::set<std::string>{"A"});
}

}  // namespace
}  // namespace nudgerly
