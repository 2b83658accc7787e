#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include <sys/types.h>

namespace nudgerly {

// Writes the file so that readers see either the old or the new bytes, never a part: a temporary file
// ".<name>.tmp-XXXXXX" in the same folder, fsync, rename over the target (a link there is replaced, not
// followed), fsync of the folder; a folder linked to another user's is refused (requireOwnFolder). The
// file gets `mode` (private by default). On any failure the temporary file is removed, the old file is
// untouched and a FileSystemError is thrown. A writer stopped before its rename (killed, power lost)
// leaves its temporary file behind: each write first removes the stale ones of its file.
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, mode_t mode = 0600);

// A temporary file of writeFileAtomically this old was left by a writer that is gone: a live writer is
// between two of its writes, or in its final fsync and rename, for far less.
inline constexpr std::chrono::seconds staleTemporaryAge{3};

// Removes the temporary files that writeFileAtomically left beside `file`: regular files named
// ".<name>.tmp-" and six letters or digits, modified at least `olderThan` ago. Nothing else is touched,
// and failures are ignored (a missing folder has none).
void removeStaleTemporaries(const std::filesystem::path& file, std::chrono::seconds olderThan = staleTemporaryAge);

// The same for the temporary files of every file in `folder`.
void removeStaleTemporariesIn(const std::filesystem::path& folder, std::chrono::seconds olderThan = staleTemporaryAge);

// The whole file; throws FileSystemError when it cannot be read or is not a regular file, or (EFBIG)
// when it holds more than `maxBytes`: a file that is larger when opened is refused without reading it,
// one that grows while read is read no further than that. `stop` is looked at between pieces
// (CancelledError).
std::string readFile(const std::filesystem::path& path, std::size_t maxBytes = std::numeric_limits<std::size_t>::max(),
                     std::stop_token stop = {});

// One of the program's own stored files, read as readFile reads, but never through a symbolic link: a
// link in the file's place is refused (ELOOP), and so is a folder that is a link to another user's
// folder (see requireOwnFolder).
std::string readOwnFile(const std::filesystem::path& path, std::size_t maxBytes, std::stop_token stop = {});

// Where one of the program's own stored files really is: `file` itself, or, when `file` is a symbolic
// link (a settings file kept with the user's dotfiles, say), the regular file it ends at, provided that
// file (when it exists already) and its folder belong to the user and neither their group nor others
// may write to them. Reading and writing go there (writeFileAtomically then writes in that folder,
// leaving the link as it is). Any other link gives `file` back, which readOwnFile refuses as a link.
std::filesystem::path followOwnFileLink(const std::filesystem::path& file);

// Throws FileSystemError ("Nudgerly won't use the folder “<path>”: ...") when `folder` is a symbolic
// link to a folder that belongs to another user, so that none of the program's files is written to or
// read from there. A link to a folder of the user's own, a real folder and a missing one pass.
void requireOwnFolder(const std::filesystem::path& folder);

struct PiecewiseRead {
    uint64_t bytesRead = 0;
    uint64_t fileSize = 0;  // as the file reported when it was opened
    bool cutShort() const { return bytesRead < fileSize; }
};

// Hands a regular file's bytes to `consume` in pieces, at most `limit` bytes in all, so that a large
// file never sits in memory whole. The file is opened without blocking, so a pipe given the file's name
// cannot stall the reader. Throws FileSystemError, told as "<context>: <reason>." ("Couldn't read
// “<name>”" when `context` is empty), when the file cannot be opened or read or is not a regular file;
// CancelledError when `stop` is requested.
PiecewiseRead readFileInPieces(const std::filesystem::path& path, uint64_t limit,
                               const std::function<void(std::string_view)>& consume, std::stop_token stop = {},
                               const std::string& context = {});

// Renames a damaged stored file to "<name>.corrupt-<UTC time>" in its folder (with "-2", "-3", ... when
// that is taken), so that it is kept for inspection and never overwritten; the new path, or none when it
// could not be moved. Of the copies of that file kept so, the newest three stay and older ones go.
std::optional<std::filesystem::path> setDamagedFileAside(const std::filesystem::path& file);

// Creates the folder and any missing parents with `mode`, and tightens an existing folder to it. A
// folder that is a link to another user's folder is refused (requireOwnFolder) and left as it is.
// Throws FileSystemError.
void createPrivateDirectories(const std::filesystem::path& path, mode_t mode = 0700);

}  // namespace nudgerly
