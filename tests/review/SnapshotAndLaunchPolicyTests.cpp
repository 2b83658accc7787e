#include <gtest/gtest.h>

#include "review/PartialSnapshotPolicy.h"
#include "review/RefreshLaunchPolicy.h"

namespace nudgerly {
namespace {

ReviewItem item(std::string id) {
    ReviewItem i;
    i.id = std::move(id);
    return i;
}

CachedConversationClassification entry(std::string id) {
    return {.conversationID = std::move(id), .fingerprint = "f", .classifierRevision = 11};
}

std::vector<std::string> ids(const std::vector<ReviewItem>& items) {
    std::vector<std::string> out;
    for (const auto& i : items) {
        out.push_back(i.id);
    }
    return out;
}

ReviewSnapshot snapshot(std::vector<ReviewItem> items,
                        std::optional<std::vector<CachedConversationClassification>> cache, int64_t count) {
    return {.generatedAt = Date{double(count)},
            .messageCount = count,
            .items = std::move(items),
            .classificationCache = std::move(cache)};
}

TEST(PartialSnapshotTests, AppendsPreviousEntriesOfUnreadableConversations) {
    using PartialSnapshotPolicy::preservingUnavailableConversations;
    const auto previous = snapshot({item("a"), item("b")}, std::vector{entry("a"), entry("b")}, 1);
    const auto fresh = snapshot({item("b"), item("c")}, std::nullopt, 2);

    const auto result = preservingUnavailableConversations(previous, fresh, {"a", "b"});
    EXPECT_EQ(ids(result.items), (std::vector<std::string>{"b", "c", "a"}));
    ASSERT_TRUE(result.classificationCache);
    ASSERT_EQ(result.classificationCache->size(), 2u);  // fresh had no cache: exactly the kept entries
    EXPECT_EQ(result.classificationCache->at(0).conversationID, "a");
    EXPECT_EQ(result.messageCount, 2);
    EXPECT_EQ(result.generatedAt, Date{2});
}

TEST(PartialSnapshotTests, ReturnsTheFreshSnapshotWhenNothingIsKept) {
    using PartialSnapshotPolicy::preservingUnavailableConversations;
    const auto fresh = snapshot({item("c")}, std::nullopt, 2);
    EXPECT_EQ(ids(preservingUnavailableConversations(std::nullopt, fresh, {"a"}).items), ids(fresh.items));
    const auto previous = snapshot({item("a")}, std::nullopt, 1);
    EXPECT_EQ(preservingUnavailableConversations(previous, fresh, {}).items.size(), 1u);
    const auto unmatched = preservingUnavailableConversations(previous, fresh, {"zzz"});
    EXPECT_EQ(ids(unmatched.items), ids(fresh.items));
    EXPECT_FALSE(unmatched.classificationCache);
}

TEST(RefreshLaunchTests, StartsEachSourceOnceAndAllOnlyWhenIdle) {
    using RefreshLaunchPolicy::launchableTargets;
    using enum ReviewSource;
    EXPECT_EQ(launchableTargets(std::nullopt, {}), (std::vector{messages, gmail}));
    EXPECT_TRUE(launchableTargets(std::nullopt, {gmail}).empty());
    EXPECT_EQ(launchableTargets(gmail, {messages}), (std::vector{gmail}));
    EXPECT_TRUE(launchableTargets(gmail, {gmail}).empty());
}

}  // namespace
}  // namespace nudgerly
