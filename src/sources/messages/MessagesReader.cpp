#include "sources/messages/MessagesReader.h"

#include <exception>
#include <future>
#include <set>
#include <string_view>

#include "core/Text.h"
#include "platform/system/UserAccount.h"
#include "platform/system/UserFolders.h"
#include "review/LookbackWindow.h"
#include "sources/messages/MessageIdentity.h"
#include "sources/messages/MessagePayloads.h"
#include "sources/messages/MessagesContacts.h"
#include "sources/messages/MessagesConversation.h"
#include "sources/messages/MessagesDatabaseConnection.h"
#include "sources/messages/MessagesDatabasePath.h"
#include "sources/messages/MessagesQueries.h"
#include "sources/messages/MessagesText.h"

namespace nudgerly {
namespace {

using MessagesConversation::ChatRow;

// chat.db counts nanoseconds since 2001-01-01, the origin Date counts seconds from.
Date messageDate(int64_t nanoseconds) {
    return Date{static_cast<double>(nanoseconds) / 1e9};
}

std::string databaseText(const SqliteStatement& row, int column) {
    return text::makeValidUtf8(row.text(column));
}

ChatRow chatRow(const SqliteStatement& row) {
    return {
        .chatID = row.integer(0),
        .latestMessageID = row.integer(1),
        .displayName = databaseText(row, 3),
        .chatIdentifier = databaseText(row, 4),
        .participants = databaseText(row, 5),
        .handleCount = row.integer(6),
        .latestHandle = databaseText(row, 7),
    };
}

// A row of the chat's message statement; none when it holds no words.
std::optional<ConversationMessage> message(const SqliteStatement& row, sqlite3* database,
                                           const std::filesystem::path& home) {
    std::string text = MessagesText::cleanedText(MessagePayloads::decodedText(row.textView(1), row.bytes(2)));
    if (text.empty()) {
        return std::nullopt;
    }
    const int64_t messageID = row.integer(4);
    const int64_t senderKey = row.integer(5);
    return ConversationMessage{
        .fromMe = row.integer(0) != 0,
        .text = std::move(text),
        .date = messageDate(row.integer(3)),
        .displayText = std::nullopt,
        .linkPreview = MessagePayloads::linkPreview(database, messageID, row.text(6), row.bytes(7), home),
        .senderKey = senderKey != 0 ? std::optional(senderKey) : std::nullopt,
        .senderIdentifier = MessagesText::withoutServiceSuffix(databaseText(row, 8)),
        .messageID = messageID,
    };
}

// The statement's one number, read on a connection of its own so that it runs beside the others. The
// counts each read the whole window, as the chat list does: on one connection they took two thirds of
// the scan.
std::future<int64_t> countedAside(const std::filesystem::path& path, std::string sql, std::stop_token stop) {
    return std::async(std::launch::async, [path, sql = std::move(sql), stop = std::move(stop)] {
        return MessagesDatabaseConnection(path, stop).scalar(sql);
    });
}

// Stops the counts still running when the scan fails, so that it does not wait for them to finish.
class StopOnFailure {
public:
    explicit StopOnFailure(std::stop_source& source) : source_(source) {}
    StopOnFailure(const StopOnFailure&) = delete;
    StopOnFailure& operator=(const StopOnFailure&) = delete;
    ~StopOnFailure() {
        if (std::uncaught_exceptions() > exceptions_) {
            source_.request_stop();
        }
    }

private:
    std::stop_source& source_;
    int exceptions_ = std::uncaught_exceptions();
};

// The chat's newest messages with words, newest first. A statement that cannot run through ends the
// scan: a chat read in part would be classified on the wrong latest message.
std::vector<ConversationMessage> chatMessages(const MessagesDatabaseConnection& connection, SqliteStatement& statement,
                                              int64_t chatID, const std::filesystem::path& home) {
    statement.reset();
    if (!statement.bind(1, chatID)) {
        connection.fail();
    }
    std::vector<ConversationMessage> messages;
    int result = SQLITE_ROW;
    while ((result = statement.step()) == SQLITE_ROW) {
        if (auto read = message(statement, connection.handle(), home)) {
            messages.push_back(std::move(*read));
        }
    }
    if (result != SQLITE_DONE) {
        connection.fail();
    }
    // A stop during a preview's attachment query only loses that preview; the scan still ends here.
    connection.throwIfStopped();
    return messages;
}

}  // namespace

MessagesReader::MessagesReader(std::shared_ptr<ContactsStore> contacts, std::string userFirstName,
                               std::filesystem::path databasePath)
    : contacts_(std::move(contacts)),
      userFirstName_(std::move(userFirstName)),
      databasePath_(std::move(databasePath)) {}

MessagesReader MessagesReader::forCurrentUser(std::shared_ptr<ContactsStore> contacts) {
    return MessagesReader(std::move(contacts), MessagesText::firstName(UserAccount::fullName()),
                          messagesDatabasePath());
}

ConversationBatch MessagesReader::scan(LookbackWindow window, std::stop_token stop) const {
    const MessagesDatabaseConnection connection(databasePath_, stop);
    // The counts' connections stop with the scan, and when it fails; their futures wait for them.
    std::stop_source countsStop;
    const std::stop_callback forwardStop(stop, [&countsStop] { countsStop.request_stop(); });
    std::future<int64_t> messageCount =
        countedAside(databasePath_, MessagesQueries::messageCount(window), countsStop.get_token());
    std::future<int64_t> activeConversations =
        countedAside(databasePath_, MessagesQueries::activeConversations(window), countsStop.get_token());
    std::future<int64_t> inboundEndingCount =
        countedAside(databasePath_, MessagesQueries::inboundEndingCount(window), countsStop.get_token());
    const StopOnFailure stopCountsOnFailure(countsStop);

    const MessagesContacts::ContactsMap contacts =
        contacts_ ? MessagesContacts::loadContacts(*contacts_, stop) : MessagesContacts::ContactsMap{};
    const std::filesystem::path home = UserFolders::home();

    ConversationBatch batch{.lookbackDays = toRaw(window)};
    SqliteStatement chats = connection.prepare(MessagesQueries::chatList(window));
    SqliteStatement messages = connection.prepare(MessagesQueries::chatMessages(window));
    int result = SQLITE_ROW;
    while ((result = chats.step()) == SQLITE_ROW) {
        connection.throwIfStopped();
        const ChatRow chat = chatRow(chats);
        auto conversation = MessagesConversation::conversation(
            chat, chatMessages(connection, messages, chat.chatID, home), contacts, userFirstName_);
        if (conversation) {
            batch.conversations.push_back(std::move(*conversation));
        }
    }
    // Anything but the end of the rows (a locked or damaged file) fails the scan, so that a partial
    // list never replaces the saved queue.
    if (result != SQLITE_DONE) {
        connection.fail();
    }
    batch.messageCount = messageCount.get();
    batch.activeConversations = activeConversations.get();
    batch.inboundEndingCount = inboundEndingCount.get();
    batch.generatedAt = Date::now();
    return batch;
}

std::optional<ReviewSnapshot> MessagesReader::removingDeletedMessages(const ReviewSnapshot& snapshot,
                                                                      std::stop_token stop) const {
    // Views into the snapshot, which outlives the call: a queue of thousands is not copied to be checked.
    std::set<std::string_view> identifiers;
    for (const ReviewItem& item : snapshot.items) {
        identifiers.insert(item.id);
    }
    if (snapshot.classificationCache) {
        for (const CachedConversationClassification& cached : *snapshot.classificationCache) {
            identifiers.insert(cached.conversationID);
        }
    }
    if (identifiers.empty()) {
        return std::nullopt;
    }

    const MessagesDatabaseConnection connection(databasePath_, stop, MessagesDatabaseConnection::Reading::lookups);
    SqliteStatement stillActive = connection.prepare(MessagesQueries::stillActive());
    std::set<std::string_view> gone;
    for (const std::string_view identifier : identifiers) {
        const auto identity = MessageIdentity::parse(identifier);
        if (!identity) {
            continue;  // not a Messages conversation of ours: nothing to check
        }
        stillActive.reset();
        if (!stillActive.bind(1, identity->chatID) || !stillActive.bind(2, identity->messageID)) {
            connection.fail();
        }
        const int result = stillActive.step();
        if (result == SQLITE_DONE) {
            gone.insert(identifier);
        } else if (result != SQLITE_ROW) {
            connection.fail();
        }
    }
    if (gone.empty()) {
        return std::nullopt;
    }

    ReviewSnapshot pruned = snapshot;
    std::erase_if(pruned.items, [&](const ReviewItem& item) { return gone.contains(item.id); });
    if (pruned.classificationCache) {
        std::erase_if(*pruned.classificationCache, [&](const CachedConversationClassification& cached) {
            return gone.contains(cached.conversationID);
        });
    }
    return pruned;
}

bool MessagesReader::requestContacts(std::stop_token stop, AccessQuestion question) const {
    if (!contacts_) {
        return false;
    }
    return MessagesContacts::requestContacts(*contacts_, stop, question);
}

}  // namespace nudgerly
