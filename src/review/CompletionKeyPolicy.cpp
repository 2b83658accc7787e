#include "review/CompletionKeyPolicy.h"

#include <bit>
#include <cstdint>

#include "core/JsonWriter.h"
#include "core/Sha256.h"

namespace nudgerly::CompletionKeyPolicy {

std::optional<std::string> key(const Conversation& conversation) {
    const ConversationMessage* latestInbound = nullptr;
    for (auto it = conversation.messages.rbegin(); it != conversation.messages.rend(); ++it) {
        if (!it->fromMe) {
            latestInbound = &*it;
            break;
        }
    }
    if (!latestInbound) {
        return std::nullopt;
    }

    // The date's exact IEEE-754 bits, so that any change of time (even below a millisecond) is a new key.
    nlohmann::json payload = nlohmann::json::object();
    payload["source"] = std::string(toRaw(conversation.source));
    payload["conversationID"] = conversation.id;
    payload["latestInboundText"] = latestInbound->text;
    payload["latestInboundTimestampBits"] = std::bit_cast<uint64_t>(latestInbound->date.secondsSinceReferenceDate);

    try {
        return prefix + Sha256::hexDigest(JsonWriter::write(payload));
    } catch (const JsonEncodingError&) {
        return std::nullopt;
    }
}

}  // namespace nudgerly::CompletionKeyPolicy
