#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/JsonCoding.h"
#include "core/JsonWriter.h"
#include "core/Text.h"
#include "localmodel/LocalModelError.h"
#include "localmodel/LocalModelPromptPolicy.h"

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

// The texts of the messages a classification prompt sends, in order.
std::vector<std::string> sentTexts(const std::string& prompt) {
    const std::string marker = "CONVERSATION_JSON:\n";
    const nlohmann::json payload = parseJson(prompt.substr(prompt.find(marker) + marker.size()));
    std::vector<std::string> texts;
    for (const auto& message : payload.at("messages")) {
        texts.push_back(message["text"]);
    }
    return texts;
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
    const std::string bounded = Prompts::boundedText(
        "ab\xff\xfe"
        "cd",
        7);
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

    // The latest-turn prompt needs an inbound latest message.
    for (const Conversation& refused :
         {conversation({}), conversation({message(false, "Coming?"), message(true, "Yes")})}) {
        try {
            Prompts::latestTurnPrompt(refused);
            ADD_FAILURE() << "expected a refusal";
        } catch (const LocalModelError& error) {
            EXPECT_EQ(error.kind(), LocalModelError::Kind::badResponse);
        }
    }
}

TEST(LocalModelPromptPolicyTests, SendsAtMostTheMessageLimitOldestFirst) {
    std::vector<ConversationMessage> messages;
    for (int i = 0; i < 20; ++i) {
        messages.push_back(message(i % 2 == 1, "m" + std::to_string(i), i));
    }
    const Conversation c = conversation(messages);
    EXPECT_EQ(sentTexts(Prompts::classificationPrompt(c, false)),
              (std::vector<std::string>{"m12", "m13", "m14", "m15", "m16", "m17", "m18", "m19"}));
    EXPECT_EQ(sentTexts(Prompts::classificationPrompt(c, true)), (std::vector<std::string>{"m17", "m18", "m19"}));

    // An empty older message (a picture without text) ends the walk: no gap in the middle.
    const Conversation gap = conversation(
        {message(false, "old"), message(false, ""), message(true, "newer", 1), message(false, "latest", 2)});
    EXPECT_EQ(sentTexts(Prompts::classificationPrompt(gap, false)), (std::vector<std::string>{"newer", "latest"}));
}

std::string trimmed(std::size_t head, char headCharacter, std::size_t tail, char tailCharacter) {
    return "\"" + std::string(head, headCharacter) + "\\n[\u2026]\\n" + std::string(tail, tailCharacter) + "\"";
}

TEST(LocalModelPromptPolicyTests, TrimsLongTextsToTheirBudgets) {
    const std::string older = std::string(2500, 'o') + std::string(2500, 'p');
    const std::string latest = std::string(15000, 'a') + std::string(15000, 'b');
    Conversation c = conversation({message(false, older), message(false, latest, 1)},
                                  std::string(150, 'n') + std::string(150, 'm'), ReviewSource::gmail);
    c.subject = std::string(500, 's');

    // Person 192 bytes (92 + marker + 93), subject 384, older message 900, latest message 4000.
    const std::string full = Prompts::classificationPrompt(c, false);
    EXPECT_NE(full.find(trimmed(92, 'n', 93, 'm')), std::string::npos);
    EXPECT_NE(full.find(trimmed(188, 's', 189, 's')), std::string::npos);
    EXPECT_NE(full.find(trimmed(446, 'o', 447, 'p')), std::string::npos);
    EXPECT_NE(full.find(trimmed(1996, 'a', 1997, 'b')), std::string::npos);
    EXPECT_LE(Prompts::inputUTF8ByteCount(full), 10000u);

    // Plain text shrinks byte for byte, so the cut lands exactly on the budget.
    EXPECT_EQ(Prompts::inputUTF8ByteCount(Prompts::latestTurnPrompt(c)), 2400u);
    const std::string compact = Prompts::classificationPrompt(c, true);
    EXPECT_EQ(Prompts::inputUTF8ByteCount(compact), 2400u);
    EXPECT_EQ(sentTexts(compact).size(), 1u);  // no room left for the older message
    EXPECT_NE(compact.find(trimmed(44, 'n', 45, 'm')), std::string::npos);
    EXPECT_EQ(compact.find("\"subject\""), std::string::npos);
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
    EXPECT_LE(
        Prompts::inputUTF8ByteCount(Prompts::classificationPrompt(conversation({message(false, controls)}), true)),
        2400u);
    EXPECT_LE(Prompts::inputUTF8ByteCount(Prompts::latestTurnPrompt(conversation({message(false, controls)}))), 2400u);
}

TEST(LocalModelPromptPolicyTests, HalvesAnOlderMessageUntilItFits) {
    const auto compactBytes = [](const std::vector<ConversationMessage>& messages) {
        return Prompts::inputUTF8ByteCount(Prompts::classificationPrompt(conversation(messages), true));
    };
    const std::size_t withEmptyLatest = compactBytes({message(false, "")});
    // What one older message of one byte adds besides its text.
    const std::size_t overhead =
        compactBytes({message(false, "a"), message(false, "x")}) - compactBytes({message(false, "x")}) - 1;

    // Leave room for an older message of 150 bytes: 400 and 200 do not fit, 100 does; the oldest
    // message then finds no room even at one byte and is left out.
    const std::size_t latestLength = 2400 - withEmptyLatest - overhead - 150;
    const std::string prompt =
        Prompts::classificationPrompt(conversation({message(false, "first"), message(false, std::string(400, 'o'), 1),
                                                    message(false, std::string(latestLength, 'x'), 2)}),
                                      true);
    EXPECT_EQ(sentTexts(prompt), (std::vector<std::string>{std::string(46, 'o') + "\n[\u2026]\n" + std::string(47, 'o'),
                                                           std::string(latestLength, 'x')}));
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
    EXPECT_THROW(
        Prompts::classificationPrompt(conversation({{.fromMe = false, .text = "x", .date = Date{NAN}}}), false),
        JsonEncodingError);
}

}  // namespace
}  // namespace nudgerly
