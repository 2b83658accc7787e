#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sources/gmail/GmailBodyContent.h"
#include "sources/gmail/GmailRecords.h"

// Finding and decoding the text bodies of a message's MIME tree.
namespace nudgerly::GmailBodies {

// The part's own body data as text: base64url decoded, then converted from the character set its
// Content-Type names (bytes not valid there become U+FFFD). Absent when there is no data or it is not
// base64url.
std::optional<std::string> decodedData(const GmailPayload& part);

// Depth first, a part before its children: the text of the first part of this MIME type (compared
// without regard to case) whose data decodes.
std::optional<std::string> bodyText(const GmailPayload& payload, std::string_view mimeType);

// Plain text first, then HTML, then the payload's own data.
std::optional<GmailBodyContent> classificationBody(const GmailPayload& payload);

// HTML first, then plain text, then the payload's own data.
std::optional<GmailBodyContent> preferredBody(const GmailPayload& payload);

// The text the detail pane shows: the preferred body rendered and normalised, else the classification
// text of the body, else the cleaned snippet.
std::string displayBodyText(const GmailMessage& message);

}  // namespace nudgerly::GmailBodies
