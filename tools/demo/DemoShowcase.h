#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "chatdb/MessagesBulkGenerator.h"
#include "chatdb/MessagesDatabaseBuilder.h"

// A few hand-written conversations that show a newcomer what the queue is for: one the Basic Mode
// rules put under each status, a group that asks the user, a shared sign-up link with its picture, and
// one the user has already dealt with. The demo home adds them to its generated chatter. Free of the
// test framework.
namespace nudgerly::test::DemoShowcase {

// The person of the conversation the demo marks done.
inline constexpr std::string_view donePerson = "Leo Marsh";

// Adds the conversations, their contact cards and the shared link's picture (written below `home`,
// where "~" points), each within the last few days before the builder's `now`. Group members address
// the user by `userFirstName`. Returns what was added, the cards to write among it.
BulkContents add(MessagesDatabaseBuilder& builder, const std::filesystem::path& home, const std::string& userFirstName);

}  // namespace nudgerly::test::DemoShowcase
