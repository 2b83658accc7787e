#pragma once

#include <cstddef>
#include <exception>
#include <filesystem>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <string_view>

#include <plist/plist.h>

#include "modelpacks/ModelPack.h"
#include "platform/system/FileManager.h"

// Checking a model file against its pack, and the receipt that lets later checks skip the hashing.
// Everything here is synchronous and keeps no state; hashing a pack takes minutes, so callers run
// verifyFile off the main thread.
namespace nudgerly::ModelVerification {

// The receipt's name, in the pack's folder beside the model file.
inline constexpr std::string_view receiptFileName = ".verification.plist";
// Files are hashed in pieces of this size, never read whole.
inline constexpr std::size_t chunkSize = 4 * 1024 * 1024;

// Returns when the file has exactly the pack's size and SHA-256 (in either letter case). Throws
// ModelDownloadError: operationFailed when the size cannot be read, incompleteDownload when it differs
// (before any hashing), checksumMismatch when the digest differs; FileSystemError when the file cannot
// be opened or read; CancelledError when `stop` is requested (checked before each piece is hashed).
// A `receivedSha256`, the digest of the bytes as they arrived, stands in for reading the file again.
void verifyFile(const std::filesystem::path& file, const ModelPack& pack, const FileManager& fileManager,
                std::stop_token stop = {}, const std::optional<std::string>& receivedSha256 = std::nullopt);

// The fast check: the receipt names this pack, and the file still has the recorded size and
// modification time. Any failure on the way is simply false.
bool hasVerifiedInstall(const std::filesystem::path& modelFile, const std::filesystem::path& receiptFile,
                        const ModelPack& pack, const FileManager& fileManager) noexcept;

// Writes the receipt for a file that was just verified, atomically. Throws ModelDownloadError
// (operationFailed) when the file's attributes cannot be read or its size is not the pack's, and the
// writing errors as they come.
void recordVerifiedFile(const std::filesystem::path& modelFile, const std::filesystem::path& receiptFile,
                        const ModelPack& pack, const FileManager& fileManager);

// The sentence a failed operation shows: our own errors' sentences, a system error's English
// description, and a plain fallback for anything else (never a library's internal text).
std::string message(const std::exception& error);

// Adds every string found anywhere in a parsed resume-data property list (dictionary keys included)
// that is a temporary download file name of the form "CFNetworkDownload_<letters and digits>.tmp".
// Names with a folder in front, or of any other form, are left alone, so that no other file is ever
// deleted on their strength.
void collectTemporaryDownloadFileNames(plist_t value, std::set<std::string>& names);
// The same names in stored resume data; none when it does not parse as a property list.
std::set<std::string> temporaryDownloadFileNames(std::string_view resumeData);

}  // namespace nudgerly::ModelVerification
