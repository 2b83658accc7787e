#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sources/gmail/GmailRecords.h"
#include "sources/gmail/mime/GmailBodyContent.h"

// Finding and decoding the text bodies of a message's MIME tree.
namespace nudgerly::GmailBodies {

// The part's own body data as text: base64url decoded, then converted from the character set its
// Content-Type names (bytes not valid there become U+FFFD). Absent when there is no data or it is not
// base64url.
std::optional<std::string> decodedData(const GmailPayload& part);

// The text of the tree, read the way a mail program shows it. A text/plain or text/html part counts
// unless it is an attachment (Content-Disposition "attachment", or a file name). A multipart/mixed
// part joins the text of all its inline parts in order; any other multipart part takes its first
// child of the preferred kind, else its first child with text, where a placeholder plain part beside
// an HTML one with visible text gives way to the HTML. Without any such part, the payload's own data
// (HTML when the payload says text/html).
std::optional<GmailBodyContent> classificationBody(const GmailPayload& payload);  // plain preferred
std::optional<GmailBodyContent> preferredBody(const GmailPayload& payload);       // HTML preferred

// The text the detail pane shows: the preferred body rendered and normalised, else the classification
// text of the body, else the cleaned snippet.
std::string displayBodyText(const GmailMessage& message);

// Both texts of a message: the classification text of its classification body (of the snippet when
// there is none) and displayBodyText. An HTML body that gives both is read once.
struct MessageTexts {
    std::string classification;
    std::string display;
};
MessageTexts messageTexts(const GmailMessage& message);

}  // namespace nudgerly::GmailBodies
