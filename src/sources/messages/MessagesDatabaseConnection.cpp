#include "sources/messages/MessagesDatabaseConnection.h"

#include <chrono>
#include <string>
#include <thread>

#include "core/CancelledError.h"
#include "core/Text.h"
#include "sources/messages/MessagesReaderError.h"

namespace nudgerly {
namespace {

// Virtual-machine steps between looks at the stop token: a few microseconds of work.
constexpr int progressInterval = 1000;
// Waiting for a writer: short naps, about two seconds in all.
constexpr auto busyNap = std::chrono::milliseconds(20);
constexpr int busyAttempts = 100;

}  // namespace

MessagesDatabaseConnection::MessagesDatabaseConnection(const std::filesystem::path& path, std::stop_token stop,
                                                       Reading reading)
    : stop_(std::move(stop)) {
    throwIfStopped();
    sqlite3* opened = nullptr;
    const int result = sqlite3_open_v2(path.c_str(), &opened, SQLITE_OPEN_READONLY, nullptr);
    database_.reset(opened);
    if (result != SQLITE_OK || opened == nullptr) {
        throw MessagesReaderError::fullDiskAccessRequired(path);
    }
    sqlite3_progress_handler(opened, progressInterval, &MessagesDatabaseConnection::progress, this);
    sqlite3_busy_handler(opened, &MessagesDatabaseConnection::busy, this);
    // A build without memory maps ignores it and reads as before.
    const std::string mapping =
        "PRAGMA main.mmap_size=" + std::to_string(reading == Reading::scan ? largestMap : int64_t{0});
    sqlite3_exec(opened, mapping.c_str(), nullptr, nullptr, nullptr);
    beginReading();
}

void MessagesDatabaseConnection::beginReading() {
    sqlite3* database = database_.get();
    // Deferred: the file's state is fixed by its first read, which the copy makes.
    sqlite3_exec(database, "BEGIN", nullptr, nullptr, nullptr);
    if (shadowTombstones()) {
        return;
    }
    throwIfStopped();
    // Whatever a failed copy left in TEMP must not hide the file's table: start over without it.
    if (sqlite3_get_autocommit(database) == 0) {
        sqlite3_exec(database, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    sqlite3_exec(database, "BEGIN", nullptr, nullptr, nullptr);
}

bool MessagesDatabaseConnection::shadowTombstones() {
    sqlite3* database = database_.get();
    const char* type = nullptr;
    const char* collation = nullptr;
    if (sqlite3_table_column_metadata(database, "main", "deleted_messages", "guid", &type, &collation, nullptr, nullptr,
                                      nullptr) != SQLITE_OK ||
        type == nullptr || collation == nullptr || !text::equalsIgnoringAsciiCase(type, "TEXT") ||
        !text::equalsIgnoringAsciiCase(collation, "BINARY")) {
        return false;
    }
    {
        // A number kept in the text column (only a file made by hand holds one) would become text in
        // the copy and match other messages.
        auto numbers = SqliteStatement::prepare(
            database, "SELECT 1 FROM main.deleted_messages WHERE typeof(guid) IN ('integer','real') LIMIT 1");
        if (!numbers || numbers->step() != SQLITE_DONE) {
            return false;
        }
    }
    // The index comes first, so that the copy is one insertion after another, each a few steps
    // between the progress handler's looks at the stop: even a huge list stops at once.
    return sqlite3_exec(database, std::string(tombstoneCopy).c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

SqliteStatement MessagesDatabaseConnection::prepare(std::string_view sql) const {
    throwIfStopped();
    auto statement = SqliteStatement::prepare(database_.get(), sql);
    if (!statement) {
        fail();
    }
    return std::move(*statement);
}

int64_t MessagesDatabaseConnection::scalar(std::string_view sql) const {
    auto statement = SqliteStatement::prepare(database_.get(), sql);
    if (!statement) {
        throwIfStopped();
        return 0;
    }
    if (statement->step() != SQLITE_ROW) {
        throwIfStopped();
        return 0;
    }
    return statement->integer(0);
}

void MessagesDatabaseConnection::throwIfStopped() const {
    if (stop_.stop_requested()) {
        throw CancelledError();
    }
}

void MessagesDatabaseConnection::fail() const {
    throwIfStopped();
    throw MessagesReaderError::queryFailed(text::makeValidUtf8(sqlite3_errmsg(database_.get())));
}

int MessagesDatabaseConnection::progress(void* connection) {
    return static_cast<const MessagesDatabaseConnection*>(connection)->stop_.stop_requested() ? 1 : 0;
}

int MessagesDatabaseConnection::busy(void* connection, int attempts) {
    if (attempts >= busyAttempts ||
        static_cast<const MessagesDatabaseConnection*>(connection)->stop_.stop_requested()) {
        return 0;
    }
    std::this_thread::sleep_for(busyNap);
    return 1;
}

}  // namespace nudgerly
