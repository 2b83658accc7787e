#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

// Builders for the Gmail REST API's JSON, as the thread call answers it.
namespace nudgerly::test::GmailFixtures {

// A leaf part whose body data is `bytes` in unpadded base64url; `contentType` becomes its
// Content-Type header when given.
nlohmann::json part(const std::string& mimeType, std::string_view bytes, const std::string& contentType = "");

// A multipart node holding `parts`, without body data.
nlohmann::json multipart(const std::string& mimeType, std::vector<nlohmann::json> parts);

struct Message {
    std::string id = "m1";
    std::string internalDate = "1700000000000";
    std::string from = "\"Ada Lovelace\" <ada@example.com>";
    std::string subject = "Hello";
    std::string snippet;
    std::vector<std::string> labels = {"INBOX"};
    nlohmann::json payload = part("text/plain", "Hello there");
};

// The message as JSON; From and Subject join the payload's headers.
nlohmann::json message(const Message& message);

nlohmann::json thread(const std::string& id, const std::vector<Message>& messages);

}  // namespace nudgerly::test::GmailFixtures
