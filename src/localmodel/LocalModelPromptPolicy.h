#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "review/Conversation.h"

// The user prompts the local model answers: a fixed instruction text followed by a JSON rendering of
// the conversation, kept within a UTF-8 byte budget by trimming message texts in the middle.
namespace nudgerly::LocalModelPromptPolicy {

// Sent as the system message of every chat request and counted in every budget.
inline constexpr std::string_view systemPrompt =
    "You are a private follow-up triage classifier. Output only schema-valid JSON.";

extern const std::string_view fullInstructions;
extern const std::string_view compactInstructions;
// Ends with the line that introduces the latest message's JSON.
extern const std::string_view latestTurnInstructions;

// The full (compact = false) or compact classification prompt. Throws LocalModelError
// (contextTooLarge) when the conversation cannot be made to fit, and JsonEncodingError when a
// message date cannot be written.
std::string classificationPrompt(const Conversation& conversation, bool compact);

// The latest-message-only prompt. Throws LocalModelError: badResponse when the conversation has no
// messages or ends with the user's own message, contextTooLarge when it cannot fit.
std::string latestTurnPrompt(const Conversation& conversation);

// What a budget is compared with: the system prompt's bytes plus the prompt's bytes.
std::size_t inputUTF8ByteCount(std::string_view prompt);

// The text itself when it has at most `maximumUTF8Bytes` bytes; otherwise its head and tail in whole
// characters around the marker "\n[…]\n", at most `maximumUTF8Bytes` bytes in all. Invalid UTF-8 is
// made valid first, so the count is the count of the bytes that will be sent.
std::string boundedText(std::string_view text, std::size_t maximumUTF8Bytes);

}  // namespace nudgerly::LocalModelPromptPolicy
