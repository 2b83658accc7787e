#include "loopback/GmailFixtures.h"

#include "core/Base64.h"

namespace nudgerly::test::GmailFixtures {

nlohmann::json part(const std::string& mimeType, std::string_view bytes, const std::string& contentType) {
    nlohmann::json headers = nlohmann::json::array();
    if (!contentType.empty()) {
        headers.push_back({{"name", "Content-Type"}, {"value", contentType}});
    }
    return {{"partId", "0"},
            {"mimeType", mimeType},
            {"filename", ""},
            {"headers", headers},
            {"body", {{"size", bytes.size()}, {"data", Base64::encodeUrlSafe(bytes)}}}};
}

nlohmann::json multipart(const std::string& mimeType, std::vector<nlohmann::json> parts) {
    return {{"mimeType", mimeType}, {"headers", nlohmann::json::array()}, {"body", {{"size", 0}}}, {"parts", parts}};
}

nlohmann::json message(const Message& message) {
    nlohmann::json payload = message.payload;
    payload["headers"].push_back({{"name", "From"}, {"value", message.from}});
    payload["headers"].push_back({{"name", "Subject"}, {"value", message.subject}});
    return {{"id", message.id},
            {"threadId", "t"},
            {"labelIds", message.labels},
            {"snippet", message.snippet},
            {"internalDate", message.internalDate},
            {"payload", payload}};
}

nlohmann::json thread(const std::string& id, const std::vector<Message>& messages) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& each : messages) {
        list.push_back(message(each));
    }
    return {{"id", id}, {"historyId", "1"}, {"messages", list}};
}

}  // namespace nudgerly::test::GmailFixtures
