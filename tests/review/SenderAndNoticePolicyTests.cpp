#include <gtest/gtest.h>

#include "review/PassivePolicyNoticeSurfacePolicy.h"
#include "review/SenderExclusionPolicy.h"

namespace nudgerly {
namespace {

using SenderExclusionPolicy::excludes;
using SenderExclusionPolicy::normalizedName;

TEST(SenderExclusionPolicyTests, GmailIsNeverExcludedAndBusinessContactsAlwaysAre) {
    EXPECT_FALSE(excludes(ReviewSource::gmail, "voicemail", true));
    EXPECT_FALSE(excludes(ReviewSource::gmail, "noreply", false));
    EXPECT_TRUE(excludes(ReviewSource::messages, "Alice Example", true));
    EXPECT_TRUE(excludes(ReviewSource::messages, "", true));
    EXPECT_FALSE(excludes(ReviewSource::messages, "Alice Example", false));
}

TEST(SenderExclusionPolicyTests, ExactNamesMatchOnlyWholeNames) {
    EXPECT_TRUE(excludes(ReviewSource::messages, "voicemail", false));
    EXPECT_TRUE(excludes(ReviewSource::messages, "  VoiceMail!  ", false));
    EXPECT_FALSE(excludes(ReviewSource::messages, "Voicemail Box", false));
    EXPECT_FALSE(excludes(ReviewSource::messages, "Voice Mail", false));
}

TEST(SenderExclusionPolicyTests, RootsMatchAWholeFirstWordOnly) {
    EXPECT_TRUE(excludes(ReviewSource::messages, "NoReply", false));
    EXPECT_TRUE(excludes(ReviewSource::messages, "noreply Bank Alerts", false));
    EXPECT_TRUE(excludes(ReviewSource::messages, "noreply.bank", false));
    EXPECT_FALSE(excludes(ReviewSource::messages, "noreplyers", false));
    EXPECT_FALSE(excludes(ReviewSource::messages, "Bank noreply", false));
    EXPECT_FALSE(excludes(ReviewSource::messages, "no reply", false));
}

TEST(SenderExclusionPolicyTests, NamesNormaliseAcrossCaseSpacingAndPunctuation) {
    EXPECT_EQ(normalizedName("A.B"), "a b");
    EXPECT_EQ(normalizedName("  a   b  "), "a b");
    EXPECT_EQ(normalizedName("ANN-LEE 😀 42"), "ann lee 42");
    EXPECT_EQ(normalizedName("ÉMILE Zoë"), "émile zoë");
    EXPECT_EQ(normalizedName("!!!"), "");
}

TEST(PassivePolicyNoticeTests, RecognisesPassiveNoticesOnlyInGmail) {
    const char* notice = "We've updated our Privacy Policy. No action is required.";
    EXPECT_TRUE(PassivePolicyNoticeSurfacePolicy::excludes(ReviewSource::gmail, notice));
    EXPECT_FALSE(PassivePolicyNoticeSurfacePolicy::excludes(ReviewSource::messages, notice));
    EXPECT_TRUE(PassivePolicyNoticeSurfacePolicy::excludes(ReviewSource::gmail, "New cookie policy"));
}

TEST(PassivePolicyNoticeTests, NeedsBothANoticeAndAnUpdate) {
    EXPECT_FALSE(PassivePolicyNoticeSurfacePolicy::excludes(ReviewSource::gmail, "Our privacy policy"));
    EXPECT_FALSE(PassivePolicyNoticeSurfacePolicy::excludes(ReviewSource::gmail, "We updated the schedule"));
}

TEST(PassivePolicyNoticeTests, ADemandOnTheUserKeepsItUnlessItAlsoSaysNothingIsRequired) {
    EXPECT_FALSE(PassivePolicyNoticeSurfacePolicy::excludes(
        ReviewSource::gmail,
        "We have updated our terms of service. You must accept the updated terms to keep your account."));
    // Typographic apostrophes count as well; "no action" wins over a demand in the same text.
    EXPECT_TRUE(PassivePolicyNoticeSurfacePolicy::excludes(
        ReviewSource::gmail,
        "We’re changing our Terms of Use. You must review them, but you don’t need to do anything."));
    EXPECT_FALSE(PassivePolicyNoticeSurfacePolicy::excludes(
        ReviewSource::gmail, "Changes to our privacy notice: your access may be suspended."));
}

}  // namespace
}  // namespace nudgerly
