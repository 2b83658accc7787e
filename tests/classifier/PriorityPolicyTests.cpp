#include <limits>

#include <gtest/gtest.h>

#include "ConversationFixtures.h"
#include "classifier/PriorityPolicy.h"

namespace nudgerly {
namespace {

using namespace fixtures;

const Date now{800'000'000};
constexpr double hour = 3600;
constexpr double day = 86400;

Date ago(double seconds) {
    return now.addingSeconds(-seconds);
}

int scoreOf(std::optional<ReviewStatus> status, const Conversation& c, std::vector<std::string> tags = {},
            bool sensitive = false) {
    const Classification classification{
        .needsAction = true, .status = status, .tags = std::move(tags), .sensitive = sensitive};
    return PriorityPolicy::score(c, classification, now);
}

TEST(PriorityPolicyTests, AddsStatusUrgencyQuestionSensitivityAndAge) {
    EXPECT_EQ(scoreOf(ReviewStatus::reply, conversation({inbound("Are you free today?", ago(3 * day + 60))})), 108);
    EXPECT_EQ(scoreOf(ReviewStatus::action, conversation({inbound("Did you get it?", ago(day + 60))},
                                                         ReviewSource::gmail, "Invoice PAST DUE")),
              91);
    EXPECT_EQ(scoreOf(ReviewStatus::nudgerly, conversation({inbound("Nice trip", ago(40 * day))})), 45);
    EXPECT_EQ(scoreOf(ReviewStatus::reply, conversation({inbound("Call me", now)}), {"Local", "DIRECT ASK"}), 80);
    EXPECT_EQ(scoreOf(ReviewStatus::reply, conversation({inbound("Call me", now)}), {}, true), 78);
    EXPECT_EQ(scoreOf(ReviewStatus::action, conversation({inbound("The rent is overdue", now)})), 65);
    EXPECT_EQ(scoreOf(ReviewStatus::action, conversation({inbound("The rent is past due", now)})), 90);
    EXPECT_EQ(scoreOf(std::nullopt, conversation({inbound("URGENT", now)})), 0);
    EXPECT_EQ(scoreOf(ReviewStatus::reply, conversation({})), 0);
}

TEST(PriorityPolicyTests, AgeCountsWholeDaysUpToTwentyAndSurvivesBrokenDates) {
    const auto aged = [](Date sent) {
        return scoreOf(ReviewStatus::nudgerly, conversation({inbound("hi", sent)})) - 25;
    };
    EXPECT_EQ(aged(ago(23 * hour)), 0);
    EXPECT_EQ(aged(ago(47 * hour)), 1);
    EXPECT_EQ(aged(ago(-5 * day)), 0);  // sent in the future
    constexpr double infinity = std::numeric_limits<double>::infinity();
    EXPECT_EQ(aged(Date{-infinity}), 20);
    EXPECT_EQ(aged(Date{infinity}), 0);
    EXPECT_EQ(aged(Date{std::numeric_limits<double>::quiet_NaN()}), 0);
    EXPECT_EQ(aged(Date{-1e300}), 20);
}

}  // namespace
}  // namespace nudgerly
