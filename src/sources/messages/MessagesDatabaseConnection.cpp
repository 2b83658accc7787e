#include "sources/messages/MessagesDatabaseConnection.h"

#include <chrono>
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

MessagesDatabaseConnection::MessagesDatabaseConnection(const std::filesystem::path& path, std::stop_token stop)
    : stop_(std::move(stop)) {
    throwIfStopped();
    if (sqlite3_open_v2(path.c_str(), &database_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK || database_ == nullptr) {
        sqlite3_close(database_);
        throw MessagesReaderError::fullDiskAccessRequired();
    }
    sqlite3_progress_handler(database_, progressInterval, &MessagesDatabaseConnection::progress, this);
    sqlite3_busy_handler(database_, &MessagesDatabaseConnection::busy, this);
}

MessagesDatabaseConnection::~MessagesDatabaseConnection() {
    // Statements are finalized by then; should one still be open, v2 closes once it is.
    sqlite3_close_v2(database_);
}

SqliteStatement MessagesDatabaseConnection::prepare(std::string_view sql) const {
    throwIfStopped();
    auto statement = SqliteStatement::prepare(database_, sql);
    if (!statement) {
        fail();
    }
    return std::move(*statement);
}

int64_t MessagesDatabaseConnection::scalar(std::string_view sql) const {
    auto statement = SqliteStatement::prepare(database_, sql);
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
    throw MessagesReaderError::queryFailed(text::makeValidUtf8(sqlite3_errmsg(database_)));
}

int MessagesDatabaseConnection::progress(void* connection) {
    return static_cast<const MessagesDatabaseConnection*>(connection)->stop_.stop_requested() ? 1 : 0;
}

int MessagesDatabaseConnection::busy(void* connection, int attempts) {
    if (attempts >= busyAttempts || static_cast<const MessagesDatabaseConnection*>(connection)->stop_.stop_requested()) {
        return 0;
    }
    std::this_thread::sleep_for(busyNap);
    return 1;
}

}  // namespace nudgerly
