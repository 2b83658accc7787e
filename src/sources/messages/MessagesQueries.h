#pragma once

#include <string>
#include <string_view>

#include "review/LookbackWindow.h"

// The SQL the Messages reader runs against chat.db. The window is spliced into the text as a
// strftime modifier; it only ever comes from a LookbackWindow, so no outside text reaches the SQL.
namespace nudgerly::MessagesQueries {

// The condition a message must meet to count as present: its chat was neither recovered nor is
// deleting incoming messages, the message is not waiting in "Recently Deleted" and has no tombstone.
std::string activeMessagePredicate(std::string_view messageAlias, std::string_view chatAlias);

// The strftime modifier of the window: "-7 days".
std::string windowModifier(LookbackWindow window);

// Messages in the window, all item types.
std::string messageCount(LookbackWindow window);
// Chats with any message in the window.
std::string activeConversations(LookbackWindow window);
// Chats whose latest normal message in the window came from someone else.
std::string inboundEndingCount(LookbackWindow window);
// Those chats, latest first: chat row id, latest message row id, its date, display name, chat
// identifier, participant handles joined by ", ", handle count, handle of the latest sender.
std::string chatList(LookbackWindow window);
// The newest 24 normal messages of one chat (parameter 1) in the window: is-from-me, text,
// attributed body, date, message row id, sender handle row id, balloon bundle id, payload data,
// sender handle.
std::string chatMessages(LookbackWindow window);
// A row when message (parameter 2) of chat (parameter 1) is still present.
std::string stillActive();

}  // namespace nudgerly::MessagesQueries
