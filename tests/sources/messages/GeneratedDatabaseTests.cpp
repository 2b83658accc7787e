#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "chatdb/MessagesBulkGenerator.h"
#include "core/Files.h"
#include "demo/DemoHome.h"
#include "files/TempDir.h"
#include "platform/contacts/VCardContactsStore.h"
#include "platform/system/UserFolders.h"
#include "process/PeakResident.h"
#include "queues/ManualMainQueue.h"
#include "sources/messages/MessageIdentity.h"
#include "sources/messages/MessagesDatabaseConnection.h"
#include "sources/messages/MessagesDatabasePath.h"
#include "sources/messages/MessagesQueries.h"
#include "sources/messages/MessagesReader.h"
#include "storage/AppEnvironment.h"
#include "support/FakeContactsStore.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;

const fs::path& isolatedHome = test::isolateUserFolders();

// HOME and the XDG folders pointed at a demo home while this lives; then back to the test program's.
class PointedAt {
public:
    explicit PointedAt(const test::DemoHome& demo) { set(demo.home, demo.dataHome, demo.configHome); }
    ~PointedAt() { set(isolatedHome, isolatedHome / "data", isolatedHome / "config"); }

private:
    static void set(const fs::path& home, const fs::path& data, const fs::path& config) {
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    }
};

// Single numbers read from a generated file, by the queries that name them.
std::map<std::string, int64_t> tally(const fs::path& path, const std::map<std::string, std::string>& queries) {
    sqlite3* database = nullptr;
    sqlite3_open_v2(path.c_str(), &database, SQLITE_OPEN_READONLY, nullptr);
    std::map<std::string, int64_t> counts;
    for (const auto& [name, sql] : queries) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(database, sql.c_str(), -1, &statement, nullptr);
        counts[name] = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
        sqlite3_finalize(statement);
    }
    sqlite3_close(database);
    return counts;
}

TEST(GeneratedDatabaseTests, BulkConversationsAreReproducibleAndHoldEveryKindOfRow) {
    test::TempDir folder;
    const Date now = Date::now();
    const test::BulkOptions options{.seed = 7, .chats = 300, .messages = 6000, .days = 60};
    const auto generate = [&](const fs::path& path) {
        test::MessagesDatabaseBuilder builder(path, test::MessagesDatabaseBuilder::Journal::rollback, now);
        auto contents = test::generateBulk(builder, options);
        builder.close();
        return contents;
    };
    const test::BulkContents contents = generate(folder / "a.db");
    generate(folder / "b.db");

    const std::string dump =
        "SELECT count(*) FROM message a JOIN b.message m ON m.ROWID=a.ROWID AND m.guid=a.guid "
        "AND m.date=a.date AND m.text IS a.text AND m.attributedBody IS a.attributedBody "
        "AND m.handle_id=a.handle_id";
    const auto counts = tally(
        folder / "a.db",
        {
            {"same", "SELECT 0"},  // filled below, with the second file attached
            {"messages", "SELECT count(*) FROM message"},
            {"chats", "SELECT count(*) FROM chat"},
            {"bodyOnly", "SELECT count(*) FROM message WHERE text IS NULL AND attributedBody IS NOT NULL"},
            {"tapbacks", "SELECT count(*) FROM message WHERE associated_message_type BETWEEN 2000 AND 2005"},
            {"events", "SELECT count(*) FROM message WHERE item_type!=0"},
            {"system", "SELECT count(*) FROM message WHERE is_system_message=1"},
            {"spam", "SELECT count(*) FROM message WHERE is_spam=1"},
            {"links",
             "SELECT count(*) FROM message WHERE balloon_bundle_id='com.apple.messages.URLBalloonProvider' "
             "AND payload_data IS NOT NULL"},
            {"pictures", "SELECT count(*) FROM message WHERE text LIKE '%\uFFFC%'"},
            {"long", "SELECT count(*) FROM message WHERE length(text)>1500"},
            {"attachments", "SELECT count(*) FROM message_attachment_join"},
            {"filtered", "SELECT count(*) FROM chat WHERE is_filtered=1"},
            {"recovered", "SELECT count(*) FROM chat WHERE is_recovered=1"},
            {"deleting", "SELECT count(*) FROM chat WHERE is_deleting_incoming_messages=1"},
            {"namedGroups", "SELECT count(*) FROM chat WHERE style=43 AND display_name IS NOT NULL"},
            {"unnamedGroups", "SELECT count(*) FROM chat WHERE style=43 AND display_name IS NULL"},
            {"tombstones", "SELECT count(*) FROM deleted_messages d JOIN message m ON m.guid=d.guid"},
            {"recoverable", "SELECT count(*) FROM chat_recoverable_message_join"},
            {"smsfp", "SELECT count(*) FROM handle WHERE id LIKE '%(smsfp)'"},
            {"tooOld", "SELECT count(*) FROM message WHERE date < " +
                           std::to_string(test::chatDatabaseDate(now.addingSeconds(-60 * 86400.0)))},
            {"future", "SELECT count(*) FROM message WHERE date > " + std::to_string(test::chatDatabaseDate(now))},
            {"unjoined", "SELECT count(*) FROM message WHERE ROWID NOT IN (SELECT message_id FROM chat_message_join)"},
        });
    EXPECT_EQ(counts.at("messages"), 6000);
    EXPECT_EQ(contents.messages, 6000);
    EXPECT_EQ(counts.at("chats"), 300);
    for (const char* kind :
         {"bodyOnly", "tapbacks", "events", "system", "spam", "links", "pictures", "long", "attachments", "filtered",
          "recovered", "deleting", "namedGroups", "unnamedGroups", "tombstones", "recoverable", "smsfp"}) {
        EXPECT_GT(counts.at(kind), 0) << kind;
    }
    EXPECT_EQ(counts.at("links"), contents.linkPreviews);
    EXPECT_EQ(counts.at("tooOld"), 0);
    EXPECT_EQ(counts.at("future"), 0);
    EXPECT_EQ(counts.at("unjoined"), 0);
    EXPECT_GT(contents.contacts.size(), 50u);

    // The same seed writes the same rows.
    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open((folder / "a.db").c_str(), &database), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(database, ("ATTACH '" + (folder / "b.db").string() + "' AS b").c_str(), nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(database, dump.c_str(), -1, &statement, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int64(statement, 0), 6000);
    sqlite3_finalize(statement);
    sqlite3_close(database);

    // And the reader makes conversations of it, named from the address book where it can.
    ManualMainQueue mainQueue;
    auto contacts = std::make_shared<test::FakeContactsStore>(mainQueue);
    contacts->setContacts(contents.contacts);
    const ConversationBatch batch = MessagesReader(contacts, "Alex", folder / "a.db").scan(LookbackWindow::ninety, {});
    EXPECT_GT(batch.conversations.size(), 30u);
    EXPECT_LT(batch.conversations.size(), static_cast<std::size_t>(batch.inboundEndingCount));
    int known = 0;
    for (const Conversation& conversation : batch.conversations) {
        EXPECT_FALSE(conversation.messages.empty());
        EXPECT_FALSE(conversation.messages.back().fromMe);
        known += conversation.isKnownContact.value_or(false) ? 1 : 0;
    }
    EXPECT_GT(known, 0);
}

// Everything a scan found: the counts, then per conversation its coded form (messages with their
// texts and dates) and the rows its messages came from.
std::vector<std::string> described(const ConversationBatch& batch) {
    std::vector<std::string> lines{std::to_string(batch.messageCount) + " " +
                                   std::to_string(batch.activeConversations) + " " +
                                   std::to_string(batch.inboundEndingCount)};
    for (const Conversation& conversation : batch.conversations) {
        std::string line = conversation.toJson().dump();
        for (const ConversationMessage& message : conversation.messages) {
            line += " " + std::to_string(message.messageID.value_or(-1));
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// The same rows twice: in the journal form under test (as written, or in a WAL file whose writer is
// still open), whose tombstones the reader looks up in an indexed copy, and with deleted_messages a
// view of them, which the reader does not copy and so reads as it stands. Each form is a test of its
// own, and so are the scan and the pruning, so that none runs long on a loaded machine.
class TombstonesTest : public testing::TestWithParam<test::MessagesDatabaseBuilder::Journal> {
protected:
    using Journal = test::MessagesDatabaseBuilder::Journal;

    void SetUp() override {
        writer = generate(copied, GetParam());
        if (GetParam() == Journal::rollback) {
            writer->close();
        } else {
            ASSERT_TRUE(fs::exists(copied.string() + "-wal"));
        }
        // The view's file is a copy of the same rows (with the WAL the idle writer holds), which is
        // far quicker than writing them again.
        fs::create_directories(asStored.parent_path());
        for (const std::string suffix : {"", "-wal"}) {
            if (fs::exists(copied.string() + suffix)) {
                fs::copy_file(copied.string() + suffix, asStored.string() + suffix);
            }
        }
        sqlite3* database = nullptr;
        ASSERT_EQ(sqlite3_open(asStored.c_str(), &database), SQLITE_OK);
        const int altered = sqlite3_exec(database,
                                         "ALTER TABLE deleted_messages RENAME TO tombstones;"
                                         "CREATE VIEW deleted_messages AS SELECT * FROM tombstones;"
                                         "PRAGMA journal_mode=DELETE",
                                         nullptr, nullptr, nullptr);
        sqlite3_close(database);
        ASSERT_EQ(altered, SQLITE_OK);
        contacts->setContacts(contents.contacts);
    }

    MessagesReader reader(const fs::path& path) const { return MessagesReader(contacts, "Alex", path); }

    test::TempDir folder;
    const Date now = Date::now();
    const fs::path asStored = folder / "view" / "chat.db";
    const fs::path copied = folder / "copied" / "chat.db";
    test::BulkContents contents;
    std::unique_ptr<test::MessagesDatabaseBuilder> writer;  // kept open, so that a WAL file stays
    ManualMainQueue mainQueue;
    std::shared_ptr<test::FakeContactsStore> contacts = std::make_shared<test::FakeContactsStore>(mainQueue);

private:
    std::unique_ptr<test::MessagesDatabaseBuilder> generate(const fs::path& path, Journal journal) {
        const test::BulkOptions options{.seed = 11, .chats = 300, .messages = 6000, .days = 60, .tombstones = 400};
        fs::create_directories(path.parent_path());
        auto builder = std::make_unique<test::MessagesDatabaseBuilder>(path, journal, now);
        contents = test::generateBulk(*builder, options);
        return builder;
    }
};

TEST_P(TombstonesTest, LookedUpInTheirIndexedCopyTheyHideExactlyWhatTheTableHides) {
    const auto temporaryObjects = [](const fs::path& path) {
        return MessagesDatabaseConnection(path, {}).scalar("SELECT count(*) FROM sqlite_temp_schema");
    };
    EXPECT_EQ(temporaryObjects(copied), 2);  // the copy and its index
    EXPECT_EQ(temporaryObjects(asStored), 0);

    for (const LookbackWindow lookback : {LookbackWindow::seven, LookbackWindow::ninety}) {
        SCOPED_TRACE(toRaw(lookback));
        const std::vector<std::string> expected = described(reader(asStored).scan(lookback, {}));
        ASSERT_GT(expected.size(), 20u);
        EXPECT_EQ(described(reader(copied).scan(lookback, {})), expected);
    }
}

// The counts are read on connections of their own beside the chat list: each must still land in its
// own field, and the conversations must follow the list.
TEST_P(TombstonesTest, CountsAndChatOrderAreThoseOfTheStatementsRunInTurn) {
    for (const LookbackWindow lookback : {LookbackWindow::seven, LookbackWindow::ninety}) {
        SCOPED_TRACE(toRaw(lookback));
        const auto counts = tally(copied, {{"messages", MessagesQueries::messageCount(lookback)},
                                           {"active", MessagesQueries::activeConversations(lookback)},
                                           {"inbound", MessagesQueries::inboundEndingCount(lookback)}});
        std::vector<int64_t> listed;
        {
            const MessagesDatabaseConnection connection(copied, {});
            SqliteStatement chats = connection.prepare(MessagesQueries::chatList(lookback));
            while (chats.step() == SQLITE_ROW) {
                listed.push_back(chats.integer(0));
            }
        }
        const ConversationBatch batch = reader(copied).scan(lookback, {});
        EXPECT_EQ(batch.messageCount, counts.at("messages"));
        EXPECT_EQ(batch.activeConversations, counts.at("active"));
        EXPECT_EQ(batch.inboundEndingCount, counts.at("inbound"));
        EXPECT_GT(batch.messageCount, batch.activeConversations);
        EXPECT_GT(batch.activeConversations, batch.inboundEndingCount);

        ASSERT_GT(batch.conversations.size(), 10u);
        auto next = listed.begin();
        for (const Conversation& conversation : batch.conversations) {
            const auto identity = MessageIdentity::parse(conversation.id);
            ASSERT_TRUE(identity);
            next = std::find(next, listed.end(), identity->chatID);
            ASSERT_NE(next, listed.end()) << conversation.id << " is out of the list's order";
            ++next;
        }
    }
}

TEST_P(TombstonesTest, TheSavedQueueIsPrunedOfTheSameMessages) {
    // Every message of the file is asked about.
    ReviewSnapshot everything;
    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open_v2(asStored.c_str(), &database, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* rows = nullptr;
    sqlite3_prepare_v2(database, "SELECT chat_id,message_id FROM chat_message_join", -1, &rows, nullptr);
    while (sqlite3_step(rows) == SQLITE_ROW) {
        everything.items.push_back(
            {.id = MessageIdentity{sqlite3_column_int64(rows, 0), sqlite3_column_int64(rows, 1)}.conversationID()});
    }
    sqlite3_finalize(rows);
    sqlite3_close(database);
    const auto kept = [&](const fs::path& path) {
        std::vector<std::string> ids;
        for (const ReviewItem& item : reader(path).removingDeletedMessages(everything, {}).value_or(everything).items) {
            ids.push_back(item.id);
        }
        return ids;
    };
    const std::vector<std::string> expected = kept(asStored);
    const auto tombstones = tally(asStored, {{"n", "SELECT count(*) FROM deleted_messages"}}).at("n");
    EXPECT_EQ(tombstones, 400);
    EXPECT_LE(expected.size() + static_cast<std::size_t>(tombstones), everything.items.size());
    EXPECT_EQ(kept(copied), expected);
}

INSTANTIATE_TEST_SUITE_P(Journals, TombstonesTest,
                         testing::Values(test::MessagesDatabaseBuilder::Journal::rollback,
                                         test::MessagesDatabaseBuilder::Journal::wal),
                         [](const auto& info) {
                             return info.param == test::MessagesDatabaseBuilder::Journal::wal ? "WithAnOpenWal"
                                                                                              : "AsWritten";
                         });

TEST(GeneratedDatabaseTests, CheckingASavedQueueKeepsLittleOfTheFileInMemory) {
    // The check looks up a few rows of every page; had it mapped the file, the start-up's peak would
    // hold every page it touched.
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory grows with every allocation and swamps the figure";
#endif
    test::TempDir folder;
    const fs::path path = folder / "chat.db";
    {
        test::MessagesDatabaseBuilder builder(path, test::MessagesDatabaseBuilder::Journal::rollback, Date::now());
        test::generateBulk(builder, {.seed = 5, .chats = 1000, .messages = 24000, .days = 60});
        builder.close();
    }
    const auto fileKiB = static_cast<long>(fs::file_size(path) / 1024);
    ASSERT_GT(fileKiB, 8 * 1024);
    ReviewSnapshot saved;
    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &database, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* rows = nullptr;
    sqlite3_prepare_v2(database, "SELECT chat_id,message_id FROM chat_message_join WHERE message_id%10=0", -1, &rows,
                       nullptr);
    while (sqlite3_step(rows) == SQLITE_ROW) {
        saved.items.push_back(
            {.id = MessageIdentity{sqlite3_column_int64(rows, 0), sqlite3_column_int64(rows, 1)}.conversationID()});
    }
    sqlite3_finalize(rows);
    sqlite3_close(database);
    ASSERT_GT(saved.items.size(), 2000u);
    ManualMainQueue mainQueue;
    const MessagesReader reader(std::make_shared<test::FakeContactsStore>(mainQueue), "Alex", path);

    test::resetPeakResident();
    const long before = test::peakResidentKiB();
    reader.removingDeletedMessages(saved, {});
    EXPECT_LT(test::peakResidentKiB() - before, fileKiB / 4) << "of a file of " << fileKiB << " KiB";
}

TEST(GeneratedDatabaseTests, TheDemoHomeIsWhatTheProgramFindsWhenPointedAtIt) {
    test::TempDir folder;
    test::writeTestFile(folder / "taken" / "notes.txt", "mine");
    EXPECT_THROW(test::layOutDemoHome(folder / "taken", "Alex"), std::runtime_error);
    EXPECT_EQ(readFile(folder / "taken" / "notes.txt"), "mine");

    const test::DemoHome demo = test::layOutDemoHome(folder / "home", "Alex");
    {
        // With HOME and the XDG folders pointed at it, the program's own lookups land on its files.
        const PointedAt pointed(demo);
        EXPECT_EQ(messagesDatabasePath(), demo.database);
        EXPECT_EQ(AppEnvironment::forProcess().configurationDirectory / "contacts-access.json", demo.accessDecision);
        EXPECT_EQ(VCardContactsStore::contactsFolderIn(UserFolders::dataHome()), demo.contactsFolder);
    }

    ManualMainQueue mainQueue;
    auto store =
        std::make_shared<VCardContactsStore>(demo.contactsFolder, demo.accessDecision.parent_path(), mainQueue);
    EXPECT_EQ(store->authorizationStatus(), ContactsAuthorizationStatus::authorized);
    EXPECT_EQ(store->fetchContacts({}).contacts.size(), demo.contents.contacts.size());
    EXPECT_GE(demo.contents.chats, 24);

    ConversationBatch batch;
    {
        const PointedAt pointed(demo);  // preview pictures are named from "~"
        batch = MessagesReader(store, "Alex", demo.database).scan(LookbackWindow::thirty, {});
    }
    EXPECT_GE(batch.conversations.size(), 8u);
    int known = 0;
    int previews = 0;
    for (const Conversation& conversation : batch.conversations) {
        known += conversation.isKnownContact.value_or(false) ? 1 : 0;
        for (const ConversationMessage& message : conversation.messages) {
            if (message.linkPreview && message.linkPreview->imagePath) {
                EXPECT_TRUE(fs::exists(*message.linkPreview->imagePath));
                ++previews;
            }
        }
    }
    EXPECT_GT(known, 0);
    EXPECT_GT(previews, 0);
}

}  // namespace
}  // namespace nudgerly
