#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "chatdb/ChatDatabase.h"
#include "core/Date.h"

// Writes Messages databases (chat.db) the way Messages itself fills them, for tests, benchmarks and
// generated demo homes. Free of the test framework.
namespace nudgerly::test {

// chat.db's form of a moment: nanoseconds since 2001-01-01 00:00 UTC.
int64_t chatDatabaseDate(Date moment);

// What Messages writes for the associated_message_type of tapbacks ("Loved", "Liked", ... and their
// removals) and for the item types of group events.
namespace MessageKinds {
inline constexpr int64_t lovedTapback = 2000;
inline constexpr int64_t participantChange = 1;  // item type: someone added or removed
inline constexpr int64_t groupRenamed = 2;       // item type: group_title holds the new name
inline constexpr int64_t groupLeft = 3;
}  // namespace MessageKinds

// A chat row. One-to-one chats have one handle; groups two or more.
struct ChatSpec {
    std::vector<std::string> handles;  // handle ids of the participants, in join order
    std::optional<std::string> displayName;
    std::optional<std::string> chatIdentifier;  // the handle for one-to-one chats, "chat<digits>" for groups
    std::string service = "iMessage";
    bool isFiltered = false;                  // moved to "Unknown Senders" or junk
    bool isRecovered = false;                 // brought back from "Recently Deleted"
    bool isDeletingIncomingMessages = false;  // being deleted as it syncs
};

// A message row joined to its chat.
struct MessageSpec {
    std::optional<std::string> text;
    std::optional<std::string> attributedBody;  // the archived body, e.g. archivedAttributedString()
    bool fromMe = false;
    // Handle id of the sender of an inbound message; for the user's own messages Messages records the
    // other side in one-to-one chats and nobody ("") in groups.
    std::string handle;
    std::chrono::seconds ago{60};  // before the builder's `now`
    int64_t itemType = 0;
    int64_t groupActionType = 0;
    std::optional<std::string> groupTitle;
    int64_t associatedMessageType = 0;
    std::optional<std::string> associatedMessageGuid;  // "p:0/<guid>" of the message a tapback is on
    bool isSystemMessage = false;
    bool isSpam = false;
    std::optional<std::string> balloonBundleID;
    std::optional<std::string> payloadData;  // e.g. richLinkArchive()
    std::optional<std::string> guid;         // a fresh one when absent
    std::string service = "iMessage";        // also the service of the sender's handle
};

// A chat.db being written: the schema of a recent macOS, rows added through a small scenario API.
// Dates count back from `now`, fixed when the builder is made. Errors throw std::runtime_error.
class MessagesDatabaseBuilder {
public:
    enum class Journal { rollback, wal };

    explicit MessagesDatabaseBuilder(const std::filesystem::path& path, Journal journal = Journal::rollback,
                                     Date now = Date::now());
    ~MessagesDatabaseBuilder();
    MessagesDatabaseBuilder(const MessagesDatabaseBuilder&) = delete;
    MessagesDatabaseBuilder& operator=(const MessagesDatabaseBuilder&) = delete;

    Date now() const { return now_; }

    // The row of a handle, added the first time it is named (per service).
    int64_t handle(std::string_view id, std::string_view service = "iMessage");

    int64_t chat(const ChatSpec& chat);
    int64_t oneToOneChat(std::string_view handle) { return chat({.handles = {std::string(handle)}}); }
    int64_t groupChat(std::vector<std::string> handles, std::optional<std::string> displayName = std::nullopt) {
        return chat({.handles = std::move(handles), .displayName = std::move(displayName)});
    }

    int64_t message(int64_t chat, const MessageSpec& message);
    int64_t received(int64_t chat, std::string_view handle, std::string_view text, std::chrono::seconds ago);
    int64_t sent(int64_t chat, std::string_view text, std::chrono::seconds ago);
    // The guid of a message row, and of the message added last.
    std::string guid(int64_t message);
    const std::string& lastGuid() const { return lastGuid_; }

    // A tombstone for the message's guid, as a deletion synced from another device leaves it.
    void tombstone(int64_t message);
    // Lists the message in "Recently Deleted".
    void markRecoverable(int64_t chat, int64_t message);
    // An attachment of the message (see ChatDatabase::addAttachment).
    int64_t attach(int64_t message, const std::optional<std::string>& fileName, int64_t totalBytes);

    // Everything between the two in one transaction: how a million rows are written in seconds.
    void beginBatch();
    void commitBatch();

    ChatDatabase& database() { return *database_; }

    // Closes the file; a WAL database is checkpointed into it. The builder is then unusable.
    void close();

private:
    class Insert;

    std::string freshGuid();

    Date now_;
    std::unique_ptr<ChatDatabase> database_;
    std::unique_ptr<Insert> insertHandle_;
    std::unique_ptr<Insert> insertMessage_;
    std::unique_ptr<Insert> joinMessage_;
    std::map<std::pair<std::string, std::string>, int64_t, std::less<>> handles_;
    uint64_t guidCounter_ = 0;
    uint64_t groups_ = 0;
    std::string lastGuid_;
};

}  // namespace nudgerly::test
