#include <gtest/gtest.h>

#include "ConversationFixtures.h"
#include "classifier/HeuristicClassifier.h"

namespace nudgerly {
namespace {

using namespace fixtures;
using HeuristicClassifier::classify;

TEST(HeuristicClassifierTests, ExcludedOutcomesOweNothing) {
    const auto nothingOwed = [](const char* reason) { return Classification{.confidence = 0.65, .reason = reason}; };
    EXPECT_EQ(classify(conversation({})), nothingOwed("The latest message is yours."));
    EXPECT_EQ(classify(saying("Your order was shipped and is out for delivery")),
              nothingOwed("Automated notification or transactional noise."));
    // Sensitive words do not mark an excluded outcome.
    EXPECT_EQ(classify(saying("Your security code has changed")),
              nothingOwed("Automated notification or transactional noise."));
    EXPECT_EQ(classify(saying("She said “can you come?” and I agreed")),
              nothingOwed("No clear unanswered request or commitment was detected."));
    EXPECT_EQ(classify(saying("We've updated our privacy policy. Do you need anything?", ReviewSource::gmail)),
              nothingOwed("Passive business policy notice."));
}

TEST(HeuristicClassifierTests, TasksOutrankNoiseQuestionsAndOpenLoops) {
    const Classification sign = classify(saying("Please sign the attached form by Friday"));
    EXPECT_EQ(sign, (Classification{.needsAction = true,
                                    .status = ReviewStatus::action,
                                    .confidence = 0.72,
                                    .summary = "Please sign the attached form by Friday",
                                    .reason = "Review and complete the requested task if it is still outstanding.",
                                    .tags = {"Action", "Local review"}}));
    EXPECT_EQ(classify(saying("Your verification code is below. Payment due today")).status, ReviewStatus::action);
    EXPECT_EQ(classify(saying("PLEASE SIGN HERE")).status, ReviewStatus::action);

    const Classification question = classify(saying("Are you free Thursday?"));
    EXPECT_EQ(question.status, ReviewStatus::reply);
    EXPECT_EQ(question.confidence, 0.76);
    EXPECT_EQ(question.draft,
              "Sorry for the delay—thanks for reaching out. This is still on my radar, and I’ll "
              "follow up shortly.");
    EXPECT_EQ(question.tags, (std::vector<std::string>{"Direct ask", "Needs reply"}));

    const Classification loop = classify(saying("Let's catch up next week"));
    EXPECT_EQ(loop.status, ReviewStatus::nudgerly);
    EXPECT_EQ(loop.confidence, 0.64);
    EXPECT_EQ(loop.tags, (std::vector<std::string>{"Open loop", "Optional"}));
    EXPECT_FALSE(loop.draft);
}

TEST(HeuristicClassifierTests, DeliveryProblemsCountOnlyInMessages) {
    const std::string text = "We were unable to deliver your package";
    EXPECT_EQ(classify(saying(text)).status, ReviewStatus::action);
    EXPECT_FALSE(classify(saying(text, ReviewSource::gmail)).needsAction);
}

TEST(HeuristicClassifierTests, SensitivityReadsTheLastEightMessages) {
    std::vector<ConversationMessage> messages{inbound("The bank called about it")};
    for (int i = 0; i < 6; ++i) {
        messages.push_back(i % 2 ? inbound("ok") : outbound("ok"));
    }
    messages.push_back(inbound("Are you around?"));
    ASSERT_EQ(messages.size(), 8u);
    EXPECT_TRUE(classify(conversation(messages)).sensitive);
    messages.insert(messages.begin() + 1, outbound("ok"));
    EXPECT_FALSE(classify(conversation(messages)).sensitive);  // the bank is ninth from last now
}

}  // namespace
}  // namespace nudgerly
