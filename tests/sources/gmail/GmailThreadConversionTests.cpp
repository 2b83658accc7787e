#include <string>

#include <gtest/gtest.h>

#include "core/Text.h"
#include "loopback/GmailFixtures.h"
#include "sources/gmail/GmailThreadConversion.h"

namespace nudgerly {
namespace {

namespace Fixtures = test::GmailFixtures;
namespace Conversion = GmailThreadConversion;
using Message = Fixtures::Message;

GmailThread thread(const std::vector<Message>& messages, const std::string& id = "18c2f") {
    return GmailThread::fromJson(Fixtures::thread(id, messages));
}

TEST(GmailThreadConversionTests, MessagesAreSortedByTheirInternalDate) {
    const auto conversation = Conversion::conversation(
        thread({{.id = "late", .internalDate = "2500", .payload = Fixtures::part("text/plain", "late")},
                {.id = "early", .internalDate = "1000", .payload = Fixtures::part("text/plain", "early")},
                {.id = "none", .internalDate = "", .payload = Fixtures::part("text/plain", "undated")}}),
        "me@example.com");
    ASSERT_TRUE(conversation);
    ASSERT_EQ(conversation->messages.size(), 3u);
    EXPECT_EQ(conversation->messages[0].text, "undated");
    EXPECT_EQ(conversation->messages[0].date, Date::fromUnix(0));
    EXPECT_EQ(conversation->messages[1].text, "early");
    EXPECT_EQ(conversation->messages[2].date, Date::fromUnix(2.5));

    EXPECT_EQ(Conversion::internalDateMilliseconds("+1000"), 1000);
    EXPECT_EQ(Conversion::internalDateMilliseconds("-1000"), -1000);
    EXPECT_EQ(Conversion::internalDateMilliseconds("+-1"), 0);
    EXPECT_EQ(Conversion::internalDateMilliseconds("12a"), 0);
    EXPECT_EQ(Conversion::internalDateMilliseconds(" 12"), 0);
    EXPECT_EQ(Conversion::internalDateMilliseconds("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(Conversion::internalDateMilliseconds("9223372036854775808"), 0);
    EXPECT_EQ(Conversion::internalDateMilliseconds("-99999999999999999999"), 0);
}

TEST(GmailThreadConversionTests, TheConversationIsNamedAfterTheNewestSender) {
    const auto conversation = Conversion::conversation(
        thread({{.internalDate = "1", .from = "me@example.com", .subject = "Old"},
                {.internalDate = "2", .from = "\"Grace Hopper\" <Grace@Navy.MIL>", .subject = "Re: Plans"}}),
        "me@example.com");
    ASSERT_TRUE(conversation);
    EXPECT_EQ(conversation->id, "gmail-thread-18c2f");
    EXPECT_EQ(conversation->source, ReviewSource::gmail);
    EXPECT_EQ(conversation->person, "Grace Hopper");
    EXPECT_EQ(conversation->target, "grace@navy.mil");
    EXPECT_EQ(conversation->subject, "Re: Plans");
    EXPECT_EQ(conversation->openURL, "https://mail.google.com/mail/#all/18c2f");
    EXPECT_EQ(conversation->isKnownContact, std::nullopt);

    const auto bare = Conversion::conversation(thread({{.from = "Bob@Example.com"}}), "me@example.com");
    EXPECT_EQ(bare->person, "Bob@Example.com");
    EXPECT_EQ(bare->target, "bob@example.com");

    const auto anonymous = Conversion::conversation(thread({{.from = "", .subject = ""}}), "me@example.com");
    EXPECT_EQ(anonymous->person, "Unknown sender");
    EXPECT_EQ(anonymous->target, "");
    EXPECT_EQ(anonymous->subject, "");

    EXPECT_EQ(Conversion::openURL("id with spaces"), std::nullopt);
}

TEST(GmailThreadConversionTests, WhichMessagesAreFromTheUser) {
    const auto fromMe = [](Message message, const std::string& account) {
        return Conversion::message(GmailMessage::fromJson(Fixtures::message(message)), account)->fromMe;
    };
    EXPECT_TRUE(fromMe({.from = "Me <ME@Example.com>"}, "me@example.com"));
    EXPECT_TRUE(fromMe({.from = "me@example.com"}, "Me@EXAMPLE.com"));
    EXPECT_TRUE(fromMe({.from = "someone@else.com", .labels = {"SENT"}}, "me@example.com"));
    EXPECT_FALSE(fromMe({.from = "someone@else.com", .labels = {"INBOX", "IMPORTANT"}}, "me@example.com"));
    EXPECT_FALSE(fromMe({.from = "someone@else.com", .labels = {}}, "me@example.com"));
    // A sender without an address is nobody in particular, even when the account's address is unknown.
    EXPECT_FALSE(fromMe({.from = "Mailer Daemon"}, ""));
    EXPECT_FALSE(fromMe({.from = ""}, ""));
}

TEST(GmailThreadConversionTests, TextsAreCutAndMessagesWithoutTextLeftOut) {
    const std::string five = std::string(4990, 'x') + "\u00E9\u00E9\u00E9\u00E9\u00E9e\u0301yyyy";
    const auto longMessage = Conversion::message(
        GmailMessage::fromJson(Fixtures::message({.payload = Fixtures::part("text/plain", five)})), "");
    ASSERT_TRUE(longMessage);
    EXPECT_EQ(text::graphemeCount(five), 5000u);
    EXPECT_EQ(longMessage->text, five.substr(0, 4000));
    EXPECT_EQ(longMessage->displayText, five);

    const std::string huge(25000, 'z');
    const auto hugeMessage = Conversion::message(
        GmailMessage::fromJson(Fixtures::message({.payload = Fixtures::part("text/plain", huge)})), "");
    EXPECT_EQ(hugeMessage->displayText, huge.substr(0, 20000));

    const Message empty{.snippet = " &nbsp; ", .payload = Fixtures::part("text/plain", " \n ")};
    const Message snippetOnly{
        .internalDate = "9", .snippet = "Only the snippet", .payload = Fixtures::multipart("multipart/mixed", {})};
    EXPECT_EQ(Conversion::conversation(thread({empty, empty}), "me@example.com"), std::nullopt);
    EXPECT_EQ(Conversion::conversation(thread({}), "me@example.com"), std::nullopt);
    const auto kept = Conversion::conversation(thread({empty, snippetOnly}), "me@example.com");
    ASSERT_TRUE(kept);
    ASSERT_EQ(kept->messages.size(), 1u);
    EXPECT_EQ(kept->messages[0].text, "Only the snippet");
    EXPECT_EQ(kept->messages[0].displayText, "Only the snippet");
}

TEST(GmailThreadConversionTests, AnHtmlOnlyMessageReadsAsOneLineAndDisplaysAsParagraphs) {
    const auto message = Conversion::message(
        GmailMessage::fromJson(Fixtures::message({.payload = Fixtures::part("text/html", "<p>One</p><p>Two</p>")})),
        "");
    EXPECT_EQ(message->text, "One Two");
    EXPECT_EQ(message->displayText, "One\n\nTwo");
}

}  // namespace
}  // namespace nudgerly
