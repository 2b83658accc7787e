#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/JsonCoding.h"

// The JSON records read from the Gmail REST API (the token endpoint's error body is in oauth/). They
// only decode: keys match exactly, other keys are ignored, a missing required key or a value of the
// wrong type fails the whole record with JsonDecodingError, and an absent or null optional key reads
// as absent.
namespace nudgerly {

struct GmailProfile {
    std::string emailAddress;

    static GmailProfile fromJson(const nlohmann::json& value, const JsonCoding& coding = {});
    friend bool operator==(const GmailProfile&, const GmailProfile&) = default;
};

struct GmailMessageReference {
    std::string id;
    std::string threadID;  // "threadId"

    static GmailMessageReference fromJson(const nlohmann::json& value, const JsonCoding& coding = {});
    friend bool operator==(const GmailMessageReference&, const GmailMessageReference&) = default;
};

// One page of the message list; both fields are absent on an empty last page.
struct GmailMessageList {
    std::optional<std::vector<GmailMessageReference>> messages;
    std::optional<std::string> nextPageToken;

    static GmailMessageList fromJson(const nlohmann::json& value, const JsonCoding& coding = {});
    friend bool operator==(const GmailMessageList&, const GmailMessageList&) = default;
};

struct GmailHeader {
    std::string name;
    std::string value;

    static GmailHeader fromJson(const nlohmann::json& value, const JsonCoding& coding = {});
    friend bool operator==(const GmailHeader&, const GmailHeader&) = default;
};

struct GmailBody {
    std::optional<std::string> data;  // base64url, unpadded

    static GmailBody fromJson(const nlohmann::json& value, const JsonCoding& coding = {});
    friend bool operator==(const GmailBody&, const GmailBody&) = default;
};

// One node of a message's MIME tree.
struct GmailPayload {
    // Mail nests parts a handful of levels deep; a deeper tree is refused rather than followed down
    // until the stack runs out.
    static constexpr std::size_t maximumDepth = 64;

    std::optional<std::string> mimeType;
    std::vector<GmailHeader> headers;
    std::optional<GmailBody> body;
    std::optional<std::vector<GmailPayload>> parts;

    static GmailPayload fromJson(const nlohmann::json& value, const JsonCoding& coding = {});
    friend bool operator==(const GmailPayload&, const GmailPayload&) = default;

    // The value of this part's first header with this name, compared without regard to case; "" when
    // none.
    std::string header(std::string_view name) const;

private:
    static GmailPayload fromJsonAtDepth(const nlohmann::json& value, std::size_t depth);
};

struct GmailMessage {
    std::string id;
    std::string internalDate;                          // epoch milliseconds as decimal text, kept as written
    std::optional<std::vector<std::string>> labelIDs;  // "labelIds"
    std::string snippet;
    GmailPayload payload;

    static GmailMessage fromJson(const nlohmann::json& value, const JsonCoding& coding = {});
    friend bool operator==(const GmailMessage&, const GmailMessage&) = default;

    // The value of the first header with this name, compared without regard to case; "" when none.
    std::string header(std::string_view name) const;
};

struct GmailThread {
    std::string id;
    std::vector<GmailMessage> messages;

    static GmailThread fromJson(const nlohmann::json& value, const JsonCoding& coding = {});
    friend bool operator==(const GmailThread&, const GmailThread&) = default;
};

// The Gmail API's error body: {"error": {"message": ...}}.
struct GmailAPIError {
    struct Detail {
        std::string message;

        static Detail fromJson(const nlohmann::json& value, const JsonCoding& coding = {});
        friend bool operator==(const Detail&, const Detail&) = default;
    };

    Detail error;

    static GmailAPIError fromJson(const nlohmann::json& value, const JsonCoding& coding = {});
    friend bool operator==(const GmailAPIError&, const GmailAPIError&) = default;
};

// Parses a response body and decodes it as `Record`; JsonDecodingError when either step fails.
template <typename Record>
Record decodeGmailRecord(std::string_view body) {
    return Record::fromJson(parseJson(body));
}

}  // namespace nudgerly
