#include <gtest/gtest.h>

#include "ConversationFixtures.h"
#include "classifier/LatestTurnPolicy.h"

namespace nudgerly {
namespace {

using namespace fixtures;

Classification withStatus(std::optional<ReviewStatus> status) {
    return {.needsAction = status.has_value(), .status = status, .confidence = 0.8, .summary = "s", .reason = "r"};
}

TEST(LatestTurnPolicyTests, OnlyAPlayedDownRealQuestionIsReexamined) {
    using LatestTurnPolicy::needsAdjudication;
    const Conversation game = saying("Did you see the game?");
    EXPECT_TRUE(needsAdjudication(game, withStatus(ReviewStatus::nudgerly)));
    EXPECT_TRUE(needsAdjudication(game, withStatus(std::nullopt)));
    EXPECT_FALSE(needsAdjudication(game, withStatus(ReviewStatus::action)));
    EXPECT_FALSE(needsAdjudication(game, withStatus(ReviewStatus::reply)));
    EXPECT_FALSE(needsAdjudication(conversation({outbound("Did you see the game?")}), withStatus(std::nullopt)));
    EXPECT_FALSE(needsAdjudication(saying("The headline says “Did they win?”"), withStatus(ReviewStatus::nudgerly)));
}

TEST(LatestTurnPolicyTests, AssessmentsBecomeRepliesOrNothing) {
    const Conversation game = saying("Did you see the game?");
    Classification yes = withStatus(ReviewStatus::action);
    yes.draft = "Yes!";
    yes.tags = {"Social"};
    yes.confidence = 1.5;  // left for the caller's checks
    Classification reply = yes;
    reply.status = ReviewStatus::reply;
    EXPECT_EQ(LatestTurnPolicy::normalizeAssessment(yes, game), reply);

    Classification no = yes;
    no.needsAction = false;
    EXPECT_EQ(LatestTurnPolicy::normalizeAssessment(no, game),
              (Classification{.confidence = 1.5, .summary = "s", .reason = "r"}));
    EXPECT_FALSE(LatestTurnPolicy::normalizeAssessment(yes, conversation({outbound("Did you?")})));
}

TEST(LatestTurnPolicyTests, AConfidentReplyOverridesThePrimary) {
    const Conversation game = saying("Did   you see\nthe game?");
    Classification primary = withStatus(ReviewStatus::nudgerly);
    primary.sensitive = true;
    Classification assessment = withStatus(ReviewStatus::reply);
    assessment.summary = "  ";
    assessment.tags = {"Needs reply", "Social"};

    assessment.confidence = 0.74;
    EXPECT_FALSE(LatestTurnPolicy::replyOverride(primary, assessment, game));
    assessment.confidence = 0.75;
    const auto override = LatestTurnPolicy::replyOverride(primary, assessment, game);
    ASSERT_TRUE(override);
    EXPECT_EQ(override->status, ReviewStatus::reply);
    EXPECT_EQ(override->summary, "Did you see the game?");
    EXPECT_EQ(override->tags, (std::vector<std::string>{"Needs reply", "Social", "Latest-message check"}));
    EXPECT_TRUE(override->sensitive);

    assessment.status = std::nullopt;
    EXPECT_FALSE(LatestTurnPolicy::replyOverride(primary, assessment, game));
}

}  // namespace
}  // namespace nudgerly
