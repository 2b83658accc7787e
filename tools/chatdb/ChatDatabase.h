#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <sqlite3.h>

// The Messages database (chat.db) for tests and generated homes.
namespace nudgerly::test {

// The tables of chat.db that the Messages reader queries, with the column names, types and defaults
// that a recent macOS writes, and the indexes on their joins. Columns the reader never reads are
// kept, so that rows can be inserted as Messages would insert them.
extern const std::string_view chatDatabaseSchema;

// A chat.db made from chatDatabaseSchema (the file is created), open for writing while this lives.
// Failures throw std::runtime_error with SQLite's message.
class ChatDatabase {
public:
    explicit ChatDatabase(const std::filesystem::path& path);
    ~ChatDatabase();
    ChatDatabase(const ChatDatabase&) = delete;
    ChatDatabase& operator=(const ChatDatabase&) = delete;

    void execute(std::string_view sql);

    // An attachment row (file name NULL when absent) joined to the message; returns its row id.
    int64_t addAttachment(int64_t messageID, const std::optional<std::string>& fileName, int64_t totalBytes);

    sqlite3* handle() const { return database_; }

private:
    sqlite3* database_ = nullptr;
};

}  // namespace nudgerly::test
