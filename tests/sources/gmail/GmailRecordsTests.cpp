#include <string>

#include <gtest/gtest.h>

#include "sources/gmail/GmailRecords.h"
#include "sources/gmail/oauth/GmailError.h"
#include "sources/gmail/oauth/GoogleErrorResponse.h"

namespace nudgerly {
namespace {

template <typename Record>
bool decodes(const std::string& body) {
    try {
        decodeGmailRecord<Record>(body);
        return true;
    } catch (const JsonDecodingError&) {
        return false;
    }
}

constexpr const char* validMessage =
    R"({"id":"m","internalDate":"1000","snippet":"s","payload":{"headers":[]},"labelIds":["INBOX"]})";

TEST(GmailRecordsTests, ListPagesAndReferences) {
    const auto empty = decodeGmailRecord<GmailMessageList>(R"({"resultSizeEstimate":0})");
    EXPECT_EQ(empty, GmailMessageList{});

    const auto page = decodeGmailRecord<GmailMessageList>(
        R"({"messages":[{"id":"a","threadId":"t1"},{"id":"b","threadId":"t1","extra":1}],"nextPageToken":"p2"})");
    ASSERT_TRUE(page.messages);
    EXPECT_EQ(*page.messages, (std::vector<GmailMessageReference>{{"a", "t1"}, {"b", "t1"}}));
    EXPECT_EQ(page.nextPageToken, "p2");

    EXPECT_FALSE(decodes<GmailMessageList>(R"({"messages":[{"id":"a"}]})"));
    EXPECT_FALSE(decodes<GmailMessageList>(R"({"nextPageToken":7})"));
    EXPECT_EQ(decodeGmailRecord<GmailMessageList>(R"({"messages":null,"nextPageToken":null})"), GmailMessageList{});
    EXPECT_EQ(decodeGmailRecord<GmailProfile>(R"({"emailAddress":"me@example.com","historyId":"1"})").emailAddress,
              "me@example.com");
    EXPECT_FALSE(decodes<GmailProfile>(R"({"email":"me@example.com"})"));
    EXPECT_FALSE(decodes<GmailProfile>("not json"));
}

TEST(GmailRecordsTests, AThreadFailsWholeWhenAMessageLacksARequiredKey) {
    EXPECT_TRUE(decodes<GmailThread>(std::string(R"({"id":"t","messages":[)") + validMessage + "]}"));
    for (const char* broken : {
             R"({"id":"m","internalDate":"1","payload":{"headers":[]}})",                 // no snippet
             R"({"id":"m","internalDate":"1","snippet":"s"})",                            // no payload
             R"({"id":"m","snippet":"s","payload":{"headers":[]}})",                      // no internalDate
             R"({"id":"m","internalDate":"1","snippet":"s","payload":{}})",               // no headers
             R"({"id":"m","internalDate":1000,"snippet":"s","payload":{"headers":[]}})",  // date as a number
             R"({"id":"m","internalDate":"1","snippet":"s","payload":{"headers":[{"name":"From"}]}})",
         }) {
        EXPECT_FALSE(
            decodes<GmailThread>(std::string(R"({"id":"t","messages":[)") + validMessage + "," + broken + "]}"))
            << broken;
    }
    EXPECT_FALSE(decodes<GmailThread>(R"({"id":"t"})"));
}

TEST(GmailRecordsTests, PayloadTreesDecodeToTheSameShapeWithinADepthLimit) {
    const auto message = decodeGmailRecord<GmailMessage>(R"({
        "id":"m","internalDate":"5","snippet":"","payload":{
          "mimeType":"multipart/mixed","headers":[{"name":"Subject","value":"Hi"}],
          "parts":[{"mimeType":"multipart/alternative","headers":[],"parts":[
                     {"mimeType":"text/plain","headers":[],"body":{"size":2,"data":"SGk"}},
                     {"mimeType":"text/html","headers":[],"body":{"size":0}}]},
                   {"mimeType":"image/png","headers":[]}]}})");
    EXPECT_EQ(message.labelIDs, std::nullopt);
    EXPECT_EQ(message.header("subject"), "Hi");
    EXPECT_EQ(message.header("From"), "");
    const auto& parts = *message.payload.parts;
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ((*parts[0].parts)[0].body->data, "SGk");
    EXPECT_EQ((*parts[0].parts)[1].body, GmailBody{});
    EXPECT_EQ(parts[1].body, std::nullopt);
    EXPECT_EQ(parts[1].parts, std::nullopt);

    const auto nested = [](std::size_t depth) {
        std::string json;
        for (std::size_t i = 1; i < depth; ++i) {
            json += R"({"headers":[],"parts":[)";
        }
        json += R"({"headers":[]})";
        for (std::size_t i = 1; i < depth; ++i) {
            json += "]}";
        }
        return json;
    };
    EXPECT_TRUE(decodes<GmailPayload>(nested(GmailPayload::maximumDepth)));
    EXPECT_FALSE(decodes<GmailPayload>(nested(GmailPayload::maximumDepth + 1)));
    // Far deeper than any stack would take if it were followed.
    EXPECT_FALSE(decodes<GmailPayload>(nested(100'000)));
}

TEST(GmailRecordsTests, ErrorBodies) {
    EXPECT_EQ(decodeGmailRecord<GmailAPIError>(R"({"error":{"code":404,"message":"Not found"}})").error.message,
              "Not found");
    EXPECT_FALSE(decodes<GmailAPIError>(R"({"error":{"code":404}})"));
    EXPECT_FALSE(decodes<GmailAPIError>(R"({"error":"invalid_grant"})"));

    EXPECT_EQ(decodeGmailRecord<GoogleErrorResponse>("{}"), GoogleErrorResponse{});
    EXPECT_EQ(decodeGmailRecord<GoogleErrorResponse>(R"({"error":"invalid_grant","error_description":"Bad"})"),
              (GoogleErrorResponse{"invalid_grant", "Bad"}));
}

TEST(GmailErrorTests, SentencesAndCarriedValues) {
    EXPECT_STREQ(GmailError::authorizationRejected("access_denied").what(),
                 "Gmail authorization was not completed: access_denied");
    EXPECT_EQ(GmailError::authorizationRejected("access_denied").value(), "access_denied");
    EXPECT_STREQ(GmailError::google("").what(), "");
    EXPECT_STREQ(GmailError::google("Quota exceeded").what(), "Quota exceeded");
    EXPECT_STREQ(GmailError::invalidOAuthClient().what(), "That file is not a Google Desktop OAuth client.");
    EXPECT_STREQ(GmailError::missingOAuthClient("/srv/nudgerly").what(),
                 "Gmail needs a Google OAuth client file. Save a \u201CDesktop app\u201D client as "
                 "/srv/nudgerly/google-oauth-client.json, then try again.");
    EXPECT_STREQ(GmailError::notConnected().what(), "Connect Gmail before refreshing.");
    EXPECT_STREQ(GmailError::invalidAuthorizationResponse().what(),
                 "Google returned an invalid or expired authorization response.");
    EXPECT_STREQ(GmailError::authorizationPageDidNotOpen().what(),
                 "Nudgerly could not open Google sign-in. Open your default browser, then try Connect Gmail again.");
    EXPECT_STREQ(GmailError::loopbackFailed().what(), "Nudgerly could not run its private OAuth callback.");
    EXPECT_STREQ(GmailError::loopbackTimedOut().what(), "Gmail authorization timed out. Try connecting again.");
    EXPECT_EQ(GmailError::google("a"), GmailError::google("a"));
    EXPECT_FALSE(GmailError::google("a") == GmailError::authorizationRejected("a"));
}

}  // namespace
}  // namespace nudgerly
