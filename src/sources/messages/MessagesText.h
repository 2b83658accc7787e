#pragma once

#include <string>
#include <string_view>

// How the Messages reader tidies what it reads from chat.db before a conversation is built.
namespace nudgerly::MessagesText {

// Messages marks handles of filtered senders with a service suffix such as "(smsfp)" at the very end;
// it is removed (only in lower case, as Messages writes it).
std::string withoutServiceSuffix(std::string_view handle);

// A message's words as the classifier sees them: object replacement characters (where attachments
// sat) become spaces, every run of white space one space, trimmed at both ends, and cut to 1,500
// characters, the last of which is then "…". Empty when nothing is left.
std::string cleanedText(std::string_view text);

// The link that opens a one-to-one chat in a messaging program: "sms:" followed by the target, with
// every byte a URI cannot hold percent-encoded (a valid "%XX" escape is kept as it is).
std::string smsLink(std::string_view target);

// The first space-separated word of the user's full name; empty when there is none.
std::string firstName(std::string_view fullName);

}  // namespace nudgerly::MessagesText
