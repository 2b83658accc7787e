#include "sources/gmail/GmailBodies.h"

#include <algorithm>
#include <vector>

#include "core/Base64.h"
#include "core/Charset.h"
#include "core/Text.h"
#include "sources/gmail/mime/GmailBodyFormatter.h"
#include "sources/gmail/mime/MimeHeader.h"
#include "sources/gmail/mime/PlaceholderPlainPolicy.h"

namespace nudgerly::GmailBodies {
namespace {

std::optional<std::string> base64UrlDecoded(std::string data) {
    std::ranges::replace(data, '-', '+');
    std::ranges::replace(data, '_', '/');
    data.append((4 - data.size() % 4) % 4, '=');
    return Base64::decode(data);
}

bool hasType(const GmailPayload& part, std::string_view mimeType) {
    return part.mimeType && text::equalsIgnoringAsciiCase(*part.mimeType, mimeType);
}

bool isAttachment(const GmailPayload& part) {
    const std::string disposition = part.header("Content-Disposition");
    return MimeHeader::value(disposition) == "attachment" || MimeHeader::hasParameter(disposition, "filename") ||
           MimeHeader::hasParameter(part.header("Content-Type"), "name");
}

std::optional<GmailBodyContent> ownBody(const GmailPayload& payload) {
    if (auto text = decodedData(payload)) {
        return GmailBodyContent{std::move(*text), payload.mimeType == "text/html"};
    }
    return std::nullopt;
}

std::optional<GmailBodyContent> body(const GmailPayload& part, bool preferHTML);

// HTML pieces are read into text first, each on its own so that one piece's unclosed markup cannot
// swallow the next.
GmailBodyContent joined(const std::vector<GmailBodyContent>& pieces) {
    GmailBodyContent result{.isHTML = false};
    for (const GmailBodyContent& piece : pieces) {
        if (!result.text.empty()) {
            result.text += "\n\n";
        }
        result.text += piece.isHTML ? GmailBodyFormatter::renderHTML(piece.text) : piece.text;
    }
    return result;
}

std::optional<GmailBodyContent> mixedBody(const std::vector<GmailPayload>& parts, bool preferHTML) {
    std::vector<GmailBodyContent> pieces;
    for (const GmailPayload& part : parts) {
        if (auto piece = body(part, preferHTML)) {
            pieces.push_back(std::move(*piece));
        }
    }
    if (pieces.empty()) {
        return std::nullopt;
    }
    return pieces.size() == 1 ? std::move(pieces.front()) : joined(pieces);
}

std::optional<GmailBodyContent> alternativeBody(const std::vector<GmailPayload>& parts, bool preferHTML) {
    std::optional<GmailBodyContent> placeholder;
    std::optional<GmailBodyContent> other;
    for (const GmailPayload& part : parts) {
        auto candidate = body(part, preferHTML);
        if (!candidate) {
            continue;
        }
        if (candidate->isHTML != preferHTML) {
            if (!other) {
                other = std::move(candidate);
            }
        } else if (!preferHTML && !placeholder && PlaceholderPlainPolicy::isPlaceholder(candidate->text)) {
            placeholder = std::move(candidate);
        } else {
            return candidate;
        }
    }
    if (placeholder && !(other && !GmailBodyFormatter::classificationText(other->text, true).empty())) {
        return placeholder;
    }
    return other;
}

std::optional<GmailBodyContent> body(const GmailPayload& part, bool preferHTML) {
    if (isAttachment(part)) {
        return std::nullopt;  // a forwarded message included, for one
    }
    if (part.parts) {
        return hasType(part, "multipart/mixed") ? mixedBody(*part.parts, preferHTML)
                                                : alternativeBody(*part.parts, preferHTML);
    }
    const bool html = hasType(part, "text/html");
    if (!html && !hasType(part, "text/plain")) {
        return std::nullopt;
    }
    if (auto text = decodedData(part)) {
        return GmailBodyContent{std::move(*text), html};
    }
    return std::nullopt;
}

std::string displayText(const GmailMessage& message, const std::optional<GmailBodyContent>& preferred,
                        const std::optional<GmailBodyContent>& classification) {
    if (preferred) {
        std::string text = GmailBodyFormatter::normalize(
            preferred->isHTML ? GmailBodyFormatter::renderHTML(preferred->text) : preferred->text);
        if (!text.empty()) {
            return text;
        }
    }
    if (classification) {
        return GmailBodyFormatter::classificationText(classification->text, classification->isHTML);
    }
    return GmailBodyFormatter::classificationText(message.snippet, false);
}

std::optional<GmailBodyContent> bodyOrOwnData(const GmailPayload& payload, bool preferHTML) {
    if (auto found = body(payload, preferHTML)) {
        return found;
    }
    return ownBody(payload);
}

}  // namespace

std::optional<std::string> decodedData(const GmailPayload& part) {
    if (!part.body || !part.body->data) {
        return std::nullopt;
    }
    const auto bytes = base64UrlDecoded(*part.body->data);
    if (!bytes) {
        return std::nullopt;
    }
    return Charset::toUtf8(*bytes, MimeHeader::parameter(part.header("Content-Type"), "charset").value_or(""));
}

std::optional<GmailBodyContent> classificationBody(const GmailPayload& payload) {
    return bodyOrOwnData(payload, false);
}

std::optional<GmailBodyContent> preferredBody(const GmailPayload& payload) {
    return bodyOrOwnData(payload, true);
}

std::string displayBodyText(const GmailMessage& message) {
    return displayText(message, preferredBody(message.payload), classificationBody(message.payload));
}

MessageTexts messageTexts(const GmailMessage& message) {
    const auto classification = classificationBody(message.payload);
    const auto preferred = preferredBody(message.payload);
    if (classification && classification->isHTML && preferred == classification) {
        const std::string rendered = GmailBodyFormatter::renderHTML(classification->text);
        std::string line = GmailBodyFormatter::singleLine(rendered);
        std::string display = GmailBodyFormatter::normalize(rendered);
        return {line, display.empty() ? line : std::move(display)};
    }
    return {GmailBodyFormatter::classificationText(classification ? classification->text : message.snippet,
                                                   classification && classification->isHTML),
            displayText(message, preferred, classification)};
}

}  // namespace nudgerly::GmailBodies
