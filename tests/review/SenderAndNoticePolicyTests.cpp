#include <gtest/gtest.h>

#include "review/PassivePolicyNoticeSurfacePolicy.h"
#include "review/SenderExclusionPolicy.h"

namespace nudgerly {
namespace {

bool excluded(std::string_view person, bool isBusiness = false) {
    return SenderExclusionPolicy::excludes(ReviewSource::messages, person, isBusiness);
}

bool passive(std::string_view text) {
    return PassivePolicyNoticeSurfacePolicy::excludes(ReviewSource::gmail, text);
}

TEST(SenderExclusionPolicyTests, SourceAndBusinessFlagDecideFirst) {
    EXPECT_FALSE(SenderExclusionPolicy::excludes(ReviewSource::gmail, "voicemail", true));
    EXPECT_TRUE(excluded("Alice Example", true));
    EXPECT_FALSE(excluded("Alice Example"));
}

TEST(SenderExclusionPolicyTests, ExactNamesMatchWholeNamesAndRootsAWholeFirstWord) {
    EXPECT_TRUE(excluded("  VoiceMail!  "));
    EXPECT_FALSE(excluded("Voicemail Box"));
    EXPECT_TRUE(excluded("NoReply"));
    EXPECT_TRUE(excluded("noreply.bank  alerts"));
    EXPECT_FALSE(excluded("noreplyers"));
    EXPECT_FALSE(excluded("Bank noreply"));
    EXPECT_EQ(SenderExclusionPolicy::normalizedName("  A.B  ÉMILE😀42 "), "a b émile 42");
}

TEST(PassivePolicyNoticeTests, FollowsTheNoticeUpdateAndDemandRules) {
    EXPECT_TRUE(passive("We've updated our Privacy Policy. No action is required."));
    EXPECT_FALSE(PassivePolicyNoticeSurfacePolicy::excludes(
        ReviewSource::messages, "We've updated our Privacy Policy. No action is required."));
    EXPECT_TRUE(passive("New cookie policy"));
    EXPECT_FALSE(passive("Our privacy policy"));
    EXPECT_FALSE(passive("We updated the schedule"));
    EXPECT_FALSE(
        passive("We have updated our terms of service. You must accept the updated terms to keep your "
                "account."));
    // Typographic apostrophes count; saying nothing is required wins over a demand.
    EXPECT_TRUE(passive("We’re changing our Terms of Use. You must review them, but you don’t need to do anything."));
}

// Plain ASCII text without the notice words is settled before the patterns run; any other text still
// meets them, where case folding finds the words too.
TEST(PassivePolicyNoticeTests, LettersThatFoldIntoTheNoticeWordsStillCount) {
    EXPECT_TRUE(passive("WE HAVE UPDATED OUR DATA PROTECTION NOTICE."));
    EXPECT_FALSE(passive("We have updated the team roster."));
    EXPECT_TRUE(passive("We have updated our term\u017F of \u017Fervice."));  // long s
    EXPECT_TRUE(passive("New coo\u212Aie policy"));                           // Kelvin sign
}

}  // namespace
}  // namespace nudgerly
