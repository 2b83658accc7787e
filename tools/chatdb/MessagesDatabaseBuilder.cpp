#include "chatdb/MessagesDatabaseBuilder.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <variant>

namespace nudgerly::test {

int64_t chatDatabaseDate(Date moment) {
    return std::llround(moment.secondsSinceReferenceDate * 1e9);
}

// One prepared INSERT, run again and again with new values.
class MessagesDatabaseBuilder::Insert {
public:
    // A text or blob column's value, or NULL.
    struct Blob {
        const std::optional<std::string>& bytes;
    };
    using Value = std::variant<int64_t, const std::optional<std::string>*, Blob>;

    Insert(sqlite3* database, const char* sql) : database_(database) {
        if (sqlite3_prepare_v2(database, sql, -1, &statement_, nullptr) != SQLITE_OK) {
            throw std::runtime_error(std::string("Preparing an insert failed: ") + sqlite3_errmsg(database));
        }
    }
    ~Insert() { sqlite3_finalize(statement_); }
    Insert(const Insert&) = delete;
    Insert& operator=(const Insert&) = delete;

    // Binds the values to the parameters in order and returns the new row id.
    int64_t run(std::initializer_list<Value> values) {
        int parameter = 0;
        for (const Value& value : values) {
            ++parameter;
            if (const auto* number = std::get_if<int64_t>(&value)) {
                sqlite3_bind_int64(statement_, parameter, *number);
            } else if (const auto* text = std::get_if<const std::optional<std::string>*>(&value); text != nullptr) {
                bindBytes(parameter, **text, false);
            } else {
                bindBytes(parameter, std::get<Blob>(value).bytes, true);
            }
        }
        const int result = sqlite3_step(statement_);
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
        if (result != SQLITE_DONE) {
            throw std::runtime_error(std::string("Inserting a row failed: ") + sqlite3_errmsg(database_));
        }
        return sqlite3_last_insert_rowid(database_);
    }

private:
    void bindBytes(int parameter, const std::optional<std::string>& bytes, bool blob) {
        if (!bytes) {
            sqlite3_bind_null(statement_, parameter);
        } else if (blob) {
            sqlite3_bind_blob64(statement_, parameter, bytes->data(), bytes->size(), SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_text64(statement_, parameter, bytes->data(), bytes->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        }
    }

    sqlite3* database_;
    sqlite3_stmt* statement_ = nullptr;
};

MessagesDatabaseBuilder::MessagesDatabaseBuilder(const std::filesystem::path& path, Journal journal, Date now)
    : now_(now), database_(std::make_unique<ChatDatabase>(path)) {
    if (journal == Journal::wal) {
        database_->execute("PRAGMA journal_mode=WAL");
    }
    sqlite3* db = database_->handle();
    insertHandle_ = std::make_unique<Insert>(
        db, "INSERT INTO handle (id, country, service, uncanonicalized_id) VALUES (?, 'us', ?, ?)");
    insertMessage_ = std::make_unique<Insert>(
        db,
        "INSERT INTO message (guid, text, attributedBody, handle_id, service, account, date, date_read, "
        "date_delivered, is_delivered, is_finished, is_from_me, is_read, is_sent, is_system_message, item_type, "
        "group_title, group_action_type, associated_message_guid, associated_message_type, balloon_bundle_id, "
        "payload_data, is_spam, version, sort_id) "
        "VALUES (?, ?, ?, ?, ?, 'E:', ?, ?, ?, 1, 1, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 10, 0)");
    joinMessage_ = std::make_unique<Insert>(
        db, "INSERT INTO chat_message_join (chat_id, message_id, message_date) VALUES (?, ?, ?)");
}

MessagesDatabaseBuilder::~MessagesDatabaseBuilder() = default;

std::string MessagesDatabaseBuilder::freshGuid() {
    // The shape of the UUIDs Messages uses, numbered so that a generated database is reproducible.
    char guid[40];
    const uint64_t n = ++guidCounter_;
    std::snprintf(guid, sizeof guid, "%08X-%04X-4%03X-8%03X-%012llX", static_cast<unsigned>(n * 2654435761u),
                  static_cast<unsigned>((n >> 8) & 0xFFFF), static_cast<unsigned>(n & 0xFFF),
                  static_cast<unsigned>((n >> 12) & 0xFFF), static_cast<unsigned long long>(n));
    return guid;
}

int64_t MessagesDatabaseBuilder::handle(std::string_view id, std::string_view service) {
    const auto key = std::pair{std::string(id), std::string(service)};
    if (const auto found = handles_.find(key); found != handles_.end()) {
        return found->second;
    }
    const std::optional<std::string> idText = key.first;
    const std::optional<std::string> serviceText = key.second;
    // Phone numbers keep the form they were typed in beside the canonical one; addresses have none.
    const std::optional<std::string> typed =
        id.starts_with('+') ? std::optional<std::string>(key.first.substr(1)) : std::nullopt;
    const int64_t row = insertHandle_->run({&idText, &serviceText, &typed});
    handles_.emplace(key, row);
    return row;
}

int64_t MessagesDatabaseBuilder::chat(const ChatSpec& details) {
    const bool group = details.handles.size() >= 2;
    const std::string identifier =
        details.chatIdentifier.value_or(group ? "chat" + std::to_string(208510367514400000 + ++groups_ * 7919)
                                              : (details.handles.empty() ? "" : details.handles[0]));
    const std::optional<std::string> guidText = details.service + (group ? ";+;" : ";-;") + identifier;
    const std::optional<std::string> identifierText = identifier;
    const std::optional<std::string> serviceText = details.service;
    const std::optional<std::string> roomName = group ? std::optional(identifier) : std::nullopt;
    const std::optional<std::string> groupID = group ? std::optional(freshGuid()) : std::nullopt;
    Insert insert(database_->handle(),
                  "INSERT INTO chat (guid, style, state, account_id, chat_identifier, service_name, room_name, "
                  "display_name, group_id, is_filtered, is_recovered, is_deleting_incoming_messages, "
                  "account_login) VALUES (?, ?, 3, 'E:', ?, ?, ?, ?, ?, ?, ?, ?, 'E:')");
    const int64_t row = insert.run({&guidText, int64_t{group ? 43 : 45}, &identifierText, &serviceText, &roomName,
                                    &details.displayName, &groupID, int64_t{details.isFiltered},
                                    int64_t{details.isRecovered}, int64_t{details.isDeletingIncomingMessages}});
    for (const std::string& id : details.handles) {
        database_->execute("INSERT INTO chat_handle_join (chat_id, handle_id) VALUES (" + std::to_string(row) + ", " +
                           std::to_string(handle(id, details.service)) + ")");
    }
    return row;
}

int64_t MessagesDatabaseBuilder::message(int64_t chat, const MessageSpec& details) {
    const std::optional<std::string> guidText = details.guid ? *details.guid : freshGuid();
    const std::optional<std::string> serviceText = details.service;
    const int64_t date = chatDatabaseDate(now_.addingSeconds(-static_cast<double>(details.ago.count())));
    const int64_t handleRow = details.handle.empty() ? 0 : handle(details.handle, details.service);
    const int64_t row = insertMessage_->run({
        &guidText,
        &details.text,
        Insert::Blob{details.attributedBody},
        handleRow,
        &serviceText,
        date,
        int64_t{details.fromMe ? 0 : date},  // date_read
        date,                                // date_delivered
        int64_t{details.fromMe},
        int64_t{!details.fromMe},  // is_read
        int64_t{details.fromMe},   // is_sent
        int64_t{details.isSystemMessage},
        details.itemType,
        &details.groupTitle,
        details.groupActionType,
        &details.associatedMessageGuid,
        details.associatedMessageType,
        &details.balloonBundleID,
        Insert::Blob{details.payloadData},
        int64_t{details.isSpam},
    });
    joinMessage_->run({chat, row, date});
    lastGuid_ = *guidText;
    return row;
}

int64_t MessagesDatabaseBuilder::received(int64_t chat, std::string_view handle, std::string_view text,
                                          std::chrono::seconds ago) {
    return message(chat, {.text = std::string(text), .handle = std::string(handle), .ago = ago});
}

int64_t MessagesDatabaseBuilder::sent(int64_t chat, std::string_view text, std::chrono::seconds ago) {
    return message(chat, {.text = std::string(text), .fromMe = true, .ago = ago});
}

std::string MessagesDatabaseBuilder::guid(int64_t message) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(database_->handle(), "SELECT guid FROM message WHERE ROWID=?", -1, &statement, nullptr);
    sqlite3_bind_int64(statement, 1, message);
    std::string guid;
    if (sqlite3_step(statement) == SQLITE_ROW) {
        guid = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    }
    sqlite3_finalize(statement);
    if (guid.empty()) {
        throw std::runtime_error("No message " + std::to_string(message));
    }
    return guid;
}

void MessagesDatabaseBuilder::tombstone(int64_t message) {
    database_->execute("INSERT INTO deleted_messages (guid) VALUES ('" + guid(message) + "')");
}

void MessagesDatabaseBuilder::markRecoverable(int64_t chat, int64_t message) {
    const int64_t deleted = chatDatabaseDate(now_);
    database_->execute("INSERT INTO chat_recoverable_message_join (chat_id, message_id, delete_date) VALUES (" +
                       std::to_string(chat) + ", " + std::to_string(message) + ", " + std::to_string(deleted) + ")");
}

int64_t MessagesDatabaseBuilder::attach(int64_t message, const std::optional<std::string>& fileName,
                                        int64_t totalBytes) {
    database_->execute("UPDATE message SET cache_has_attachments=1 WHERE ROWID=" + std::to_string(message));
    return database_->addAttachment(message, fileName, totalBytes);
}

void MessagesDatabaseBuilder::beginBatch() {
    database_->execute("BEGIN");
}

void MessagesDatabaseBuilder::commitBatch() {
    database_->execute("COMMIT");
}

void MessagesDatabaseBuilder::close() {
    insertHandle_.reset();
    insertMessage_.reset();
    joinMessage_.reset();
    database_.reset();
}

}  // namespace nudgerly::test
