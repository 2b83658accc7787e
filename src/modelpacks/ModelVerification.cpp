#include "modelpacks/ModelVerification.h"

#include <cerrno>
#include <chrono>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "core/CancelledError.h"
#include "core/FileSystemError.h"
#include "core/PipelinedSha256.h"
#include "core/Text.h"
#include "core/UserFacingError.h"
#include "modelpacks/ModelDownloadError.h"
#include "modelpacks/ModelVerificationReceipt.h"
#include "platform/formats/PropertyList.h"
#include "platform/net/DownloadResumeData.h"

namespace nudgerly::ModelVerification {
namespace {

namespace fs = std::filesystem;

std::optional<FileAttributes> attributesIfReadable(const FileManager& fileManager, const fs::path& path) {
    try {
        return fileManager.attributesOfItem(path);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

PropertyList::Microseconds wholeMicroseconds(FileTime time) {
    return std::chrono::floor<std::chrono::microseconds>(time);
}

std::string hashFile(const fs::path& file, const FileManager& fileManager, std::stop_token stop) {
    const std::string context = "Couldn't read \u201C" + file.filename().string() + "\u201D";
    const UniqueFd fd = fileManager.openForReading(file);
    // A model not in the page cache is read from the disk in large read-aheads; only a hint.
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    std::vector<char> chunk(chunkSize);
    // Reading the next piece goes on while the last one is hashed.
    PipelinedSha256 hasher;
    for (;;) {
        const ssize_t count = ::read(fd.get(), chunk.data(), chunk.size());
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw FileSystemError(context, errno);
        }
        if (count == 0) {
            break;
        }
        if (stop.stop_requested()) {
            throw CancelledError();
        }
        hasher.update(chunk.data(), static_cast<std::size_t>(count));
    }
    return hasher.finishHex();
}

}  // namespace

void verifyFile(const fs::path& file, const ModelPack& pack, const FileManager& fileManager, std::stop_token stop,
                const std::optional<std::string>& receivedSha256) {
    const auto attributes = attributesIfReadable(fileManager, file);
    if (!attributes) {
        throw ModelDownloadError::operationFailed("The downloaded model file could not be read.");
    }
    if (attributes->size != pack.byteCount) {
        throw ModelDownloadError::incompleteDownload(pack.byteCount, attributes->size);
    }
    const std::string digest = receivedSha256 ? text::lowercased(*receivedSha256) : hashFile(file, fileManager, stop);
    if (digest != text::lowercased(pack.sha256)) {
        throw ModelDownloadError::checksumMismatch();
    }
}

bool hasVerifiedInstall(const fs::path& modelFile, const fs::path& receiptFile, const ModelPack& pack,
                        const FileManager& fileManager) noexcept {
    try {
        const auto receipt = ModelVerificationReceipt::fromPropertyList(
            fileManager.contents(receiptFile, ModelVerificationReceipt::maximumSize));
        const auto attributes = attributesIfReadable(fileManager, modelFile);
        // The time is compared in whole microseconds on both sides, as it was recorded: an untouched
        // file always matches, and any touch moves it to another microsecond.
        return receipt && attributes && receipt->identifier == pack.identifier && receipt->filename == pack.filename &&
               receipt->byteCount == pack.byteCount &&
               text::lowercased(receipt->sha256) == text::lowercased(pack.sha256) &&
               receipt->modificationDate == wholeMicroseconds(attributes->modificationTime) &&
               attributes->size == receipt->byteCount;
    } catch (...) {
        return false;
    }
}

void recordVerifiedFile(const fs::path& modelFile, const fs::path& receiptFile, const ModelPack& pack,
                        const FileManager& fileManager) {
    const auto attributes = attributesIfReadable(fileManager, modelFile);
    const auto failure = ModelDownloadError::operationFailed("The verified model file could not be recorded.");
    if (!attributes || attributes->size != pack.byteCount) {
        throw failure;
    }
    const ModelVerificationReceipt receipt{
        .identifier = pack.identifier,
        .filename = pack.filename,
        .byteCount = pack.byteCount,
        .sha256 = text::lowercased(pack.sha256),
        .modificationDate = wholeMicroseconds(attributes->modificationTime),
    };
    std::string bytes;
    try {
        bytes = receipt.binaryPropertyList();
    } catch (const UserFacingError&) {
        throw failure;  // a modification time outside the years a receipt can hold
    }
    fileManager.writeAtomically(receiptFile, bytes);
}

std::string message(const std::exception& error) {
    if (dynamic_cast<const UserFacingError*>(&error) != nullptr ||
        dynamic_cast<const CancelledError*>(&error) != nullptr) {
        return error.what();
    }
    if (const auto* system = dynamic_cast<const std::system_error*>(&error)) {
        const auto& category = system->code().category();
        if (category == std::generic_category() || category == std::system_category()) {
            return describeSystemError(system->code().value());
        }
    }
    return "The operation couldn't be completed.";
}

void collectTemporaryDownloadFileNames(plist_t value, std::set<std::string>& names) {
    const auto consider = [&](const std::string& text) {
        if (isTemporaryDownloadFileName(text)) {
            names.insert(text);
        }
    };
    // A list of nodes still to look at rather than recursion: nesting depth costs no stack.
    std::vector<plist_t> pending{value};
    while (!pending.empty()) {
        const plist_t node = pending.back();
        pending.pop_back();
        if (node == nullptr) {
            continue;
        }
        switch (plist_get_node_type(node)) {
            case PLIST_STRING:
                if (const auto text = PropertyList::stringValue(node)) {
                    consider(*text);
                }
                break;
            case PLIST_ARRAY:
                for (uint32_t index = 0; index < plist_array_get_size(node); ++index) {
                    pending.push_back(plist_array_get_item(node, index));
                }
                break;
            case PLIST_DICT:
                PropertyList::forEachEntry(node, [&](const std::string& key, plist_t entry) {
                    consider(key);
                    pending.push_back(entry);
                });
                break;
            default: break;
        }
    }
}

std::set<std::string> temporaryDownloadFileNames(std::string_view resumeData) {
    std::set<std::string> names;
    if (const auto root = PropertyList::parse(resumeData, {.maxBytes = DownloadResumeData::maximumSize})) {
        collectTemporaryDownloadFileNames(root.get(), names);
    }
    return names;
}

}  // namespace nudgerly::ModelVerification
