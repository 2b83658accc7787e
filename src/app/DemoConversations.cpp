#include "app/DemoConversations.h"

namespace nudgerly::DemoConversations {
namespace {

constexpr double hour = 3600;
constexpr double day = 24 * hour;

ConversationMessage from(const std::string& text, Date date) {
    return {.fromMe = false, .text = text, .date = date};
}

ConversationMessage mine(const std::string& text, Date date) {
    return {.fromMe = true, .text = text, .date = date};
}

Conversation messages(const std::string& id, const std::string& person, const std::string& phone,
                      std::vector<ConversationMessage> history) {
    return {.id = "messages-chat-" + id, .source = ReviewSource::messages, .person = person, .target = phone,
            .messages = std::move(history), .openURL = "sms:" + phone, .isKnownContact = true};
}

Conversation mail(const std::string& threadID, const std::string& person, const std::string& address,
                  const std::string& subject, std::vector<ConversationMessage> history) {
    return {.id = "gmail-thread-" + threadID, .source = ReviewSource::gmail, .person = person, .target = address,
            .subject = subject, .messages = std::move(history),
            .openURL = "https://mail.google.com/mail/u/0/#inbox/" + threadID, .isKnownContact = false};
}

}  // namespace

ConversationBatch batch(Date now) {
    const auto ago = [&](double seconds) { return now.addingSeconds(-seconds); };
    std::vector<Conversation> conversations{
        messages("1-message-14", "Maya Okafor", "+15550100231",
                 {mine("Landed! Heading to the hotel now", ago(2 * day)),
                  from("Welcome back! Are you still up for dinner on Friday?", ago(5 * hour))}),
        messages("2-message-31", "Jonas Berg", "+15550100874",
                 {from("Hey, could you send me the photos from the trip when you get a chance?", ago(3 * day))}),
        messages("3-message-40", "Priya Raman", "+15550100512",
                 {from("Thanks so much for the help with the move yesterday", ago(26 * hour)),
                  mine("Anytime! The new place looks great", ago(25 * hour))}),
        messages("4-message-52", "Dad", "+15550100300",
                 {from("Your package was delivered to the front porch.", ago(8 * hour))}),
        mail("18c4a7e2f0b19d33", "Lena Fischer", "lena.fischer@example.com", "Lease renewal",
             {from("Hi, please sign the renewal form for the apartment and send it back by the end of the month. "
                   "Let me know if anything is unclear.",
                   ago(2 * day))}),
        mail("18c4a7e2f0b19d41", "Account Team", "no-reply@example.net", "We've updated our Privacy Policy",
             {from("We've updated our Privacy Policy. No action is required.", ago(4 * day))}),
        mail("18c4a7e2f0b19d57", "Tomás Alvarez", "tomas@example.org", "Re: Quarterly numbers",
             {from("Here are the draft numbers for the quarter.", ago(9 * day)),
              mine("Thanks, I'll review them this week.", ago(8 * day)),
              from("Just checking in on the quarterly numbers. Any update?", ago(2 * day))}),
    };
    int64_t messageCount = 0;
    int64_t inboundEnding = 0;
    for (const auto& conversation : conversations) {
        messageCount += static_cast<int64_t>(conversation.messages.size());
        inboundEnding += conversation.messages.back().fromMe ? 0 : 1;
    }
    return {
        .generatedAt = now,
        .lookbackDays = 30,
        .messageCount = messageCount,
        .activeConversations = static_cast<int64_t>(conversations.size()),
        .inboundEndingCount = inboundEnding,
        .conversations = std::move(conversations),
    };
}

}  // namespace nudgerly::DemoConversations
