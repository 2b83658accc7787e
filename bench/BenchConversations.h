#pragma once

// Made-up but realistic conversations for the benchmarks: 1 to 30 messages each, about a third from
// Gmail, mixing questions, requests, tasks, updates, small talk, quotes, emoji and shared links.
#include <array>
#include <random>
#include <string>
#include <vector>

#include "review/Conversation.h"

namespace nudgerly::bench {

// Everyday message sentences: questions, requests, tasks, updates, small talk, quotes, links.
inline constexpr std::array sentences{
    "Are you free for lunch on Thursday?",
    "Any update?",
    "Can you send me the slides from yesterday's meeting?",
    "Thanks, got it!",
    "Sounds good, talk soon.",
    "Please sign the attached lease by Friday.",
    "Your package was delivered to the front porch.",
    "Your order has shipped and is on its way: https://track.example.com/pkg?id=8817",
    "We were unable to deliver your parcel today.",
    "Let's grab coffee next week.",
    "I'm still waiting for the report you said you would send.",
    "Never mind, I found it.",
    "The headline says “Did they really win?” Wild.",
    "She asked \"are you coming tonight?\" and I said maybe.",
    "Just checking in on the proposal.",
    "Haha that's amazing 😂",
    "Did you see the game last night?",
    "My address is 12 Elm Road, Springfield.",
    "Ky said he would take the kids on Saturday.",
    "Reminder: your payment is due tomorrow.",
    "Your verification code is 448120.",
    "Reply STOP to unsubscribe.",
    "We've updated our Privacy Policy. No action is required.",
    "What's the status of the invoice?",
    "Great seeing you today!",
    "Can we move the call to 3pm?",
    "I'll be there in ten minutes.",
    "Let me know what you think when you get a chance.",
    "The kids loved the museum, thanks again for the tickets.",
    "We received your request and will respond shortly.",
    "Here is the recipe I mentioned: https://cooking.example.org/recipes/lemon-tart",
    "Where do we stand on the kitchen renovation quote?",
    "Happy birthday!! 🎉🎂 Hope you have a wonderful day.",
    "Not sure yet, will confirm tomorrow morning.",
    "Your prescription is ready for pickup at the pharmacy.",
    "Could you review the draft before the deadline?",
    "Our weekly digest: five stories you might have missed.",
    "Good morning! Our member’s guest names are Tavio and Renn.",
    "Let's catch up after the holidays.",
    "ok",
};

inline constexpr std::array people{"Dana Whitfield", "Sam", "Mom", "Ana Ruiz", "Billing Team", "Coach Lee", "Priya"};
inline constexpr std::array subjects{"Re: Quarterly numbers", "Your order update", "Lease renewal",
                                     "Dinner Saturday?",      "Weekly digest",     "Important: account security alert",
                                     "Project kickoff"};

inline std::string messageText(std::mt19937& random, int maximumSentences) {
    std::uniform_int_distribution<int> count(1, maximumSentences);
    std::uniform_int_distribution<std::size_t> pick(0, sentences.size() - 1);
    std::string text;
    for (int n = count(random); n > 0; --n) {
        if (!text.empty()) {
            text += random() % 5 == 0 ? "\n\n" : " ";
        }
        text += sentences[pick(random)];
    }
    return text;
}

inline std::vector<Conversation> makeConversations(int conversationCount, unsigned seed = 20260311) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> messageCount(1, 30);
    std::vector<Conversation> conversations;
    conversations.reserve(conversationCount);
    for (int i = 0; i < conversationCount; ++i) {
        const bool gmail = random() % 3 == 0;
        Conversation conversation{
            .id = "conversation-" + std::to_string(i),
            .source = gmail ? ReviewSource::gmail : ReviewSource::messages,
            .person = people[random() % people.size()],
        };
        if (gmail) {
            conversation.subject = subjects[random() % subjects.size()];
        }
        const int count = messageCount(random);
        Date date{790'000'000};
        for (int m = 0; m < count; ++m) {
            date = date.addingSeconds(60 + random() % 86'400);
            ConversationMessage message{
                .fromMe = m + 1 < count ? random() % 2 == 0 : random() % 6 == 0,
                .text = messageText(random, gmail ? 12 : 3),
                .date = date,
            };
            if (!gmail && random() % 12 == 0) {
                message.linkPreview = MessageLinkPreview{
                    .title = random() % 3 ? std::optional<std::string>(sentences[random() % sentences.size()])
                                          : std::nullopt,
                    .domain = "example.com",
                    .url = "https://example.com/shared",
                };
            }
            conversation.messages.push_back(std::move(message));
        }
        conversations.push_back(std::move(conversation));
    }
    return conversations;
}

}  // namespace nudgerly::bench
