#include "sources/messages/MessagePayloads.h"

#include <sys/stat.h>

#include "core/FileSystemError.h"
#include "core/Files.h"
#include "core/Text.h"
#include "platform/formats/ImageHeader.h"
#include "platform/formats/SqliteStatement.h"
#include "platform/formats/TypedStreamReader.h"
#include "sources/messages/RichLinkArchive.h"

namespace nudgerly::MessagePayloads {
namespace {

// Smaller images are icons rather than previews.
constexpr int64_t minimumWidth = 240;
constexpr int64_t minimumHeight = 120;

std::optional<std::filesystem::path> expandedPath(const std::string& fileName, const std::filesystem::path& home) {
    std::filesystem::path path;
    if (fileName == "~") {
        path = home;
    } else if (fileName.starts_with("~/")) {
        path = home / fileName.substr(2);
    } else {
        path = fileName;
    }
    // A relative name would be looked up wherever the program happens to run.
    if (!path.is_absolute()) {
        return std::nullopt;
    }
    return path;
}

// The first bytes of a regular file, enough for its image header. Looking before opening keeps FIFOs
// and devices from ever being opened (opening some has effects); the reader checks again what it
// opened, and opens without blocking.
std::optional<std::string> imageHeader(const std::filesystem::path& path) {
    struct stat info {};
    // A NUL would cut the path short and name another file.
    if (path.native().find('\0') != std::string::npos || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    std::string header;
    try {
        readFileInPieces(path, ImageHeader::bytesNeeded, [&](std::string_view piece) { header.append(piece); });
    } catch (const FileSystemError&) {
        return std::nullopt;
    }
    return header;
}

bool isAsciiWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The words with every run of ASCII white space made one space, as the classifier sees them anyway,
// until `limit` bytes are kept; true when more followed. The bytes of a UTF-8 sequence are never ASCII,
// so no character is split by the collapse.
bool appendCollapsed(std::string& kept, std::string_view words, std::size_t limit) {
    kept.reserve(std::min(words.size(), limit));
    for (std::size_t at = 0; at < words.size();) {
        if (kept.size() == limit) {
            return true;
        }
        if (isAsciiWhiteSpace(words[at])) {
            kept.push_back(' ');
            while (at < words.size() && isAsciiWhiteSpace(words[at])) {
                ++at;
            }
            continue;
        }
        const std::size_t runEnd = std::min(words.size(), at + (limit - kept.size()));
        std::size_t end = at;
        while (end < runEnd && !isAsciiWhiteSpace(words[end])) {
            ++end;
        }
        kept.append(words.substr(at, end - at));
        at = end;
    }
    return false;
}

}  // namespace

std::string decodedText(std::string_view text, std::string_view attributedBody) {
    std::string_view words = text;
    if (words.empty() && !attributedBody.empty()) {
        words = TypedStreamReader::rootCharacters(attributedBody).value_or(std::string_view());
    }
    if (words.size() <= longestTakenText) {
        return text::makeValidUtf8(words);
    }
    std::string collapsed;
    // One byte beyond the limit tells a cut prefix from words that fit once collapsed.
    if (!appendCollapsed(collapsed, words, longestTakenText + 1)) {
        return text::makeValidUtf8(collapsed);
    }
    return text::makeValidUtf8(text::bytePrefix(collapsed, longestTakenText)) + "\u2026";
}

std::optional<MessageLinkPreview> linkPreview(std::string_view balloonBundleID, std::string_view payloadData) {
    if (balloonBundleID != urlBalloonProvider || payloadData.empty()) {
        return std::nullopt;
    }
    return RichLinkArchive::preview(payloadData);
}

std::optional<MessageLinkPreview> linkPreview(sqlite3* database, int64_t messageID, std::string_view balloonBundleID,
                                              std::string_view payloadData, const std::filesystem::path& home) {
    auto preview = linkPreview(balloonBundleID, payloadData);
    if (preview) {
        preview->imagePath = cachedPreviewImagePath(database, messageID, home);
    }
    return preview;
}

std::optional<std::string> cachedPreviewImagePath(sqlite3* database, int64_t messageID,
                                                  const std::filesystem::path& home) {
    auto statement = SqliteStatement::prepare(database, previewAttachmentQuery);
    if (!statement || !statement->bind(1, messageID)) {
        return std::nullopt;
    }
    std::optional<std::string> best;
    int64_t bestArea = 0;
    while (statement->step() == SQLITE_ROW) {
        const auto path = expandedPath(statement->text(0), home);
        const auto header = path ? imageHeader(*path) : std::nullopt;
        const auto size = header ? ImageHeader::pixelSize(*header) : std::nullopt;
        if (!size || size->width < minimumWidth || size->height < minimumHeight) {
            continue;
        }
        // Both sides are below 2^32, so the area fits.
        const int64_t area = size->width * size->height;
        if (!best || area > bestArea) {
            best = path->string();
            bestArea = area;
        }
    }
    return best;
}

}  // namespace nudgerly::MessagePayloads
