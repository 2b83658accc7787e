#include <string>

#include <gtest/gtest.h>

#include "core/JsonCoding.h"
#include "core/JsonWriter.h"
#include "core/Text.h"
#include "services/FeedbackReceipt.h"
#include "services/FeedbackSubmission.h"
#include "services/FeedbackSubmissionPolicy.h"
#include "support/ServiceStandIn.h"

namespace nudgerly {
namespace {

using test::keysOf;
namespace Policy = FeedbackSubmissionPolicy;

FeedbackDiagnostics diagnostics() {
    return {.appVersion = "1.2",
            .buildNumber = "34",
            .macOSVersion = "Debian GNU/Linux 12 (bookworm), kernel 6.1.0",
            .architecture = "x86_64",
            .model = "org/model — model.gguf",
            .modelState = "installed",
            .contactsPermission = "granted",
            .messagesPermission = "denied",
            .gmailState = "not configured",
            .messagesQueueCount = 3,
            .gmailQueueCount = 0,
            .refreshState = "idle"};
}

FeedbackSubmission submission() {
    return {.clientReportID = "0b6e4c1a-6f1e-4c57-9d8e-3f1f2a7c9b10",
            .category = FeedbackCategory::incorrectClassification,
            .area = FeedbackArea::localAI,
            .summary = "Wrong status",
            .details = "Wrong status\nfor Ann",
            .privacyConfirmed = true,
            .channel = "linux_app"};
}

// What the service receives: the written bytes, parsed again.
nlohmann::json onTheWire(const FeedbackSubmission& report) {
    return parseJson(JsonWriter::write(report.toJson()));
}

TEST(FeedbackReportTests, ReportCarriesExactlyTheSnakeCaseKeysAndDiagnosticsOnlyWhenPresent) {
    const auto bare = onTheWire(submission());
    EXPECT_EQ(keysOf(bare),
              (std::set<std::string>{"client_report_id", "category", "area", "summary", "details", "expected_outcome",
                                     "contact_email", "privacy_confirmed", "channel"}));
    EXPECT_EQ(bare["category"], "incorrect_classification");
    EXPECT_EQ(bare["area"], "local_ai");
    EXPECT_EQ(bare["privacy_confirmed"], true);
    EXPECT_EQ(bare["expected_outcome"], "");
    EXPECT_EQ(bare["details"], "Wrong status\nfor Ann");

    auto withDiagnostics = submission();
    withDiagnostics.diagnostics = diagnostics();
    const auto sent = onTheWire(withDiagnostics);
    EXPECT_TRUE(sent.contains("diagnostics"));
    const std::set<std::string> required{
        "app_version", "build_number",         "mac_os_version",      "architecture",
        "model",       "model_state",          "contacts_permission", "messages_permission",
        "gmail_state", "messages_queue_count", "gmail_queue_count",   "refresh_state"};
    EXPECT_EQ(keysOf(sent["diagnostics"]), required);
    EXPECT_EQ(sent["diagnostics"]["messages_queue_count"], 3);

    auto full = diagnostics();
    full.localAIFailure = "model_files_missing";
    full.messagesLastRefresh = "2026-03-01T09:30:00Z";
    full.gmailLastRefresh = "2026-03-02T10:00:00Z";
    auto expected = required;
    expected.insert({"local_ai_failure", "messages_last_refresh", "gmail_last_refresh"});
    EXPECT_EQ(keysOf(full.toJson()), expected);

    for (const auto& original : {diagnostics(), full}) {
        EXPECT_EQ(FeedbackDiagnostics::fromJson(parseJson(JsonWriter::write(original.toJson()))), original);
    }
    auto missingCount = full.toJson();
    missingCount.erase("gmail_queue_count");
    EXPECT_THROW(FeedbackDiagnostics::fromJson(missingCount), JsonDecodingError);
}

TEST(FeedbackReportTests, PastedTextThatIsNotUtf8IsRepairedRatherThanRefused) {
    auto report = submission();
    report.details = "caf\xC3 \xFF ok";
    report.summary = Policy::summary(report.details);
    EXPECT_TRUE(text::isValidUtf8(report.summary));
    nlohmann::json sent;
    ASSERT_NO_THROW(sent = onTheWire(report));
    EXPECT_EQ(sent["details"], "caf\xEF\xBF\xBD \xEF\xBF\xBD ok");
}

TEST(FeedbackReportTests, ReceiptsNeedIdAndStatusAndMayCarryDuplicate) {
    EXPECT_EQ(FeedbackReceipt::decode(R"({"id":"abc","status":"received","duplicate":true})"),
              (FeedbackReceipt{.id = "abc", .status = "received", .duplicate = true}));
    EXPECT_EQ(FeedbackReceipt::decode(R"({"id":"abc","status":"received","extra":[1]})"),
              (FeedbackReceipt{.id = "abc", .status = "received"}));
    EXPECT_EQ(FeedbackReceipt::decode(R"({"id":"abc","status":"received","duplicate":null})"),
              (FeedbackReceipt{.id = "abc", .status = "received"}));
    for (const char* notAReceipt : {R"({"status":"received"})", R"({"id":"abc"})", R"({"id":7,"status":"received"})",
                                    R"({"id":"abc","status":"received","duplicate":"yes"})",
                                    R"({"client_report_id":"abc","status":"received"})", "[]", "", "<html>"}) {
        EXPECT_EQ(FeedbackReceipt::decode(notAReceipt), std::nullopt) << notAReceipt;
    }
}

TEST(FeedbackReportTests, VocabulariesReadOnlyTheirExactRawValues) {
    for (const auto category : allCases<FeedbackCategory>()) {
        EXPECT_EQ(fromRaw<FeedbackCategory>(toRaw(category)), category);
    }
    for (const auto area : allCases<FeedbackArea>()) {
        EXPECT_EQ(fromRaw<FeedbackArea>(toRaw(area)), area);
    }
    EXPECT_EQ(allCases<FeedbackArea>().back(), FeedbackArea::interface);
    for (const char* unknown : {"", "Bug", "feature-request", "incorrectClassification", "other"}) {
        EXPECT_EQ(fromRaw<FeedbackCategory>(unknown), std::nullopt) << unknown;
    }
    for (const char* unknown : {"", "Gmail", "localAI", "local-ai", "settings"}) {
        EXPECT_EQ(fromRaw<FeedbackArea>(unknown), std::nullopt) << unknown;
    }
}

std::string repeated(const std::string& piece, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += piece;
    }
    return text;
}

TEST(FeedbackReportTests, ValidationCountsUserPerceivedCharactersOfTheTrimmedText) {
    EXPECT_EQ(Policy::validationMessage(""), "Add your feedback.");
    EXPECT_EQ(Policy::validationMessage("  \n\t\r\n \u2028 "), "Add your feedback.");
    EXPECT_EQ(Policy::validationMessage("ok"), std::nullopt);

    EXPECT_EQ(Policy::validationMessage("\n  " + repeated("a", 4000) + "  \n\n"), std::nullopt);
    EXPECT_EQ(Policy::validationMessage(repeated("a", 4001)), "Keep feedback under 4000 characters.");
    // An accented letter written as two code points, and a family emoji of seven, are one character each.
    const std::string decomposed = "e\u0301";
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";
    EXPECT_EQ(Policy::validationMessage(repeated(decomposed, 4000)), std::nullopt);
    EXPECT_EQ(Policy::validationMessage(repeated(family, 3999) + "a"), std::nullopt);
    EXPECT_EQ(Policy::validationMessage(repeated(family, 4001)), "Keep feedback under 4000 characters.");
}

TEST(FeedbackReportTests, SummaryIsTheFirstNonBlankLineCutBetweenCharacters) {
    EXPECT_EQ(Policy::summary(""), "Feedback");
    EXPECT_EQ(Policy::summary("   \n\n \t \r\n"), "Feedback");
    EXPECT_EQ(Policy::summary("   \nSecond line\nThird"), "Second line");
    EXPECT_EQ(Policy::summary("  Padded first  \nSecond"), "Padded first");
    // CR LF is one separator; the other line breaks end a line as well.
    EXPECT_EQ(Policy::summary("\r\n\r\nAfter blank lines\r\nnext"), "After blank lines");
    for (const char* breakCharacter : {"\v", "\f", "\r", "\u0085", "\u2028", "\u2029"}) {
        EXPECT_EQ(Policy::summary(std::string("First") + breakCharacter + "Second"), "First") << breakCharacter;
    }
    EXPECT_EQ(Policy::summary(repeated("x", 200)), repeated("x", 120));
    // The 120th character is a letter with a combining accent: it is kept whole, and nothing after it.
    const std::string accented = repeated("a", 119) + "e\u0301";
    EXPECT_EQ(Policy::summary(accented + "zzz"), accented);
    const std::string flags = repeated("\U0001F1E9\U0001F1EA", 121);
    EXPECT_EQ(text::graphemeCount(Policy::summary(flags)), 120u);
    EXPECT_EQ(Policy::summary(flags).size(), 120u * 8);
}

}  // namespace
}  // namespace nudgerly
