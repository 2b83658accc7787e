#include "sources/gmail/GmailRecords.h"

#include <algorithm>

#include "core/Text.h"

namespace nudgerly {

GmailProfile GmailProfile::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    const auto& object = Json::object(value);
    return {.emailAddress = Json::required<std::string>(object, "emailAddress", coding)};
}

GmailMessageReference GmailMessageReference::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    const auto& object = Json::object(value);
    return {.id = Json::required<std::string>(object, "id", coding),
            .threadID = Json::required<std::string>(object, "threadId", coding)};
}

GmailMessageList GmailMessageList::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    const auto& object = Json::object(value);
    return {.messages = Json::optional<std::vector<GmailMessageReference>>(object, "messages", coding),
            .nextPageToken = Json::optional<std::string>(object, "nextPageToken", coding)};
}

GmailHeader GmailHeader::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    const auto& object = Json::object(value);
    return {.name = Json::required<std::string>(object, "name", coding),
            .value = Json::required<std::string>(object, "value", coding)};
}

GmailBody GmailBody::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    return {.data = Json::optional<std::string>(Json::object(value), "data", coding)};
}

GmailPayload GmailPayload::fromJson(const nlohmann::json& value, const JsonCoding&) {
    return fromJsonAtDepth(value, 1);
}

GmailPayload GmailPayload::fromJsonAtDepth(const nlohmann::json& value, std::size_t depth) {
    if (depth > maximumDepth) {
        throw JsonDecodingError("The message's parts are nested too deeply.");
    }
    const auto& object = Json::object(value);
    GmailPayload payload{.mimeType = Json::optional<std::string>(object, "mimeType"),
                         .headers = Json::required<std::vector<GmailHeader>>(object, "headers"),
                         .body = Json::optional<GmailBody>(object, "body")};
    const auto parts = object.find("parts");
    if (parts != object.end() && !parts->is_null()) {
        if (!parts->is_array()) {
            throw JsonDecodingError("Key \"parts\": Expected an array.");
        }
        std::vector<GmailPayload> children;
        children.reserve(parts->size());
        for (const auto& part : *parts) {
            children.push_back(fromJsonAtDepth(part, depth + 1));
        }
        payload.parts = std::move(children);
    }
    return payload;
}

GmailMessage GmailMessage::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    const auto& object = Json::object(value);
    // Read in this order so that the first failure is the one reported.
    auto id = Json::required<std::string>(object, "id", coding);
    auto internalDate = Json::required<std::string>(object, "internalDate", coding);
    auto snippet = Json::required<std::string>(object, "snippet", coding);
    auto payload = Json::required<GmailPayload>(object, "payload", coding);
    auto labelIDs = Json::optional<std::vector<std::string>>(object, "labelIds", coding);
    return {.id = std::move(id),
            .internalDate = std::move(internalDate),
            .labelIDs = std::move(labelIDs),
            .snippet = std::move(snippet),
            .payload = std::move(payload)};
}

std::string GmailPayload::header(std::string_view name) const {
    const auto found = std::ranges::find_if(
        headers, [&](const GmailHeader& header) { return text::equalsIgnoringAsciiCase(header.name, name); });
    return found == headers.end() ? std::string() : found->value;
}

std::string GmailMessage::header(std::string_view name) const {
    return payload.header(name);
}

GmailThread GmailThread::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    const auto& object = Json::object(value);
    return {.id = Json::required<std::string>(object, "id", coding),
            .messages = Json::required<std::vector<GmailMessage>>(object, "messages", coding)};
}

GmailAPIError::Detail GmailAPIError::Detail::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    return {.message = Json::required<std::string>(Json::object(value), "message", coding)};
}

GmailAPIError GmailAPIError::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    return {.error = Json::required<Detail>(Json::object(value), "error", coding)};
}

}  // namespace nudgerly
