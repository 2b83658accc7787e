#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/Date.h"
#include "review/Conversation.h"

namespace nudgerly {

// What one read of a source returns.
struct ConversationBatch {
    Date generatedAt;  // when the read finished
    int64_t lookbackDays = 0;
    int64_t messageCount = 0;         // messages seen in the window
    int64_t activeConversations = 0;  // conversations with activity in the window
    int64_t inboundEndingCount = 0;   // conversations whose latest message is from the other side
    std::vector<Conversation> conversations;
    std::optional<std::string> warning;                // a user-facing sentence when the read was partial
    std::set<std::string> unavailableConversationIDs;  // conversations whose read failed this time
};

}  // namespace nudgerly
