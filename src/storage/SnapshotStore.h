#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "core/JsonCoding.h"
#include "review/ReviewSnapshot.h"

// The format of the snapshot files: one `ReviewSnapshot` object as pretty-printed JSON with sorted
// keys and dates as ISO 8601 text in UTC with whole seconds ("2026-03-01T09:30:00Z"). No envelope and
// no version field.
namespace nudgerly::SnapshotStore {

// Dates as whole-second ISO 8601 text; reading refuses fractions of a second and numbers.
inline constexpr JsonCoding coding{DateCoding::iso8601};

// The file's bytes. Throws JsonEncodingError for a snapshot that cannot be written (a date outside
// the years 1 to 9999, a non-finite number).
std::string encode(const ReviewSnapshot& snapshot);

// Throws JsonDecodingError when the bytes are not such a snapshot. The elements of the long arrays
// are decoded side by side, on threads that end before it returns.
ReviewSnapshot decode(std::string_view bytes);

// Creates the file's folder (0700) and writes the file atomically (0600). Any failure is thrown
// (FileSystemError or JsonEncodingError) and leaves the previous file as it was.
void save(const ReviewSnapshot& snapshot, const std::filesystem::path& file);

// Far above the queue of years of mail and chats; a larger file is taken for damage and not read.
inline constexpr std::size_t maximumFileSize = 256 * 1024 * 1024;

// The snapshot in `file`; absent when the file is missing, unreadable, too large or does not decode.
// The file is read as readOwnFile reads it, whole, and its text let go once decoded. Throws
// CancelledError when `stop` is requested while the file is read or decoded.
std::optional<ReviewSnapshot> load(const std::filesystem::path& file, std::stop_token stop = {});

}  // namespace nudgerly::SnapshotStore
