#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "chatdb/ImageHeaders.h"
#include "chatdb/KeyedArchiveWriter.h"
#include "chatdb/MessagesDatabaseBuilder.h"
#include "chatdb/TypedStreamWriter.h"
#include "core/CancelledError.h"
#include "core/Files.h"
#include "core/Text.h"
#include "files/TempDir.h"
#include "queues/ManualMainQueue.h"
#include "sources/messages/MessageIdentity.h"
#include "sources/messages/MessagePayloads.h"
#include "sources/messages/MessagesReader.h"
#include "sources/messages/MessagesReaderError.h"
#include "support/FakeContactsStore.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::MessageSpec;

const fs::path& isolatedHome = test::isolateUserFolders();

Contact contact(std::string given, std::string family, std::vector<std::string> phones,
                std::vector<std::string> emails = {}) {
    return {.givenName = std::move(given),
            .familyName = std::move(family),
            .phoneNumbers = std::move(phones),
            .emailAddresses = std::move(emails)};
}

std::vector<std::string> texts(const Conversation& conversation) {
    std::vector<std::string> result;
    for (const ConversationMessage& message : conversation.messages) {
        result.push_back(message.text);
    }
    return result;
}

// A chat.db written by the test and a reader of it, whose user is Alex and whose address book the
// test fills.
class MessagesReaderTest : public ::testing::Test {
protected:
    MessagesReaderTest() {
        contacts_->setContacts({
            contact("Maria", "Lopez", {"(415) 555-0101"}),
            contact("Jonas", "", {"+1 415 555 0102"}),
            contact("Priya", "Patel", {}, {"Priya@Example.com"}),
            Contact{.contactType = ContactType::organization,
                    .organizationName = "City Dental",
                    .phoneNumbers = {"555 0199"}},
        });
    }

    ConversationBatch scan(LookbackWindow lookback = LookbackWindow::thirty, std::stop_token stop = {}) {
        return reader().scan(lookback, stop);
    }

    MessagesReader reader() const { return MessagesReader(contacts_, "Alex", path_); }

    test::TempDir folder_;
    fs::path path_ = folder_ / "chat.db";
    ManualMainQueue mainQueue_;
    std::shared_ptr<test::FakeContactsStore> contacts_ = std::make_shared<test::FakeContactsStore>(mainQueue_);
    test::MessagesDatabaseBuilder db_{path_};
};

TEST_F(MessagesReaderTest, TheWindowIsNormalisedAndTheCountsFollowIt) {
    const int64_t ann = db_.oneToOneChat("+14155550101");
    db_.received(ann, "+14155550101", "two days ago", 48h);
    db_.received(ann, "+14155550101", "twenty days ago", 20 * 24h);
    db_.message(ann, {.text = "Loved \u201Ctwo days ago\u201D",
                      .fromMe = true,
                      .handle = "+14155550101",
                      .ago = 47h,
                      .associatedMessageType = test::MessageKinds::lovedTapback});
    const int64_t ben = db_.oneToOneChat("+14155550102");
    db_.received(ben, "+14155550102", "are you there?", 5h);
    db_.sent(ben, "yes", 4h);  // ends with the user: active but not inbound-ending
    const int64_t old = db_.oneToOneChat("+14155550103");
    db_.received(old, "+14155550103", "long ago", 80 * 24h);

    const ConversationBatch week = scan(LookbackWindow::seven);
    EXPECT_EQ(week.lookbackDays, 7);
    EXPECT_EQ(week.messageCount, 4);  // the tapback counts; the twenty-day-old message does not
    EXPECT_EQ(week.activeConversations, 2);
    EXPECT_EQ(week.inboundEndingCount, 1);
    ASSERT_EQ(week.conversations.size(), 1u);
    EXPECT_EQ(texts(week.conversations[0]), std::vector<std::string>{"two days ago"});
    EXPECT_FALSE(week.warning);
    EXPECT_TRUE(week.unavailableConversationIDs.empty());
    EXPECT_NEAR(week.generatedAt.secondsSince(Date::now()), 0, 60);

    const ConversationBatch month = scan(LookbackWindow::thirty);
    EXPECT_EQ(month.lookbackDays, 30);
    EXPECT_EQ(month.messageCount, 5);
    EXPECT_EQ(texts(month.conversations.at(0)), (std::vector<std::string>{"twenty days ago", "two days ago"}));
    EXPECT_EQ(scan(LookbackWindow::ninety).activeConversations, 3);
    EXPECT_EQ(scan(LookbackWindow::three).activeConversations, 2);
}

TEST_F(MessagesReaderTest, OneToOneChatsAreNamedAfterTheContactTheChatOrTheHandle) {
    const int64_t maria = db_.oneToOneChat("+14155550101");
    const int64_t first = db_.received(maria, "+14155550101", "Are you free Saturday?", 3h);
    db_.sent(maria, "Maybe!", 2h);
    const int64_t last = db_.received(maria, "+14155550101", "Let me know by Friday", 1h);
    const int64_t named = db_.chat({.handles = {"+16505550100"}, .displayName = "Landlord"});
    db_.received(named, "+16505550100", "Rent is due", 4h);
    const int64_t unknown = db_.oneToOneChat("someone@example.org");
    db_.received(unknown, "someone@example.org", "Hello?", 5h);
    // No participants listed: the chat identifier is the target; the service suffix goes, in lower case only.
    const int64_t bare = db_.chat({.chatIdentifier = "+16505550111(smsfp)"});
    db_.received(bare, "+16505550111(smsfp)", "Your ride is here", 6h);
    const int64_t shouting = db_.chat({.chatIdentifier = "+16505550112(SMSFP)"});
    db_.received(shouting, "+16505550112(SMSFP)", "Sale today", 7h);
    const int64_t email = db_.oneToOneChat("priya@example.com");
    db_.received(email, "priya@example.com", "Lunch?", 8h);

    const ConversationBatch batch = scan();
    ASSERT_EQ(batch.conversations.size(), 6u);
    const Conversation& c = batch.conversations[0];  // latest inbound first
    EXPECT_EQ(c.id, "messages-chat-" + std::to_string(maria) + "-message-" + std::to_string(last));
    EXPECT_EQ(c.source, ReviewSource::messages);
    EXPECT_EQ(c.person, "Maria Lopez");
    EXPECT_EQ(c.target, "+14155550101");
    EXPECT_EQ(c.subject, std::nullopt);
    EXPECT_EQ(c.openURL, "sms:+14155550101");
    EXPECT_EQ(c.isKnownContact, true);
    ASSERT_EQ(c.messages.size(), 3u);
    EXPECT_EQ(texts(c), (std::vector<std::string>{"Are you free Saturday?", "Maybe!", "Let me know by Friday"}));
    const ConversationMessage& inbound = c.messages[0];
    EXPECT_FALSE(inbound.fromMe);
    EXPECT_TRUE(c.messages[1].fromMe);
    EXPECT_NEAR(inbound.date.secondsSince(db_.now()), -3 * 3600, 0.001);
    EXPECT_EQ(inbound.messageID, first);
    EXPECT_EQ(inbound.senderKey, db_.handle("+14155550101"));
    EXPECT_EQ(inbound.senderIdentifier, "+14155550101");
    EXPECT_EQ(inbound.displayText, std::nullopt);
    EXPECT_EQ(c.messages[1].senderKey, std::nullopt);  // the user's own row names nobody here
    EXPECT_EQ(c.messages[1].senderIdentifier, "");

    EXPECT_EQ(batch.conversations[1].person, "Landlord");
    EXPECT_EQ(batch.conversations[1].isKnownContact, false);
    EXPECT_EQ(batch.conversations[2].person, "someone@example.org");
    EXPECT_EQ(batch.conversations[3].person, "+16505550111");
    EXPECT_EQ(batch.conversations[3].target, "+16505550111");
    EXPECT_EQ(batch.conversations[3].messages[0].senderIdentifier, "+16505550111");
    EXPECT_EQ(batch.conversations[4].person, "+16505550112(SMSFP)");
    EXPECT_EQ(batch.conversations[5].person, "Priya Patel");  // addresses are matched lowered
}

TEST_F(MessagesReaderTest, WithoutContactsAccessNamesFallBack) {
    contacts_->setStatus(ContactsAuthorizationStatus::denied);
    const int64_t maria = db_.oneToOneChat("+14155550101");
    db_.received(maria, "+14155550101", "Hi", 1h);
    const ConversationBatch batch = scan();
    ASSERT_EQ(batch.conversations.size(), 1u);
    EXPECT_EQ(batch.conversations[0].person, "+14155550101");
    EXPECT_EQ(batch.conversations[0].isKnownContact, false);
    EXPECT_EQ(contacts_->fetches(), 0);
}

TEST_F(MessagesReaderTest, DeletedSpamFilteredAndNonTextRowsStayOut) {
    const int64_t chat = db_.oneToOneChat("+14155550101");
    db_.received(chat, "+14155550101", "kept", 10h);
    db_.tombstone(db_.received(chat, "+14155550101", "tombstoned", 9h));
    db_.markRecoverable(chat, db_.received(chat, "+14155550101", "recently deleted", 8h));
    db_.message(chat, {.text = "spam", .handle = "+14155550101", .ago = 7h, .isSpam = true});
    db_.message(chat, {.text = "Liked \u201Ckept\u201D",
                       .handle = "+14155550101",
                       .ago = 6h,
                       .associatedMessageType = 2001,
                       .associatedMessageGuid = "p:0/x"});
    db_.message(chat, {.handle = "+14155550101", .ago = 5h, .isSystemMessage = true});
    db_.message(chat, {.text = "renamed",
                       .handle = "+14155550101",
                       .ago = 4h,
                       .itemType = test::MessageKinds::groupRenamed,
                       .groupTitle = "New name"});
    db_.received(chat, "+14155550101", "  \uFFFC \n ", 3h);  // only an attachment: no words
    db_.received(chat, "+14155550101", "\uFFFC\uFFFCsee   the\n\tphotos\uFFFC", 2h);

    for (const test::ChatSpec& details :
         {test::ChatSpec{.handles = {"+14155550102"}, .isFiltered = true},
          test::ChatSpec{.handles = {"+14155550103"}, .isRecovered = true},
          test::ChatSpec{.handles = {"+14155550104"}, .isDeletingIncomingMessages = true}}) {
        db_.received(db_.chat(details), details.handles[0], "hidden", 1h);
    }

    const ConversationBatch batch = scan();
    ASSERT_EQ(batch.conversations.size(), 1u);
    EXPECT_EQ(texts(batch.conversations[0]), (std::vector<std::string>{"kept", "see the photos"}));
    // The tapback, the event and both attachment rows count; nothing of the other chats does.
    EXPECT_EQ(batch.messageCount, 6);
    EXPECT_EQ(batch.activeConversations, 1);
    EXPECT_EQ(batch.inboundEndingCount, 1);
}

TEST_F(MessagesReaderTest, ChatsWhoseLastWordsAreTheUsersAreSkipped) {
    const int64_t replied = db_.oneToOneChat("+14155550101");
    db_.received(replied, "+14155550101", "Dinner?", 3h);
    db_.sent(replied, "Yes!", 2h);
    const int64_t picture = db_.oneToOneChat("+14155550102");
    db_.sent(picture, "Here you go", 3h);
    db_.received(picture, "+14155550102", "\uFFFC", 2h);  // listed, but its only inbound row has no words
    const ConversationBatch batch = scan();
    EXPECT_TRUE(batch.conversations.empty());
    EXPECT_EQ(batch.activeConversations, 2);
    EXPECT_EQ(batch.inboundEndingCount, 1);
}

TEST_F(MessagesReaderTest, TextComesFromTheBodyArchiveAndIsCut) {
    const int64_t chat = db_.oneToOneChat("+14155550101");
    db_.message(chat, {.attributedBody = test::archivedAttributedString({.text = "only in the body \U0001F4AC"}),
                       .handle = "+14155550101",
                       .ago = 3h});
    db_.message(chat, {.text = "",
                       .attributedBody = test::archivedAttributedString({.text = "empty column"}),
                       .handle = "+14155550101",
                       .ago = 2h});
    db_.message(chat, {.attributedBody = std::string("not an archive"), .handle = "+14155550101", .ago = 90min});
    std::string essay;
    for (int i = 0; i < 250; ++i) {
        essay += "word\u00E9 \U0001F44D ";  // graphemes, not bytes, are counted
    }
    db_.received(chat, "+14155550101", essay, 1h);

    const ConversationBatch batch = scan();
    const Conversation& c = batch.conversations.at(0);
    ASSERT_EQ(c.messages.size(), 3u);
    EXPECT_EQ(c.messages[0].text, "only in the body \U0001F4AC");
    EXPECT_EQ(c.messages[1].text, "empty column");
    const std::string& cut = c.messages[2].text;
    EXPECT_EQ(text::graphemeCount(cut), 1500u);
    EXPECT_TRUE(cut.ends_with("\u2026"));
    EXPECT_EQ(cut.substr(0, cut.size() - 3), text::graphemePrefix(essay, 1499));
}

TEST_F(MessagesReaderTest, HugeMessagesAreCutWhileReadAndTheirWhiteSpaceCountsOnce) {
    const std::string question = "Can you send the lease by Friday?";
    const std::string padded = std::string(70'000, '\n') + question;
    const int64_t inColumn = db_.oneToOneChat("+14155550101");
    db_.received(inColumn, "+14155550101", padded, 3h);
    const int64_t inBody = db_.oneToOneChat("+14155550102");
    db_.message(
        inBody,
        {.attributedBody = test::archivedAttributedString({.text = padded}), .handle = "+14155550102", .ago = 2h});
    std::string story;
    while (story.size() < 2 * MessagePayloads::longestReadText) {
        story += "So here is the whole story about the move and the van. ";
    }
    const int64_t longText = db_.oneToOneChat("+14155550103");
    db_.received(longText, "+14155550103", story, 1h);
    // A body too large to be read gives no words; the message before it is then the latest.
    const int64_t longBody = db_.oneToOneChat("+14155550104");
    db_.received(longBody, "+14155550104", "Are we still on for lunch?", 50min);
    db_.message(
        longBody,
        {.attributedBody = test::archivedAttributedString({.text = story}), .handle = "+14155550104", .ago = 40min});

    const ConversationBatch batch = scan();
    std::map<std::string, std::vector<std::string>> byHandle;
    for (const Conversation& conversation : batch.conversations) {
        byHandle[conversation.messages.at(0).senderIdentifier.value_or("")] = texts(conversation);
    }
    EXPECT_EQ(byHandle["+14155550101"], std::vector<std::string>{question});
    EXPECT_EQ(byHandle["+14155550102"], std::vector<std::string>{question});
    ASSERT_EQ(byHandle["+14155550103"].size(), 1u);
    EXPECT_EQ(text::graphemeCount(byHandle["+14155550103"][0]), 1500u);
    EXPECT_TRUE(byHandle["+14155550103"][0].starts_with("So here is the whole story"));
    EXPECT_EQ(byHandle["+14155550104"], std::vector<std::string>{"Are we still on for lunch?"});
}

TEST_F(MessagesReaderTest, OnlyTheNewest24MessagesAreRead) {
    const int64_t chat = db_.oneToOneChat("+14155550101");
    for (int i = 30; i >= 1; --i) {
        db_.received(chat, "+14155550101", "message " + std::to_string(i), std::chrono::minutes(i));
    }
    const ConversationBatch batch = scan();
    const Conversation& c = batch.conversations.at(0);
    ASSERT_EQ(c.messages.size(), 24u);
    EXPECT_EQ(c.messages.front().text, "message 24");
    EXPECT_EQ(c.messages.back().text, "message 1");
}

TEST_F(MessagesReaderTest, GroupsAreKeptOnlyWithAnUnansweredAskAndEndWithIt) {
    const std::vector<std::string> members = {"+14155550101", "+14155550102", "+16505550177"};
    const int64_t asked = db_.groupChat(members, "Book Club");
    db_.sent(asked, "Next book?", 5h);
    const int64_t ask = db_.received(asked, "+16505550177", "Alex, can you host on Thursday?", 4h);
    db_.received(asked, "+14155550102", "Thursday works for me", 3h);
    db_.received(asked, "+14155550101", "Same here", 2h);

    const int64_t answered = db_.groupChat(members);
    db_.received(answered, "+14155550101", "Can you bring chairs, Jonas?", 4h);
    db_.received(answered, "+14155550102", "Sure", 3h);  // Jonas has answered since

    const int64_t quiet = db_.groupChat(members);
    db_.received(quiet, "+14155550101", "Dinner at 8", 2h);

    const int64_t unnamed = db_.groupChat({"+16505550177", "+16505550178"});
    db_.received(unnamed, "+16505550177", "Anyone free tonight?", 1h);
    const int64_t contactAsks = db_.groupChat({"+14155550101", "+16505550178"});
    db_.received(contactAsks, "+14155550101", "Does everyone have the address?", 30min);

    const ConversationBatch batch = scan();
    ASSERT_EQ(batch.conversations.size(), 3u);
    const Conversation& club = batch.conversations[2];
    EXPECT_EQ(club.person, "Book Club");
    EXPECT_EQ(club.id, "messages-chat-" + std::to_string(asked) + "-message-" + std::to_string(ask));
    EXPECT_EQ(club.messages.back().text, "Alex, can you host on Thursday?");
    EXPECT_EQ(club.messages.size(), 2u);
    EXPECT_EQ(club.target, std::nullopt);
    EXPECT_EQ(club.openURL, std::nullopt);
    EXPECT_EQ(club.isKnownContact, true);  // the latest sender, Maria, is a contact

    EXPECT_EQ(batch.conversations[1].person, "Group conversation");  // unnamed, the asker unknown
    EXPECT_EQ(batch.conversations[1].isKnownContact, false);
    EXPECT_EQ(batch.conversations[0].person, "Maria Lopez");  // unnamed: the asker's contact name
}

TEST_F(MessagesReaderTest, BusinessesAndAutomatedSendersAreLeftOut) {
    const int64_t dentist = db_.oneToOneChat("5550199");
    db_.received(dentist, "5550199", "Reply C to confirm your appointment", 3h);
    const int64_t voicemail = db_.chat({.handles = {"+16505550150"}, .displayName = "Voicemail"});
    db_.received(voicemail, "+16505550150", "You have a new voicemail", 2h);
    const int64_t person = db_.oneToOneChat("+14155550101");
    db_.received(person, "+14155550101", "Can you call me?", 1h);
    const ConversationBatch batch = scan();
    ASSERT_EQ(batch.conversations.size(), 1u);
    EXPECT_EQ(batch.conversations[0].person, "Maria Lopez");
}

TEST_F(MessagesReaderTest, ALinkJoinsTheWordsBeforeItWithItsPreview) {
    const fs::path picture = isolatedHome / "Library/Messages/Attachments/ab/01/G/preview";
    test::writeTestFile(picture, test::pngHeader(600, 315));
    const int64_t chat = db_.oneToOneChat("+14155550101");
    db_.received(chat, "+14155550101", "Look at this place", 2h);
    const int64_t link = db_.message(
        chat,
        {.text = "https://www.airbnb.com/rooms/1",
         .handle = "+14155550101",
         .ago = 2h - 20s,
         .balloonBundleID = "com.apple.messages.URLBalloonProvider",
         .payloadData = test::richLinkArchive({.url = test::ArchivedUrl{.relative = "https://www.airbnb.com/rooms/1"},
                                               .title = " Cabin by the lake "})});
    db_.attach(link, "~/Library/Messages/Attachments/ab/01/G/preview", 90000);

    const ConversationBatch batch = scan();
    const Conversation& c = batch.conversations.at(0);
    ASSERT_EQ(c.messages.size(), 1u);
    const ConversationMessage& merged = c.messages[0];
    EXPECT_EQ(merged.text, "Look at this place\n\nhttps://www.airbnb.com/rooms/1");
    EXPECT_EQ(merged.displayText, "Look at this place");
    EXPECT_EQ(merged.messageID, link);
    ASSERT_TRUE(merged.linkPreview);
    EXPECT_EQ(merged.linkPreview->title, "Cabin by the lake");
    EXPECT_EQ(merged.linkPreview->domain, "airbnb.com");
    EXPECT_EQ(merged.linkPreview->url, "https://www.airbnb.com/rooms/1");
    EXPECT_EQ(merged.linkPreview->imagePath, picture.string());
    EXPECT_EQ(c.id, "messages-chat-" + std::to_string(chat) + "-message-" + std::to_string(link));
}

TEST_F(MessagesReaderTest, SmsLinksEncodeWhatAUriCannotHold) {
    const int64_t chat = db_.chat({.displayName = "Odd", .chatIdentifier = "a b%zz%41\u00E9<>"});
    db_.received(chat, "+14155550101", "hi", 1h);
    EXPECT_EQ(scan().conversations.at(0).openURL, "sms:a%20b%25zz%41%C3%A9%3C%3E");
}

TEST_F(MessagesReaderTest, ADatabaseThatCannotBeOpenedOrReadFailsWithTheReason) {
    db_.close();
    const auto failure = [&](const fs::path& path) -> std::optional<MessagesReaderError> {
        try {
            MessagesReader(contacts_, "Alex", path).scan(LookbackWindow::seven, {});
        } catch (const MessagesReaderError& error) {
            return error;
        }
        return std::nullopt;
    };
    auto missing = failure(folder_ / "missing.db");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->kind(), MessagesReaderError::Kind::fullDiskAccessRequired);
    EXPECT_EQ(std::string(missing->what()), "Nudgerly needs the Messages database from a Mac at " +
                                                (folder_ / "missing.db").string() + " to read your Messages history.");
    // Inside the home folder, the path is written as the user knows it.
    missing = failure(isolatedHome / "Library/Messages/not-copied-yet.db");
    ASSERT_TRUE(missing);
    EXPECT_STREQ(missing->what(),
                 "Nudgerly needs the Messages database from a Mac at ~/Library/Messages/not-copied-yet.db to read your "
                 "Messages history.");
    EXPECT_FALSE(fs::exists(folder_ / "missing.db"));

    test::writeTestFile(folder_ / "notes.db", std::string(4096, 'x'));
    auto garbage = failure(folder_ / "notes.db");
    ASSERT_TRUE(garbage);
    EXPECT_EQ(garbage->kind(), MessagesReaderError::Kind::queryFailed);
    EXPECT_STREQ(garbage->what(), "Messages could not be read: file is not a database");

    // Older or newer schemas without a column the reader needs.
    {
        test::ChatDatabase older(folder_ / "older.db");
        older.execute("ALTER TABLE message DROP COLUMN is_spam");
    }
    EXPECT_STREQ(failure(folder_ / "older.db")->what(), "Messages could not be read: no such column: m.is_spam");
    {
        test::ChatDatabase noPayload(folder_ / "no-payload.db");
        noPayload.execute("ALTER TABLE message DROP COLUMN payload_data");
    }
    // Only the per-chat statement needs that one: the scan fails rather than skip every chat.
    EXPECT_STREQ(failure(folder_ / "no-payload.db")->what(),
                 "Messages could not be read: no such column: m.payload_data");
    // Tombstones kept otherwise than Messages keeps them are not copied; the statements meet the table.
    {
        test::ChatDatabase none(folder_ / "no-tombstones.db");
        none.execute("DROP TABLE deleted_messages");
        test::ChatDatabase renamed(folder_ / "renamed-column.db");
        renamed.execute("ALTER TABLE deleted_messages RENAME COLUMN guid TO message_guid");
    }
    EXPECT_STREQ(failure(folder_ / "no-tombstones.db")->what(),
                 "Messages could not be read: no such table: deleted_messages");
    EXPECT_STREQ(failure(folder_ / "renamed-column.db")->what(),
                 "Messages could not be read: no such column: tombstone.guid");
}

// Damages the first page of one of the file's tables; the schema stays readable, so every statement
// compiles.
void damageFirstPage(const fs::path& path, const std::string& table) {
    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &database, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(database, ("SELECT rootpage FROM sqlite_schema WHERE name='" + table + "'").c_str(), -1,
                       &statement, nullptr);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    const int64_t root = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(database);
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp((root - 1) * 4096);
    file << std::string(4096, '\xEE');
}

TEST_F(MessagesReaderTest, ADamagedTableFailsTheScanInsteadOfReadingAsEmpty) {
    const int64_t chat = db_.oneToOneChat("+14155550101");
    for (int i = 0; i < 200; ++i) {
        db_.received(chat, "+14155550101", std::string(300, 'a' + i % 26), std::chrono::minutes(i + 1));
    }
    db_.tombstone(db_.received(chat, "+14155550101", "deleted", 1min));
    db_.close();
    const fs::path copy = folder_ / "copy.db";
    fs::copy_file(path_, copy);
    damageFirstPage(path_, "message");
    // The tombstone list too: it is neither copied in part nor taken as empty.
    damageFirstPage(copy, "deleted_messages");
    for (const fs::path& damaged : {path_, copy}) {
        try {
            MessagesReader(contacts_, "Alex", damaged).scan(LookbackWindow::thirty, {});
            FAIL() << "a damaged table was read as an empty one: " << damaged;
        } catch (const MessagesReaderError& error) {
            EXPECT_EQ(error.kind(), MessagesReaderError::Kind::queryFailed);
            EXPECT_STREQ(error.what(), "Messages could not be read: database disk image is malformed");
        }
    }
}

TEST_F(MessagesReaderTest, AWriterHoldingTheFileBrieflyIsWaitedFor) {
    const int64_t chat = db_.oneToOneChat("+14155550101");
    db_.received(chat, "+14155550101", "Hi", 1h);
    db_.database().execute("BEGIN EXCLUSIVE; UPDATE message SET is_read=1;");
    std::jthread release([&] {
        std::this_thread::sleep_for(300ms);
        db_.database().execute("COMMIT");
    });
    EXPECT_EQ(scan().conversations.size(), 1u);
}

TEST_F(MessagesReaderTest, AStopEndsTheScanWithCancellation) {
    const int64_t chat = db_.oneToOneChat("+14155550101");
    db_.received(chat, "+14155550101", "Hi", 1h);
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(scan(LookbackWindow::thirty, stop.get_token()), CancelledError);
    EXPECT_THROW(reader().removingDeletedMessages({.items = {{.id = "messages-chat-1-message-1"}}}, stop.get_token()),
                 CancelledError);
}

TEST_F(MessagesReaderTest, ScanningLeavesTheFileAsItWasAndAWalFileReadsTheSame) {
    const auto fill = [](test::MessagesDatabaseBuilder& db) {
        const int64_t maria = db.oneToOneChat("+14155550101");
        db.received(maria, "+14155550101", "Are you coming?", 2h);
        const int64_t group = db.groupChat({"+14155550101", "+14155550102"}, "Climbing");
        db.received(group, "+14155550102", "Anyone up for Sunday?", 1h);
        db.tombstone(db.received(maria, "+14155550101", "deleted", 30min));
    };
    fill(db_);
    db_.close();
    const std::string before = readFile(path_);
    const ConversationBatch rollback = scan();
    EXPECT_EQ(readFile(path_), before);
    ASSERT_EQ(rollback.conversations.size(), 2u);

    // The same rows in a WAL file whose writer is still open, its changes not yet in the main file.
    const fs::path walPath = folder_ / "wal" / "chat.db";
    fs::create_directories(walPath.parent_path());
    test::MessagesDatabaseBuilder wal(walPath, test::MessagesDatabaseBuilder::Journal::wal, db_.now());
    fill(wal);
    ASSERT_TRUE(fs::exists(walPath.string() + "-wal"));
    const std::string walBefore = readFile(walPath);
    const ConversationBatch fromWal = MessagesReader(contacts_, "Alex", walPath).scan(LookbackWindow::thirty, {});
    EXPECT_EQ(readFile(walPath), walBefore);
    ASSERT_EQ(fromWal.conversations.size(), rollback.conversations.size());
    for (std::size_t i = 0; i < fromWal.conversations.size(); ++i) {
        EXPECT_EQ(fromWal.conversations[i].toJson(), rollback.conversations[i].toJson());
        EXPECT_EQ(fromWal.conversations[i].person, rollback.conversations[i].person);
    }
    EXPECT_EQ(fromWal.messageCount, rollback.messageCount);
}

TEST_F(MessagesReaderTest, RemovingDeletedMessagesKeepsWhatIsStillThere) {
    const int64_t chat = db_.oneToOneChat("+14155550101");
    const int64_t present = db_.received(chat, "+14155550101", "still here", 3h);
    const int64_t tombstoned = db_.received(chat, "+14155550101", "gone", 2h);
    const int64_t recoverable = db_.received(chat, "+14155550101", "in the bin", 1h);
    db_.tombstone(tombstoned);
    db_.markRecoverable(chat, recoverable);
    const int64_t recovered = db_.chat({.handles = {"+14155550102"}, .isRecovered = true});
    const int64_t inRecovered = db_.received(recovered, "+14155550102", "back", 1h);
    const auto id = [](int64_t c, int64_t m) { return MessageIdentity{c, m}.conversationID(); };

    ReviewSnapshot snapshot{.messageCount = 9, .clearedCount = 2};
    for (const std::string& itemID :
         {id(chat, present), id(chat, tombstoned), std::string("gmail-thread-abc"), id(chat, 9999),
          id(chat + 100, present), id(recovered, inRecovered), std::string("messages-chat-x-message-1")}) {
        snapshot.items.push_back({.id = itemID});
    }
    snapshot.classificationCache = std::vector<CachedConversationClassification>{
        {.conversationID = id(chat, recoverable)}, {.conversationID = id(chat, present)}};

    const std::optional<ReviewSnapshot> pruned = reader().removingDeletedMessages(snapshot, {});
    ASSERT_TRUE(pruned);
    std::vector<std::string> kept;
    for (const ReviewItem& item : pruned->items) {
        kept.push_back(item.id);
    }
    EXPECT_EQ(kept, (std::vector<std::string>{id(chat, present), "gmail-thread-abc", "messages-chat-x-message-1"}));
    ASSERT_TRUE(pruned->classificationCache);
    ASSERT_EQ(pruned->classificationCache->size(), 1u);
    EXPECT_EQ(pruned->classificationCache->at(0).conversationID, id(chat, present));
    EXPECT_EQ(pruned->messageCount, 9);
    EXPECT_EQ(pruned->clearedCount, 2);

    // Without a cache the result has none either.
    snapshot.classificationCache.reset();
    EXPECT_FALSE(reader().removingDeletedMessages(snapshot, {}).value().classificationCache);

    // With nothing gone there is no pruned snapshot.
    snapshot.items = {{.id = id(chat, present)}, {.id = "gmail-thread-abc"}};
    EXPECT_EQ(reader().removingDeletedMessages(snapshot, {}), std::nullopt);
}

TEST_F(MessagesReaderTest, RemovingFromAnEmptySnapshotNeverOpensTheDatabase) {
    const MessagesReader nowhere(contacts_, "Alex", folder_ / "missing.db");
    EXPECT_EQ(nowhere.removingDeletedMessages({.messageCount = 3}, {}), std::nullopt);
    ReviewSnapshot cacheOnly{.classificationCache = std::vector<CachedConversationClassification>{}};
    EXPECT_EQ(nowhere.removingDeletedMessages(cacheOnly, {}), std::nullopt);
    try {
        nowhere.removingDeletedMessages({.items = {{.id = "gmail-thread-1"}}}, {});
        FAIL() << "a missing database went unnoticed";
    } catch (const MessagesReaderError& error) {
        EXPECT_EQ(error.kind(), MessagesReaderError::Kind::fullDiskAccessRequired);
    }
}

TEST_F(MessagesReaderTest, ContactsAccessIsAskedForThroughTheStore) {
    contacts_->setStatus(ContactsAuthorizationStatus::notDetermined);
    contacts_->setAnswer(ContactsAuthorizationStatus::limited);
    EXPECT_TRUE(reader().requestContacts({}));
    EXPECT_EQ(contacts_->questionsAsked(), 1);
    contacts_->setRequestFailure("The answer could not be saved.");
    contacts_->setStatus(ContactsAuthorizationStatus::notDetermined);
    EXPECT_THROW(reader().requestContacts({}), ContactsAccessError);
}

}  // namespace
}  // namespace nudgerly
