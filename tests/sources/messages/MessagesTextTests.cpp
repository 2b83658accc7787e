#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "chatdb/ChatDatabase.h"
#include "core/CancelledError.h"
#include "files/TempDir.h"
#include "sources/messages/MessageIdentity.h"
#include "sources/messages/MessagesDatabaseConnection.h"
#include "sources/messages/MessagesReaderError.h"
#include "sources/messages/MessagesText.h"

namespace nudgerly {
namespace {

using namespace MessagesText;

TEST(MessagesTextTests, ServiceSuffixesGoOnlyWhenLowerCaseAndAtTheEnd) {
    EXPECT_EQ(withoutServiceSuffix("+14155550101(smsfp)"), "+14155550101");
    EXPECT_EQ(withoutServiceSuffix("72975(smsft)"), "72975");
    EXPECT_EQ(withoutServiceSuffix("+14155550101(SMSFP)"), "+14155550101(SMSFP)");
    EXPECT_EQ(withoutServiceSuffix("+14155550101(smsf)"), "+14155550101(smsf)");  // one letter at least
    EXPECT_EQ(withoutServiceSuffix("(smsfp)+14155550101"), "(smsfp)+14155550101");
    EXPECT_EQ(withoutServiceSuffix("a(smsfp)(smsfq)"), "a(smsfp)");
    // Before a final line break it is not at the end.
    EXPECT_EQ(withoutServiceSuffix("+14155550101(smsfp)\n"), "+14155550101(smsfp)\n");
    EXPECT_EQ(withoutServiceSuffix(""), "");
}

TEST(MessagesTextTests, TextIsSpacedTrimmedAndCut) {
    EXPECT_EQ(cleanedText("  one\n\ntwo\t\u00A0three  "), "one two three");
    EXPECT_EQ(cleanedText("\uFFFCphoto\uFFFC\uFFFCand\uFFFC"), "photo and");
    EXPECT_EQ(cleanedText("\uFFFC \u2028\uFFFC"), "");
    EXPECT_EQ(cleanedText(std::string(1500, 'a')), std::string(1500, 'a'));
    EXPECT_EQ(cleanedText(std::string(1501, 'a')), std::string(1499, 'a') + "\u2026");
    // Characters, not bytes or code points: a family emoji is one.
    std::string families;
    for (int i = 0; i < 1501; ++i) {
        families += "\U0001F468\u200D\U0001F469\u200D\U0001F467";
    }
    const std::string cut = cleanedText(families);
    EXPECT_EQ(cut.size(), 1499 * std::string("\U0001F468\u200D\U0001F469\u200D\U0001F467").size() + 3);
}

TEST(MessagesTextTests, SmsLinksKeepWhatAUriHoldsAndEncodeTheRest) {
    EXPECT_EQ(smsLink("+14155550101"), "sms:+14155550101");
    EXPECT_EQ(smsLink("ann@example.com"), "sms:ann@example.com");
    EXPECT_EQ(smsLink("+1 (415) 555"), "sms:+1%20(415)%20555");
    EXPECT_EQ(smsLink("100%25 50%"), "sms:100%25%2050%25");
    EXPECT_EQ(smsLink("Zoë\n\"x\"{}|\\^`"), "sms:Zo%C3%AB%0A%22x%22%7B%7D%7C%5C%5E%60");
    EXPECT_EQ(smsLink(""), "sms:");
}

TEST(MessagesTextTests, TheFirstNameIsTheFirstWord) {
    EXPECT_EQ(firstName("Alex Morgan"), "Alex");
    EXPECT_EQ(firstName("  Alex   Morgan "), "Alex");
    EXPECT_EQ(firstName("Zoë"), "Zoë");
    EXPECT_EQ(firstName("   "), "");
    EXPECT_EQ(firstName(""), "");
}

TEST(MessageIdentityTests, ReadsOnlyItsOwnForm) {
    EXPECT_EQ(MessageIdentity::parse("messages-chat-12-message-34567"), (MessageIdentity{12, 34567}));
    EXPECT_EQ((MessageIdentity{12, 34567}.conversationID()), "messages-chat-12-message-34567");
    EXPECT_EQ(MessageIdentity::parse("messages--chat-12---message-+7-"), (MessageIdentity{12, 7}));
    EXPECT_EQ(MessageIdentity::parse("messages-chat--1-message-2"), (MessageIdentity{1, 2}));
    for (const char* other :
         {"gmail-thread-abc", "messages-chat-12-message", "messages-chat-x-message-1", "messages-chat-1-message-2-3",
          "Messages-chat-1-message-2", "messages-chat-1-msg-2", "messages-chat-99999999999999999999-message-1",
          "messages-chat-1-message-2 ", "messages-chat-++1-message-2", ""}) {
        EXPECT_EQ(MessageIdentity::parse(other), std::nullopt) << other;
    }
}

TEST(MessagesDatabaseConnectionTests, AStopInterruptsALongStatement) {
    test::TempDir folder;
    { test::ChatDatabase create(folder / "chat.db"); }
    std::stop_source stop;
    const MessagesDatabaseConnection connection(folder / "chat.db", stop.get_token());
    EXPECT_EQ(connection.scalar("SELECT count(*) FROM message"), 0);
    EXPECT_EQ(connection.scalar("SELECT nonsense"), 0);  // a count that fails reads 0

    std::jthread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stop.request_stop();
    });
    const auto started = std::chrono::steady_clock::now();
    // Never ends by itself.
    EXPECT_THROW(connection.scalar("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM n) "
                                   "SELECT count(*) FROM n"),
                 CancelledError);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_THROW(connection.prepare("SELECT 1"), CancelledError);
}

}  // namespace
}  // namespace nudgerly
