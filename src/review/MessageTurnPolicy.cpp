#include "review/MessageTurnPolicy.h"

namespace nudgerly::MessageTurnPolicy {
namespace {

constexpr double mergeWindowSeconds = 60;

bool sameSender(const ConversationMessage& a, const ConversationMessage& b) {
    if (a.senderKey && b.senderKey) {
        return *a.senderKey == *b.senderKey;
    }
    // Without both keys only the user's own messages are known to share a sender.
    return a.fromMe && b.fromMe;
}

bool shouldMerge(const ConversationMessage& last, const ConversationMessage& link) {
    const double gap = link.date.secondsSince(last.date);
    return last.fromMe == link.fromMe && sameSender(last, link) && gap >= 0 && gap <= mergeWindowSeconds;
}

ConversationMessage merged(const ConversationMessage& last, const ConversationMessage& link) {
    std::string text;
    for (const std::string* part : {&last.text, &link.text}) {
        if (part->empty()) {
            continue;
        }
        if (!text.empty()) {
            text += "\n\n";
        }
        text += *part;
    }
    return {
        .fromMe = link.fromMe,
        .text = std::move(text),
        .date = link.date,
        .displayText = last.displayText ? last.displayText : std::optional<std::string>(last.text),
        .linkPreview = link.linkPreview,
        .senderKey = link.senderKey,
        .senderIdentifier = link.senderIdentifier,
        .messageID = link.messageID,
    };
}

}  // namespace

std::vector<ConversationMessage> combiningRichLinks(const std::vector<ConversationMessage>& messages) {
    std::vector<ConversationMessage> output;
    output.reserve(messages.size());
    for (const auto& message : messages) {
        if (message.linkPreview && !output.empty() && !output.back().linkPreview &&
            shouldMerge(output.back(), message)) {
            ConversationMessage combined = merged(output.back(), message);
            output.back() = std::move(combined);
        } else {
            output.push_back(message);
        }
    }
    return output;
}

}  // namespace nudgerly::MessageTurnPolicy
