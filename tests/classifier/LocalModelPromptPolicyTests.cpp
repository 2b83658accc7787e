#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "classifier/LocalModelError.h"
#include "classifier/LocalModelPromptPolicy.h"
#include "core/JsonWriter.h"
#include "core/Text.h"

namespace nudgerly {
namespace {

namespace Prompts = LocalModelPromptPolicy;

constexpr double march1At0930 = 1772357400;  // 2026-03-01T09:30:00Z

ConversationMessage message(bool fromMe, std::string text, double hoursLater = 0) {
    return {.fromMe = fromMe, .text = std::move(text), .date = Date::fromUnix(march1At0930 + hoursLater * 3600)};
}

Conversation conversation(std::vector<ConversationMessage> messages, std::string person = "Ana",
                          ReviewSource source = ReviewSource::messages) {
    return {.id = "c1", .source = source, .person = std::move(person), .messages = std::move(messages)};
}

Conversation goldenConversation() {
    Conversation c = conversation({message(false, "Can you send the deck?"), message(true, "Sure \u2014 tonight.", 1),
                                   message(false, "Thanks! Also, \"lunch\" Friday?", 2)},
                                  "Ana Ruiz", ReviewSource::gmail);
    c.subject = "Q3 plan / budget";
    c.target = "ana@example.com";
    return c;
}

std::string conversationPrompt(std::string_view instructions, std::string_view json) {
    return std::string(instructions) + "\n\nCONVERSATION_JSON:\n" + std::string(json);
}

std::size_t countOf(const std::string& haystack, const std::string& needle) {
    std::size_t count = 0;
    for (auto at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

TEST(LocalModelPromptPolicyTests, InstructionTextsKeepTheirExactSizeAndShape) {
    EXPECT_EQ(Prompts::systemPrompt.size(), 77u);
    EXPECT_EQ(Prompts::fullInstructions.size(), 3057u);
    EXPECT_EQ(Prompts::compactInstructions.size(), 695u);
    EXPECT_EQ(Prompts::latestTurnInstructions.size(), 903u);

    EXPECT_EQ(countOf(std::string(Prompts::fullInstructions), "\n\n"), 6u);  // seven paragraphs
    EXPECT_EQ(countOf(std::string(Prompts::compactInstructions), "\n\n"), 1u);
    EXPECT_TRUE(Prompts::fullInstructions.ends_with("Return concise JSON only."));
    EXPECT_TRUE(Prompts::compactInstructions.ends_with("draft must be a sendable response."));
    EXPECT_TRUE(Prompts::latestTurnInstructions.ends_with(
        "Return concise JSON only.\n\nLATEST_MESSAGE_JSON:\n"));
    for (const std::string_view text :
         {Prompts::fullInstructions, Prompts::compactInstructions, Prompts::latestTurnInstructions}) {
        EXPECT_EQ(text.find(" \n"), std::string_view::npos);
        EXPECT_EQ(text.find("\n "), std::string_view::npos);
    }
}

TEST(LocalModelPromptPolicyTests, BoundsTextsInWholeCharactersAroundTheMarker) {
    EXPECT_EQ(Prompts::boundedText("abcdefghij", 0), "");
    EXPECT_EQ(Prompts::boundedText("abcdefghij", 10), "abcdefghij");
    EXPECT_EQ(Prompts::boundedText("abcdefghij", 5), "abcde");
    EXPECT_EQ(Prompts::boundedText("\u00e9\u00e9\u00e9\u00e9\u00e9", 5), "\u00e9\u00e9");  // 2-byte characters
    // Head and tail allowances of 1 and 2 bytes hold no 4-byte character.
    EXPECT_EQ(Prompts::boundedText("😀😀😀😀😀", 10), "\n[\u2026]\n");
    // A flag is one character of two 4-byte code points and is never split.
    EXPECT_EQ(Prompts::boundedText("🇫🇷🇫🇷🇫🇷🇫🇷", 21), "\n[\u2026]\n");
    EXPECT_EQ(Prompts::boundedText("🇫🇷🇩🇪🇮🇹🇪🇸", 24), "🇫🇷\n[\u2026]\n🇪🇸");
    // The head takes the smaller half: 20 - 7 = 13 bytes, 6 before the marker and 7 after.
    EXPECT_EQ(Prompts::boundedText("abcdefghijklmnopqrstuvwxyz", 20), "abcdef\n[\u2026]\ntuvwxyz");

    // Invalid bytes are counted as the replacement characters that will be sent.
    const std::string bounded = Prompts::boundedText("ab\xff\xfe" "cd", 7);
    EXPECT_TRUE(text::isValidUtf8(bounded));
    EXPECT_EQ(bounded, "ab\xEF\xBF\xBD");
}

TEST(LocalModelPromptPolicyTests, GoldenPromptsForASmallConversation) {
    const Conversation c = goldenConversation();
    const std::string messagesJson =
        R"([{"date":"2026-03-01T09:30:00Z","direction":"sender","text":"Can you send the deck?"},)"
        R"({"date":"2026-03-01T10:30:00Z","direction":"user","text":"Sure — tonight."},)"
        R"({"date":"2026-03-01T11:30:00Z","direction":"sender","text":"Thanks! Also, \"lunch\" Friday?"}])";

    EXPECT_EQ(Prompts::classificationPrompt(c, false),
              conversationPrompt(Prompts::fullInstructions,
                                 R"({"messages":)" + messagesJson +
                                     R"(,"sender":"Ana Ruiz","source":"gmail","subject":"Q3 plan \/ budget"})"));

    // The compact prompt never carries the subject.
    EXPECT_EQ(Prompts::classificationPrompt(c, true),
              conversationPrompt(Prompts::compactInstructions,
                                 R"({"messages":)" + messagesJson + R"(,"sender":"Ana Ruiz","source":"gmail"})"));

    EXPECT_EQ(Prompts::latestTurnPrompt(c),
              std::string(Prompts::latestTurnInstructions) +
                  R"({"sender":"Ana Ruiz","source":"gmail","text":"Thanks! Also, \"lunch\" Friday?"})");

    // A conversation without messages still gets a classification prompt.
    EXPECT_EQ(Prompts::classificationPrompt(conversation({}), false),
              conversationPrompt(Prompts::fullInstructions, R"({"messages":[],"sender":"Ana","source":"messages"})"));
    EXPECT_EQ(Prompts::inputUTF8ByteCount("abc"), 80u);
}

TEST(LocalModelPromptPolicyTests, LatestTurnPromptNeedsAnInboundLatestMessage) {
    const auto expectKind = [](const Conversation& c, LocalModelError::Kind kind) {
        try {
            Prompts::latestTurnPrompt(c);
            ADD_FAILURE() << "expected an error";
        } catch (const LocalModelError& error) {
            EXPECT_EQ(error.kind(), kind);
        }
    };
    expectKind(conversation({}), LocalModelError::Kind::badResponse);
    expectKind(conversation({message(false, "Are you coming?"), message(true, "Yes")}),
               LocalModelError::Kind::badResponse);
}

TEST(LocalModelPromptPolicyTests, BoundsThePersonAndSubject) {
    const std::string person = std::string(150, 'a') + std::string(150, 'b');
    Conversation c = conversation({message(false, "Hi?")}, person, ReviewSource::gmail);
    c.subject = std::string(500, 's');

    const std::string full = Prompts::classificationPrompt(c, false);
    EXPECT_NE(full.find("\"sender\":\"" + std::string(92, 'a') + "\\n[\u2026]\\n" + std::string(93, 'b') + "\""),
              std::string::npos);
    EXPECT_NE(full.find("\"subject\":\"" + std::string(188, 's') + "\\n[\u2026]\\n" + std::string(189, 's') + "\""),
              std::string::npos);

    const std::string compact = Prompts::classificationPrompt(c, true);
    EXPECT_NE(compact.find("\"sender\":\"" + std::string(44, 'a') + "\\n[\u2026]\\n" + std::string(45, 'b') + "\""),
              std::string::npos);
    EXPECT_EQ(compact.find("\"subject\""), std::string::npos);
}

TEST(LocalModelPromptPolicyTests, SendsAtMostTheMessageLimitOldestFirst) {
    std::vector<ConversationMessage> messages;
    for (int i = 0; i < 20; ++i) {
        messages.push_back(message(i % 2 == 1, "m" + std::to_string(i), i));
    }
    const Conversation c = conversation(messages);

    const std::string full = Prompts::classificationPrompt(c, false);
    EXPECT_EQ(countOf(full, "\"direction\""), 8u);
    EXPECT_EQ(full.find("\"m11\""), std::string::npos);
    EXPECT_LT(full.find("\"m12\""), full.find("\"m13\""));
    EXPECT_LT(full.find("\"m18\""), full.find("\"m19\""));

    const std::string compact = Prompts::classificationPrompt(c, true);
    EXPECT_EQ(countOf(compact, "\"direction\""), 3u);
    EXPECT_EQ(compact.find("\"m16\""), std::string::npos);
    EXPECT_LT(compact.find("\"m17\""), compact.find("\"m18\""));
    EXPECT_LT(compact.find("\"m18\""), compact.find("\"m19\""));

    // An empty older message (a picture without text) ends the walk: no gap in the middle.
    const std::string gap =
        Prompts::classificationPrompt(conversation({message(false, "old"), message(false, ""), message(true, "newer", 1),
                                                    message(false, "latest", 2)}),
                                      false);
    EXPECT_EQ(countOf(gap, "\"direction\""), 2u);
    EXPECT_EQ(gap.find("\"old\""), std::string::npos);
}

TEST(LocalModelPromptPolicyTests, TrimsLongMessagesToTheirBudgets) {
    const std::string older = std::string(2500, 'o') + std::string(2500, 'p');
    const std::string latest = std::string(15000, 'a') + std::string(15000, 'b');
    const Conversation c = conversation({message(false, older), message(false, latest, 1)});

    // Older: 900 bytes, 446 before the marker and 447 after; latest: 4000 bytes, 1996 and 1997.
    const std::string full = Prompts::classificationPrompt(c, false);
    EXPECT_NE(full.find("\"" + std::string(446, 'o') + "\\n[\u2026]\\n" + std::string(447, 'p') + "\""),
              std::string::npos);
    EXPECT_NE(full.find("\"" + std::string(1996, 'a') + "\\n[\u2026]\\n" + std::string(1997, 'b') + "\""),
              std::string::npos);
    EXPECT_LE(Prompts::inputUTF8ByteCount(full), 10000u);

    // Plain text shrinks byte for byte, so the cut lands exactly on the budget.
    EXPECT_EQ(Prompts::inputUTF8ByteCount(Prompts::latestTurnPrompt(c)), 2400u);
    const std::string compact = Prompts::classificationPrompt(c, true);
    EXPECT_EQ(Prompts::inputUTF8ByteCount(compact), 2400u);
    EXPECT_EQ(countOf(compact, "\"direction\""), 1u);  // no room left for the older message
}

TEST(LocalModelPromptPolicyTests, CutsTheLatestMessageByAtLeastTheMinimumStep) {
    const auto compactBytes = [](std::size_t latestLength) {
        return Prompts::inputUTF8ByteCount(
            Prompts::classificationPrompt(conversation({message(false, std::string(latestLength, 'x'))}), true));
    };
    const std::size_t fixed = compactBytes(0);

    // 1 byte over: the text is cut by 128 bytes and gets the marker, whose escaped form is 9 bytes.
    const std::size_t length = 2400 - fixed + 1;
    ASSERT_LT(length, 1800u);
    EXPECT_EQ(compactBytes(length), fixed + (length - 128) + 2);
    EXPECT_EQ(compactBytes(length - 1), 2400u);  // exactly on the budget is kept whole

    // JSON escapes inflate a text sixfold; the loop still ends within the budget.
    const std::string controls(1800, '\x01');
    EXPECT_LE(Prompts::inputUTF8ByteCount(Prompts::classificationPrompt(conversation({message(false, controls)}), true)),
              2400u);
    EXPECT_LE(Prompts::inputUTF8ByteCount(Prompts::latestTurnPrompt(conversation({message(false, controls)}))),
              2400u);
}

TEST(LocalModelPromptPolicyTests, HalvesAnOlderMessageUntilItFits) {
    const auto compactBytes = [](const std::vector<ConversationMessage>& messages) {
        return Prompts::inputUTF8ByteCount(Prompts::classificationPrompt(conversation(messages), true));
    };
    const std::size_t withEmptyLatest = compactBytes({message(false, "")});
    // What one older message of one byte adds besides its text.
    const std::size_t overhead = compactBytes({message(false, "a"), message(false, "x")}) -
                                 compactBytes({message(false, "x")}) - 1;

    // Leave room for an older message of 150 bytes: 400 and 200 do not fit, 100 does; the oldest
    // message then finds no room even at one byte and is left out.
    const std::size_t latestLength = 2400 - withEmptyLatest - overhead - 150;
    const std::string prompt = Prompts::classificationPrompt(
        conversation({message(false, "first"), message(true, std::string(400, 'o'), 1),
                      message(false, std::string(latestLength, 'x'), 2)}),
        true);
    EXPECT_NE(prompt.find("\"" + std::string(46, 'o') + "\\n[\u2026]\\n" + std::string(47, 'o') + "\""),
              std::string::npos);
    EXPECT_EQ(prompt.find("first"), std::string::npos);
    EXPECT_LE(Prompts::inputUTF8ByteCount(prompt), 2400u);
}

TEST(LocalModelPromptPolicyTests, ExternalTextNeverBreaksAPrompt) {
    Conversation c = conversation({message(false, std::string(3000, '\xff')), message(false, "ok\xc3(?", 1)},
                                  "Bad\xfe name", ReviewSource::gmail);
    c.subject = "\xe2\x82";
    for (const bool compact : {false, true}) {
        const std::string prompt = Prompts::classificationPrompt(c, compact);
        EXPECT_TRUE(text::isValidUtf8(prompt));
        EXPECT_NE(prompt.find("Bad\uFFFD name"), std::string::npos);
    }
    const Conversation longInvalid = conversation({message(false, std::string(3000, '\xff'))});
    const std::string latestTurn = Prompts::latestTurnPrompt(longInvalid);
    EXPECT_TRUE(text::isValidUtf8(latestTurn));
    EXPECT_LE(Prompts::inputUTF8ByteCount(latestTurn), 2400u);
    EXPECT_LE(Prompts::inputUTF8ByteCount(Prompts::classificationPrompt(longInvalid, true)), 2400u);

    // A date that cannot be written is the encoder's error, passed on.
    EXPECT_THROW(Prompts::classificationPrompt(conversation({{.fromMe = false, .text = "x", .date = Date{NAN}}}), false),
                 JsonEncodingError);
}

}  // namespace
}  // namespace nudgerly
