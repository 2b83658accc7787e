#include "sources/gmail/GmailBodies.h"

#include <algorithm>

#include "core/Base64.h"
#include "core/Charset.h"
#include "core/Text.h"
#include "sources/gmail/GmailBodyFormatter.h"
#include "sources/gmail/MimeHeader.h"

namespace nudgerly::GmailBodies {
namespace {

std::optional<std::string> base64UrlDecoded(std::string data) {
    std::ranges::replace(data, '-', '+');
    std::ranges::replace(data, '_', '/');
    data.append((4 - data.size() % 4) % 4, '=');
    return Base64::decode(data);
}

std::optional<GmailBodyContent> ownBody(const GmailPayload& payload) {
    if (auto text = decodedData(payload)) {
        return GmailBodyContent{std::move(*text), payload.mimeType == "text/html"};
    }
    return std::nullopt;
}

std::optional<GmailBodyContent> firstBody(const GmailPayload& payload, std::string_view preferredType,
                                          std::string_view otherType) {
    if (auto text = bodyText(payload, preferredType)) {
        return GmailBodyContent{std::move(*text), preferredType == "text/html"};
    }
    if (auto text = bodyText(payload, otherType)) {
        return GmailBodyContent{std::move(*text), otherType == "text/html"};
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

std::optional<std::string> bodyText(const GmailPayload& payload, std::string_view mimeType) {
    if (payload.mimeType && text::equalsIgnoringAsciiCase(*payload.mimeType, mimeType)) {
        if (auto text = decodedData(payload)) {
            return text;
        }
    }
    if (payload.parts) {
        for (const auto& part : *payload.parts) {
            if (auto text = bodyText(part, mimeType)) {
                return text;
            }
        }
    }
    return std::nullopt;
}

std::optional<GmailBodyContent> classificationBody(const GmailPayload& payload) {
    return firstBody(payload, "text/plain", "text/html");
}

std::optional<GmailBodyContent> preferredBody(const GmailPayload& payload) {
    return firstBody(payload, "text/html", "text/plain");
}

std::string displayBodyText(const GmailMessage& message) {
    if (const auto body = preferredBody(message.payload)) {
        std::string text = GmailBodyFormatter::normalize(body->isHTML ? GmailBodyFormatter::renderHTML(body->text) : body->text);
        if (!text.empty()) {
            return text;
        }
    }
    if (const auto body = classificationBody(message.payload)) {
        return GmailBodyFormatter::classificationText(body->text, body->isHTML);
    }
    return GmailBodyFormatter::classificationText(message.snippet, false);
}

}  // namespace nudgerly::GmailBodies
