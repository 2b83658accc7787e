#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "ConversationFixtures.h"
#include "classifier/ClassificationPolicy.h"
#include "core/Text.h"

namespace nudgerly {
namespace {

using namespace fixtures;
using ClassificationPolicy::normalize;

Classification answer(std::optional<ReviewStatus> status, std::string reason = "Needs attention.",
                      std::vector<std::string> tags = {"Tag"}) {
    return {.needsAction = status.has_value(),
            .status = status,
            .confidence = 0.8,
            .summary = "Summary",
            .reason = std::move(reason),
            .draft = "Draft",
            .tags = std::move(tags)};
}

TEST(ClassificationPolicyTests, TheLatestMessageCorrectsTheStatus) {
    const auto lease = normalize(answer(ReviewStatus::reply), saying("Can you sign the lease today?"));
    ASSERT_TRUE(lease);
    EXPECT_EQ(lease->status, ReviewStatus::action);
    EXPECT_EQ(lease->draft, "Draft");

    const auto meet = normalize(answer(ReviewStatus::action), saying("Are you free to meet Thursday?"));
    ASSERT_TRUE(meet);
    EXPECT_EQ(meet->status, ReviewStatus::reply);

    // The status wins over a false flag.
    Classification flagOff = answer(ReviewStatus::action);
    flagOff.needsAction = false;
    const auto upload = normalize(flagOff, saying("Please upload the form"));
    ASSERT_TRUE(upload);
    EXPECT_TRUE(upload->needsAction);
    EXPECT_EQ(upload->status, ReviewStatus::action);
}

TEST(ClassificationPolicyTests, QuotedQuestionsAndTheModelsOwnWordsExclude) {
    const auto excluded = [](const std::optional<Classification>& result) {
        return result && !result->needsAction && !result->status && !result->draft && result->tags.empty();
    };
    EXPECT_TRUE(
        excluded(normalize(answer(ReviewStatus::reply), saying("The headline says “Did they really win?” Wild."))));
    EXPECT_TRUE(
        excluded(normalize(answer(ReviewStatus::nudgerly, "No action is required."), saying("let's catch up"))));
    EXPECT_TRUE(
        normalize(answer(ReviewStatus::reply, "No action is required."), saying("Did you see the game?"))->needsAction);

    Classification denied = answer(ReviewStatus::reply);
    denied.summary = "Not a direct question";
    EXPECT_TRUE(excluded(normalize(denied, saying("Just checking in on things"))));

    EXPECT_TRUE(excluded(normalize(answer(ReviewStatus::reply, "r", {"Delegated"}), saying("Did you see it?"))));
    Classification nullSummary = answer(ReviewStatus::reply);
    nullSummary.summary = "  NULL \n";
    EXPECT_TRUE(excluded(normalize(nullSummary, saying("Did you see it?"))));
    // The excluded answer keeps the model's own words, bounded.
    EXPECT_EQ(normalize(nullSummary, saying("Did you see it?"))->summary, "NULL");

    // Casual commentary decides for follow-ups only without an open-loop phrase.
    EXPECT_TRUE(excluded(normalize(answer(ReviewStatus::nudgerly, "Casual commentary."), saying("Great game"))));
    EXPECT_TRUE(
        normalize(answer(ReviewStatus::nudgerly, "Casual conversation."), saying("Let's catch up"))->needsAction);
    EXPECT_TRUE(normalize(answer(ReviewStatus::nudgerly), saying("Great game"))->needsAction);
}

TEST(ClassificationPolicyTests, SelfContradictingAnswersAreRejected) {
    Classification noStatus = answer(std::nullopt);
    noStatus.needsAction = true;
    EXPECT_FALSE(normalize(noStatus, saying("Can you send the file?")));
    EXPECT_FALSE(normalize(noStatus, saying("Great game")));
    noStatus.tags = {"delegated"};
    const auto marked = normalize(noStatus, saying("Can you send the file?"));
    ASSERT_TRUE(marked);
    EXPECT_FALSE(marked->needsAction);
    EXPECT_FALSE(normalize(answer(ReviewStatus::reply), conversation({})));
}

TEST(ClassificationPolicyTests, BoundsConfidenceAndTexts) {
    const Conversation question = saying("Did you see it?");
    Classification high = answer(ReviewStatus::reply);
    high.confidence = 1.7;
    high.summary = std::string(450, 's');
    const auto bounded = normalize(high, question);
    EXPECT_EQ(bounded->confidence, 1.0);
    EXPECT_EQ(bounded->summary, std::string(399, 's') + "…");
    EXPECT_EQ(text::graphemeCount(bounded->summary), 400u);

    high.confidence = -0.2;
    EXPECT_EQ(normalize(high, question)->confidence, 0.0);
    high.confidence = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(normalize(high, question)->confidence, 0.0);
    EXPECT_EQ(ClassificationPolicy::boundedField("  exactly  ", 7), "exactly");
}

}  // namespace
}  // namespace nudgerly
