#include "classifier/ConversationMemo.h"

#include <bit>
#include <cstdint>

namespace nudgerly {
namespace {

// Dates are compared bit for bit: 0 and -0 encode differently.
bool sameDate(Date a, Date b) {
    return std::bit_cast<uint64_t>(a.secondsSinceReferenceDate) == std::bit_cast<uint64_t>(b.secondsSinceReferenceDate);
}

bool sameCodedContent(const Conversation& a, const Conversation& b) {
    if (a.id != b.id || a.source != b.source || a.person != b.person || a.target != b.target ||
        a.subject != b.subject || a.openURL != b.openURL || a.isKnownContact != b.isKnownContact ||
        a.messages.size() != b.messages.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.messages.size(); ++i) {
        const auto& x = a.messages[i];
        const auto& y = b.messages[i];
        if (x.fromMe != y.fromMe || !sameDate(x.date, y.date) || x.text != y.text) {
            return false;
        }
    }
    return true;
}

Conversation codedFields(const Conversation& conversation) {
    Conversation coded{
        .id = conversation.id,
        .source = conversation.source,
        .person = conversation.person,
        .target = conversation.target,
        .subject = conversation.subject,
        .openURL = conversation.openURL,
        .isKnownContact = conversation.isKnownContact,
    };
    coded.messages.reserve(conversation.messages.size());
    for (const auto& message : conversation.messages) {
        coded.messages.push_back({.fromMe = message.fromMe, .text = message.text, .date = message.date});
    }
    return coded;
}

}  // namespace

ConversationMemo::Derived* ConversationMemo::reuse(const Conversation& conversation) {
    const auto source = current_.find(conversation.source);
    if (source == current_.end()) {
        return nullptr;
    }
    const auto entry = source->second.find(conversation.id);
    if (entry == source->second.end() || !sameCodedContent(entry->second.coded, conversation)) {
        return nullptr;
    }
    // The entry's node moves over whole: an unchanged refresh copies and allocates nothing.
    auto& next = next_[conversation.source];
    next.erase(conversation.id);  // a duplicate id in the batch: the later one wins
    const auto kept = next.insert(source->second.extract(entry)).position;
    return &kept->second.derived;
}

ConversationMemo::Derived* ConversationMemo::remember(const Conversation& conversation, std::string fingerprint) {
    auto [kept, inserted] = next_[conversation.source].insert_or_assign(
        conversation.id, Entry{codedFields(conversation), Derived{std::move(fingerprint), std::nullopt, std::nullopt}});
    return &kept->second.derived;
}

void ConversationMemo::finishRun() {
    for (auto& [source, entries] : next_) {
        current_[source] = std::move(entries);
    }
    next_.clear();
}

}  // namespace nudgerly
