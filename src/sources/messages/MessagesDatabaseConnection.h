#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stop_token>
#include <string_view>

#include <sqlite3.h>

#include "platform/formats/SqliteStatement.h"

namespace nudgerly {

// A read-only connection to the Messages database for the length of one call, closed when it goes
// away (after the statements made on it, which must not outlive it). Everything read on it belongs to
// one read transaction, so a call sees one state of a file that Messages may be writing. A requested
// stop interrupts whatever statement runs, through SQLite's progress handler, so even a long query
// ends within moments. While Messages itself writes to the file, a read waits for it up to about two
// seconds.
//
// Messages keeps no index on deleted_messages.guid, so checking a message against the tombstones
// scans them all. The connection copies them into an indexed TEMP table of the same name, which
// unqualified names find first: the same statements then look tombstones up, and the file is never
// written. A table the copy could not stand in for exactly (another column type or collation, a view)
// or a copy that fails leaves the statements reading the file's own table, as they would without it.
//
// A scan reads the file through a memory map where this SQLite build allows one: it then reads the
// pages where they lie rather than having the kernel copy each into SQLite's cache. Lookups of a few
// rows each do without: every page a map has touched stays in the process until the connection
// closes, and checking a saved queue of thousands touches most of the file for a few rows of each page.
class MessagesDatabaseConnection {
public:
    enum class Reading { scan, lookups };

    // The statements that make the indexed copy of the tombstones.
    static constexpr std::string_view tombstoneCopy =
        "CREATE TEMP TABLE deleted_messages (guid TEXT);\n"
        "CREATE INDEX temp.deleted_messages_guid ON deleted_messages (guid);\n"
        "INSERT INTO temp.deleted_messages (guid) SELECT guid FROM main.deleted_messages";
    // The most of the file that is mapped: the largest map SQLite takes by default.
    static constexpr int64_t largestMap = 0x7fff0000;

    // Opens the file with SQLITE_OPEN_READONLY and nothing else. Throws MessagesReaderError
    // (fullDiskAccessRequired) when it cannot be opened, CancelledError when `stop` is requested.
    MessagesDatabaseConnection(const std::filesystem::path& path, std::stop_token stop,
                               Reading reading = Reading::scan);
    MessagesDatabaseConnection(const MessagesDatabaseConnection&) = delete;
    MessagesDatabaseConnection& operator=(const MessagesDatabaseConnection&) = delete;

    sqlite3* handle() const { return database_.get(); }

    // Throws CancelledError once a stop is requested, and what `fail` throws when the text does not compile.
    SqliteStatement prepare(std::string_view sql) const;

    // The first column of the first row as an integer; 0 when the statement fails or has no row.
    // Throws CancelledError when the failure was a requested stop.
    int64_t scalar(std::string_view sql) const;

    // Throws CancelledError when a stop was requested.
    void throwIfStopped() const;

    // After a failed call: CancelledError when a stop was requested (the call was interrupted),
    // otherwise MessagesReaderError (queryFailed) with SQLite's message.
    [[noreturn]] void fail() const;

private:
    struct Closer {
        // Statements are finalized by then; should one still be open, v2 closes once it is. Closing
        // ends the read transaction.
        void operator()(sqlite3* database) const { sqlite3_close_v2(database); }
    };

    static int progress(void* connection);
    static int busy(void* connection, int attempts);
    void beginReading();
    bool shadowTombstones();

    std::unique_ptr<sqlite3, Closer> database_;
    std::stop_token stop_;
};

}  // namespace nudgerly
