#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/JsonCoding.h"
#include "localmodel/LocalChatRequest.h"
#include "localmodel/LocalChatResponse.h"
#include "localmodel/LocalModelHTTPResponsePolicy.h"

namespace nudgerly {
namespace {

using nlohmann::json;
using Kind = LocalModelError::Kind;

TEST(LocalChatTests, RequestBodyCarriesPromptSettingsAndSchema) {
    const std::string prompt = "Classify.\n\nCONVERSATION_JSON:\n{\"text\":\"a\\/b \\\"q\\\"\"}";
    const json expected = json::parse(R"({
      "model": "local",
      "messages": [
        {"role": "system", "content": "You are a private follow-up triage classifier. Output only schema-valid JSON."},
        {"role": "user", "content": "Classify.\n\nCONVERSATION_JSON:\n{\"text\":\"a\\/b \\\"q\\\"\"}"}
      ],
      "temperature": 0,
      "max_tokens": 320,
      "chat_template_kwargs": {"enable_thinking": false},
      "response_format": {
        "type": "json_schema",
        "json_schema": {
          "name": "nudgerly_decision",
          "strict": true,
          "schema": {
            "type": "object",
            "properties": {
              "include_in_queue": {"type": "boolean"},
              "status": {"type": ["string", "null"], "enum": ["reply", "action", "nudgerly", null]},
              "confidence": {"type": "number"},
              "summary": {"type": "string"},
              "reason": {"type": "string"},
              "draft": {"type": ["string", "null"]},
              "tags": {"type": "array", "items": {"type": "string"}},
              "sensitive": {"type": "boolean"}
            },
            "required": ["include_in_queue", "status", "confidence", "summary", "reason", "draft", "tags", "sensitive"],
            "additionalProperties": false
          }
        }
      }
    })");
    const std::string body = LocalChatRequest(prompt).body();
    EXPECT_EQ(parseJson(body), expected);
    EXPECT_TRUE(parseJson(body)["temperature"].is_number_integer());  // 0, not 0.0

    // The model writes the properties in the order they are listed: first whether anything is owed,
    // then how sure it is and what to say, never a draft before the decision.
    const auto ordered = nlohmann::ordered_json::parse(body);
    const auto& schema = ordered["response_format"]["json_schema"]["schema"];
    std::vector<std::string> propertyOrder;
    for (const auto& [name, property] : schema["properties"].items()) {
        propertyOrder.push_back(name);
    }
    EXPECT_EQ(propertyOrder, schema["required"].get<std::vector<std::string>>());

    // A prompt with invalid UTF-8 still makes a readable body.
    const std::string invalid = LocalChatRequest("bad \xff byte").body();
    EXPECT_EQ(parseJson(invalid)["messages"][1]["content"], "bad \uFFFD byte");
}

std::string answer(const std::string& content) {
    return json{{"id", "x"}, {"choices", {{{"index", 0}, {"message", {{"role", "assistant"}, {"content", content}}}}}}}
        .dump();
}

const std::string decision = R"({"include_in_queue":true,"status":"reply","confidence":0.8,"summary":"S","reason":"R",)"
                             R"("draft":null,"tags":["t"],"sensitive":false})";

Kind badAnswerKind(const std::string& body) {
    try {
        LocalChatResponse::classification(body);
    } catch (const LocalModelError& error) {
        return error.kind();
    }
    ADD_FAILURE() << "expected a bad response for " << body;
    return Kind::missingBundle;
}

TEST(LocalChatTests, ReadsTheObjectBetweenTheFirstAndLastBrace) {
    const Classification expected{.needsAction = true,
                                  .status = ReviewStatus::reply,
                                  .confidence = 0.8,
                                  .summary = "S",
                                  .reason = "R",
                                  .tags = {"t"}};
    EXPECT_EQ(LocalChatResponse::classification(answer(decision)), expected);
    EXPECT_EQ(LocalChatResponse::classification(answer("Sure! ```json\n" + decision + "\n``` Hope that helps.")),
              expected);

    // The cut runs to the last brace, so a nested object stays whole; unknown keys are ignored.
    const std::string nested = R"({"include_in_queue":false,"status":null,"confidence":1.7,"summary":"",)"
                               R"("reason":"","tags":[],"sensitive":true,"extra":{"a":1}})";
    const Classification outOfRange = LocalChatResponse::classification(answer(nested));
    EXPECT_EQ(outOfRange.confidence, 1.7);  // bounds come later
    EXPECT_EQ(outOfRange.status, std::nullopt);

    EXPECT_EQ(LocalChatResponse::jsonObjectText("} nothing {"), "} nothing {");
    EXPECT_EQ(LocalChatResponse::jsonObjectText("no braces"), "no braces");
    EXPECT_EQ(badAnswerKind(answer("} nothing {")), Kind::badResponse);

    // Model text is made valid rather than rejected.
    std::string invalidContent = answer(decision);
    invalidContent.replace(invalidContent.find(R"(\"S\")"), 5, "\\\"S\xff\\\"");
    EXPECT_EQ(LocalChatResponse::classification(invalidContent).summary, "S\uFFFD");
}

TEST(LocalChatTests, UnreadableAnswersAreBadResponses) {
    EXPECT_EQ(badAnswerKind("not json"), Kind::badResponse);
    EXPECT_EQ(badAnswerKind(R"({"choices":[]})"), Kind::badResponse);
    EXPECT_EQ(badAnswerKind(R"({"object":"chat.completion"})"), Kind::badResponse);
    EXPECT_EQ(badAnswerKind(R"({"choices":[{"message":{"content":null}}]})"), Kind::badResponse);
    EXPECT_EQ(badAnswerKind(R"({"choices":[{"delta":{}}]})"), Kind::badResponse);
    EXPECT_EQ(badAnswerKind(answer(R"({"status":"reply"})")), Kind::badResponse);
    EXPECT_EQ(badAnswerKind(answer(R"({"include_in_queue":true,"status":"later","confidence":1,"summary":"",)"
                                   R"("reason":"","tags":[],"sensitive":false})")),
              Kind::badResponse);
}

TEST(LocalChatTests, MapsFailedStatusesToModelErrors) {
    const auto kind = [](int status, const std::string& body) {
        return LocalModelHTTPResponsePolicy::error(status, body).kind();
    };
    const std::string tooLarge = R"({"error":{"code":400,"type":"exceed_context_size_error","message":"x"}})";
    EXPECT_EQ(kind(500, ""), Kind::serverUnavailable);
    EXPECT_EQ(kind(503, tooLarge), Kind::serverUnavailable);
    EXPECT_EQ(kind(400, tooLarge), Kind::contextTooLarge);
    EXPECT_EQ(kind(400, R"({"error":{"type":"invalid_request_error"}})"), Kind::badResponse);
    EXPECT_EQ(kind(400, R"({"error":{}})"), Kind::badResponse);
    EXPECT_EQ(kind(400, R"({"error":"exceed_context_size_error"})"), Kind::badResponse);
    EXPECT_EQ(kind(400, "<html>"), Kind::badResponse);
    EXPECT_EQ(kind(413, tooLarge), Kind::badResponse);
    EXPECT_EQ(kind(201, ""), Kind::badResponse);
    EXPECT_EQ(kind(204, ""), Kind::badResponse);
}

}  // namespace
}  // namespace nudgerly
