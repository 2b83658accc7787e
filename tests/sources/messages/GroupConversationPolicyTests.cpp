#include <gtest/gtest.h>

#include "core/Regex.h"
#include "sources/messages/GroupConversationPolicy.h"

namespace nudgerly {
namespace {

using namespace GroupConversationPolicy;
using Names = std::map<int64_t, std::string>;

ConversationMessage from(int64_t sender, std::string text) {
    return {.fromMe = false, .text = std::move(text), .senderKey = sender};
}

ConversationMessage mine(std::string text) {
    return {.fromMe = true, .text = std::move(text)};
}

TEST(GroupConversationPolicyTests, AQuestionMustBePutToTheGroupOrTheUser) {
    EXPECT_FALSE(directlyAsksGroupOrUser("Dinner at 8", "Alex"));
    EXPECT_FALSE(directlyAsksGroupOrUser("Sam: are you coming?", "Alex"));
    EXPECT_TRUE(directlyAsksGroupOrUser("Alex, are you coming?", "alex"));
    EXPECT_TRUE(directlyAsksGroupOrUser("hey ALEX: thoughts?", "Alex"));  // addressed to the user, then named
    EXPECT_FALSE(directlyAsksGroupOrUser("Alex, are you coming?", ""));   // no name to compare with
    EXPECT_TRUE(directlyAsksGroupOrUser("Anyone free tonight?", "Alex"));
    EXPECT_FALSE(directlyAsksGroupOrUser("Is it raining?", "Alex"));
    EXPECT_TRUE(directlyAsksGroupOrUser("Is it raining where Alex is?", "Alex"));
    EXPECT_TRUE(directlyAsksGroupOrUser("@Alex thoughts?", "Alex"));
    EXPECT_FALSE(directlyAsksGroupOrUser("Alexander, thoughts?", "Alex"));
    EXPECT_FALSE(directlyAsksGroupOrUser("She said \u201Ccan you believe it?\u201D", "Alex"));
    EXPECT_FALSE(directlyAsksGroupOrUser("He wrote \"are you in?\" yesterday", "Alex"));
}

TEST(GroupConversationPolicyTests, NamesAreMatchedLiterally) {
    EXPECT_EQ(escapedForPattern("Mary-Jo O'Neil (Jo) é.2"), R"(Mary\-Jo\ O\'Neil\ \(Jo\)\ é\.2)");
    EXPECT_TRUE(directlyAsksGroupOrUser("can we ask J.R. about it?", "J.R"));
    EXPECT_FALSE(directlyAsksGroupOrUser("is JxR around?", "J.R"));
    EXPECT_TRUE(directlyAsksGroupOrUser("what does a+b think?", "a+b"));
    EXPECT_TRUE(Regex(escapedForPattern("(*)[^]{}$|\\?")).search("x(*)[^]{}$|\\?y"));
}

TEST(GroupConversationPolicyTests, FindsTheLatestUnansweredAskAfterTheUsersLastMessage) {
    const Names names{{1, "Carla Diaz"}, {2, "Maria Lopez"}, {3, "  "}};
    // The last message asks: it is the answer.
    EXPECT_EQ(unansweredAskIndex({from(1, "hi"), from(2, "Anyone up for lunch?")}, "Alex", names), 1u);
    // No ask at all, or nothing after the user's own message.
    EXPECT_EQ(unansweredAskIndex({from(1, "hi"), from(2, "ok")}, "Alex", names), std::nullopt);
    EXPECT_EQ(unansweredAskIndex({from(1, "Can you come?"), mine("Yes!")}, "Alex", names), std::nullopt);
    EXPECT_EQ(unansweredAskIndex({}, "Alex", names), std::nullopt);
    // An ask before the user's message does not count; a later one does.
    EXPECT_EQ(
        unansweredAskIndex({from(1, "Can you come?"), mine("Yes"), from(2, "Will you bring chairs?"), from(1, "great")},
                           "Alex", names),
        2u);

    // Put to Maria, and Maria wrote since: answered, so the earlier ask stands.
    EXPECT_EQ(unansweredAskIndex({from(1, "Anyone seen my keys?"), from(1, "Can you send it, Maria?"), from(2, "Sure")},
                                 "Alex", names),
              0u);
    // Only the asker wrote since, or someone not in Contacts: still unanswered.
    EXPECT_EQ(unansweredAskIndex({from(1, "Can you send it, Maria?"), from(1, "please")}, "Alex", names), 0u);
    EXPECT_EQ(unansweredAskIndex({from(1, "Can you send it, Maria?"), from(4, "on it")}, "Alex", names), 0u);
    EXPECT_EQ(unansweredAskIndex({from(1, "Can you send it, Maria?"), from(3, "on it")}, "Alex", names), 0u);
    // A participant the ask does not name answers nothing.
    EXPECT_EQ(unansweredAskIndex({from(2, "Can you send it, Carl?"), from(1, "hm")}, "Alex", names), 0u);
}

TEST(GroupConversationPolicyTests, NamesCompareWithoutCaseOrAccents) {
    for (const char* contactName : {"José Ruiz", "Jose Ruiz", "JOSÉ", "josé\tR."}) {
        const Names names{{2, contactName}};
        EXPECT_EQ(unansweredAskIndex({from(3, "Anyone free?"), from(1, "Could you check, José?"), from(2, "yes")},
                                     "Alex", names),
                  0u)
            << contactName;
    }
    const Names names{{2, "Jose"}};
    EXPECT_EQ(unansweredAskIndex({from(1, "Could you check, JOSE?"), from(2, "yes")}, "Alex", names), std::nullopt);
    EXPECT_EQ(unansweredAskIndex({from(1, "Could you check, Joseph?"), from(2, "yes")}, "Alex", names), 0u);
}

}  // namespace
}  // namespace nudgerly
