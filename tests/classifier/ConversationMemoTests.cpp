#include <cmath>
#include <functional>

#include <gtest/gtest.h>

#include "classifier/ClassificationCachePolicy.h"
#include "classifier/ConversationMemo.h"

namespace nudgerly {
namespace {

Conversation sample() {
    return {.id = "c1",
            .source = ReviewSource::gmail,
            .person = "Dana",
            .target = "dana@example.com",
            .subject = "Lunch",
            .messages = {{.fromMe = false, .text = "Free on Friday?", .date = Date{0.0}},
                         {.fromMe = true, .text = "Let me check", .date = Date{100.5}}},
            .openURL = "https://mail.example.com/t/1",
            .isKnownContact = true};
}

// Whether the memo hands back what it derived from `sample()` for `changed`.
bool remembered(const Conversation& changed) {
    ConversationMemo memo;
    const Conversation original = sample();
    memo.remember(original, ClassificationCachePolicy::fingerprint(original));
    memo.finishRun();
    return memo.reuse(changed) != nullptr;
}

// Whatever the fingerprint or the completion key encodes must be noticed, down to a date's last bit;
// what both leave out must not cost a new fingerprint.
TEST(ConversationMemoTests, NoticesEveryChangeTheFingerprintWouldSee) {
    EXPECT_TRUE(remembered(sample()));

    const std::vector<std::function<void(Conversation&)>> codedChanges = {
        [](Conversation& c) { c.person = "Dana B."; },
        [](Conversation& c) { c.target.reset(); },
        [](Conversation& c) { c.subject = "Lunch?"; },
        [](Conversation& c) { c.openURL.reset(); },
        [](Conversation& c) { c.isKnownContact = false; },
        [](Conversation& c) { c.isKnownContact.reset(); },
        [](Conversation& c) { c.messages[0].fromMe = true; },
        [](Conversation& c) { c.messages[0].text = "Free on Friday!"; },
        [](Conversation& c) { c.messages[1].date.secondsSinceReferenceDate = std::nextafter(100.5, 200.0); },
        [](Conversation& c) { c.messages[0].date = Date{-0.0}; },  // the same instant, but another completion key
        [](Conversation& c) { c.messages.pop_back(); },
        [](Conversation& c) { c.messages.push_back(c.messages.back()); },
        [](Conversation& c) { c.source = ReviewSource::messages; },
        [](Conversation& c) { c.id = "c2"; },
    };
    for (std::size_t i = 0; i < codedChanges.size(); ++i) {
        Conversation changed = sample();
        codedChanges[i](changed);
        EXPECT_FALSE(remembered(changed)) << "change " << i;
    }

    Conversation shownDifferently = sample();
    shownDifferently.messages[0].displayText = "Free on Friday? (merged)";
    shownDifferently.messages[0].linkPreview = MessageLinkPreview{std::nullopt, "example.com", "https://example.com", std::nullopt};
    shownDifferently.messages[0].senderKey = 7;
    shownDifferently.messages[0].messageID = 42;
    EXPECT_TRUE(remembered(shownDifferently));
    EXPECT_EQ(ClassificationCachePolicy::fingerprint(shownDifferently), ClassificationCachePolicy::fingerprint(sample()));
}

}  // namespace
}  // namespace nudgerly
