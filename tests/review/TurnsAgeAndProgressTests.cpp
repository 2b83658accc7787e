#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "review/MessageAge.h"
#include "review/MessageTurnPolicy.h"
#include "review/RefreshProgress.h"

namespace nudgerly {
namespace {

ConversationMessage message(bool fromMe, std::string text, double date, std::optional<int64_t> sender,
                            bool withLink = false, std::optional<int64_t> id = std::nullopt) {
    ConversationMessage m{
        .fromMe = fromMe, .text = std::move(text), .date = Date{date}, .senderKey = sender, .messageID = id};
    if (withLink) {
        m.linkPreview = MessageLinkPreview{"T", "example.com", "https://example.com", std::nullopt};
    }
    return m;
}

TEST(MessageTurnTests, MergesALinkIntoTheTextBeforeItFromTheSameSender) {
    const auto merged = MessageTurnPolicy::combiningRichLinks(
        {message(false, "Look at this", 100, 7), message(false, "https://example.com", 130, 7, true, 42)});
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(merged[0].text, "Look at this\n\nhttps://example.com");
    EXPECT_EQ(merged[0].displayText, "Look at this");
    EXPECT_EQ(merged[0].date, Date{130});
    EXPECT_EQ(merged[0].messageID, 42);
    EXPECT_TRUE(merged[0].linkPreview);

    // Exactly 60 seconds still merges; empty texts are left out of the join.
    const auto boundary =
        MessageTurnPolicy::combiningRichLinks({message(false, "", 100, 7), message(false, "link", 160, 7, true)});
    ASSERT_EQ(boundary.size(), 1u);
    EXPECT_EQ(boundary[0].text, "link");
}

TEST(MessageTurnTests, KeepsMessagesApartWhenTheyAreNotOneTurn) {
    using MessageTurnPolicy::combiningRichLinks;
    EXPECT_EQ(combiningRichLinks({message(false, "a", 100, 7), message(false, "b", 161, 7, true)}).size(), 2u);
    EXPECT_EQ(combiningRichLinks({message(false, "a", 100, 7), message(false, "b", 99, 7, true)}).size(), 2u);
    EXPECT_EQ(combiningRichLinks({message(false, "a", 100, 7), message(false, "b", 110, 8, true)}).size(), 2u);
    EXPECT_EQ(combiningRichLinks({message(false, "a", 100, {}), message(false, "b", 110, 7, true)}).size(), 2u);
    EXPECT_EQ(combiningRichLinks({message(true, "a", 100, {}), message(true, "b", 110, {}, true)}).size(), 1u);
    EXPECT_EQ(combiningRichLinks({message(true, "a", 100, 1), message(false, "b", 110, 1, true)}).size(), 2u);
    // A link first, a text after a link, and a second link after a merged one all stay as they are.
    EXPECT_EQ(combiningRichLinks({message(false, "l", 100, 7, true), message(false, "t", 110, 7)}).size(), 2u);
    const auto twoLinks = combiningRichLinks(
        {message(false, "t", 100, 7), message(false, "l1", 110, 7, true), message(false, "l2", 120, 7, true)});
    ASSERT_EQ(twoLinks.size(), 2u);
    EXPECT_EQ(twoLinks[1].text, "l2");
}

TEST(MessageTurnTests, CarriesAnExistingDisplayTextForward) {
    auto first = message(false, "raw", 100, 7);
    first.displayText = "shown";
    const auto merged = MessageTurnPolicy::combiningRichLinks({first, message(false, "l", 110, 7, true)});
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(merged[0].displayText, "shown");
}

TEST(MessageAgeTests, LabelsEachRange) {
    const Date now{1e9};
    const auto ago = [&](double days) { return MessageAge::label(now.addingSeconds(-days * 86400), now); };
    EXPECT_EQ(ago(0.9), "Today");
    EXPECT_EQ(ago(1.99), "1 day");
    EXPECT_EQ(ago(6), "6 days");
    EXPECT_EQ(ago(7), "1 week");
    EXPECT_EQ(ago(13), "1 week");
    EXPECT_EQ(ago(14), "2 weeks");
    EXPECT_EQ(ago(29), "4 weeks");
    EXPECT_EQ(ago(59), "1 month");
    EXPECT_EQ(ago(60), "2 months");
    EXPECT_EQ(ago(364), "12 months");
    EXPECT_EQ(ago(729), "1 year");
    EXPECT_EQ(ago(730), "2 years");
    EXPECT_EQ(ago(-2), "Today");
}

TEST(MessageAgeTests, SurvivesNonFiniteAndHugeTimes) {
    const Date now{1e9};
    EXPECT_EQ(MessageAge::label(Date{NAN}, now), "Today");
    EXPECT_EQ(MessageAge::label(Date{INFINITY}, now), "Today");
    EXPECT_EQ(MessageAge::label(Date{-std::numeric_limits<double>::infinity()}, now), "2739726027397 years");
    EXPECT_EQ(MessageAge::label(Date{-1e300}, now), "2739726027397 years");
}

TEST(RefreshProgressTests, CountLabelNeedsBothCountsAndNeverGoesNegative) {
    EXPECT_EQ((RefreshProgress{ReviewSource::gmail, "x", 3, 10}.countLabel()), "3 of 10 \u00B7 7 remaining");
    EXPECT_EQ((RefreshProgress{ReviewSource::gmail, "x", 12, 10}.countLabel()), "12 of 10 \u00B7 0 remaining");
    EXPECT_EQ((RefreshProgress{ReviewSource::gmail, "x", 3, std::nullopt}.countLabel()), std::nullopt);
    EXPECT_EQ((RefreshProgress{ReviewSource::gmail, "x", std::nullopt, 3}.countLabel()), std::nullopt);
}

}  // namespace
}  // namespace nudgerly
