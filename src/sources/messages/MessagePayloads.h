#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <sqlite3.h>

#include "review/MessageLinkPreview.h"

// What a row of the Messages database carries beyond its plain columns: the words of a message kept
// only in its archived attributed body, and the preview of a shared link with its cached image. The
// bytes come from a database copied from another machine; nothing here throws: what cannot be read
// gives empty text or no preview.
namespace nudgerly::MessagePayloads {

// The balloon that marks a message as a shared link with a rich preview.
inline constexpr std::string_view urlBalloonProvider = "com.apple.messages.URLBalloonProvider";

// The most that is taken of one message's words, in bytes: far more than the 1,500 characters a
// message is cut to need (over 40 bytes each), so that a message of any length costs no more than a
// long one.
inline constexpr std::size_t longestTakenText = 64 * 1024;

// What the reader's statement reads of a message at most: the first characters of `text`, and an
// `attributedBody` only when it is no larger (one that is gives no words; a real body is a few hundred
// bytes beyond its characters). Far beyond longestTakenText, so that words padded with thousands of
// line breaks still fill it once the white space is collapsed.
inline constexpr std::size_t longestReadText = 16 * longestTakenText;
inline constexpr std::size_t largestReadBody = 16 * longestTakenText;

// The `text` column when it is not empty (NULL reads as empty), else the string archived in
// `attributedBody`; empty when neither holds words. Always valid UTF-8. Words longer than
// longestTakenText have each run of ASCII white space made one space, are then cut there and end in
// "…".
std::string decodedText(std::string_view text, std::string_view attributedBody);

// The attachments of a message (parameter 1) that may hold its preview picture: their file names,
// largest file first, then the newer row.
inline constexpr std::string_view previewAttachmentQuery =
    "SELECT a.filename\n"
    "FROM message_attachment_join maj\n"
    "JOIN attachment a ON a.ROWID=maj.attachment_id\n"
    "WHERE maj.message_id=? AND a.filename IS NOT NULL\n"
    "ORDER BY a.total_bytes DESC,a.ROWID DESC";

// The link preview of a message whose balloon is exactly the URL balloon, read from its
// `payload_data`; without an image path.
std::optional<MessageLinkPreview> linkPreview(std::string_view balloonBundleID, std::string_view payloadData);

// The same with the image path filled in from the message's attachments.
std::optional<MessageLinkPreview> linkPreview(sqlite3* database, int64_t messageID, std::string_view balloonBundleID,
                                              std::string_view payloadData, const std::filesystem::path& home);

// The path of the message's attachment best suited as a preview image: among the image files at
// least 240 pixels wide and 120 high, the one with the largest area, the larger file on a tie. A
// leading "~" in a file name stands for `home`; names that are not absolute paths then are skipped.
// Files are recognised by their first bytes; only regular files are opened, and only their headers
// are read.
std::optional<std::string> cachedPreviewImagePath(sqlite3* database, int64_t messageID,
                                                  const std::filesystem::path& home);

}  // namespace nudgerly::MessagePayloads
